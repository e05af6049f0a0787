// Appending to the bus activity list must not slow down as the list grows: the decoder's
// appends go to the end of the document and never rewrite it. Goal: the 100,000th line costs
// no more than twice the 100th (each measured as the mean over a window of lines).
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "console/shell/ui/mainwindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QPlainTextEdit list;
    QLineEdit rxd;
    QCheckBox continuous;
    list.setReadOnly(true);
    list.resize(600, 400);
    list.show();
    sarnel::ActivityList activity(&list, &rxd, &continuous);

    constexpr int kLines = 100000;
    constexpr int kWindow = 50;  // lines per sample around the 100th and the 100,000th
    std::vector<double> costs(kLines + 1);
    // A script reply's lines, as the decoder appends them: a line in two parts, then its end.
    for (int line = 1; line <= kLines; ++line) {
        const auto t0 = std::chrono::steady_clock::now();
        activity.append("WRITE\t0x90\t");
        activity.append("Ack\r\n");
        costs[static_cast<std::size_t>(line)] =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
        if (line % 1000 == 0) QCoreApplication::processEvents();  // let the view paint now and then
    }
    auto median = [&](int from, int to) {
        std::vector<double> v(costs.begin() + from, costs.begin() + to + 1);
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double early = median(100 - kWindow / 2, 100 + kWindow / 2);
    const double late = median(kLines - kWindow, kLines);
    const double ratio = late / early;
    std::printf("line 100:     %8.2f us (median of %d lines around it)\n", early, kWindow + 1);
    std::printf("line 100000:  %8.2f us (median of the last %d lines)\n", late, kWindow + 1);
    std::printf("ratio %.2f (goal <= 2: %s); %d lines in the list\n", ratio, ratio <= 2 ? "met" : "MISSED",
                list.document()->blockCount() - 1);
    return ratio <= 2 ? 0 : 1;
}

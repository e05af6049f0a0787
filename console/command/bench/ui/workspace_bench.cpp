// Load of a 1000-script collection (10,000 lines) through the workspace panel: the file
// dialog answered at once, then the file read, 18 button captions and 982 list items shown.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/base/filedialog.h"
#include "console/command/ui/workspacehost.h"
#include "console/command/ui/workspacepanel.h"

namespace {

class Host : public QWidget, public sarnel::WorkspaceHost {
public:
    Host() {
        for (auto*& button : buttons) button = new QPushButton(this);
    }
    QPlainTextEdit* commandQueue() override { return &queue; }
    QPushButton* cmmd(int index) override { return buttons[static_cast<std::size_t>(index)]; }
    QWidget* i2cparser() override { return &parser; }
    QWidget* txbufferbox() override { return &txd; }
    QWidget* tokencount() override { return &count; }
    std::string scriptFolder() override { return folder; }
    void setScriptFolder(const std::string& value) override { folder = value; }
    void compile() override {}

    QPlainTextEdit queue, parser;
    QLineEdit txd, count;
    std::array<QPushButton*, 18> buttons{};
    std::string folder;
};

struct Answer : sarnel::FileDialogPresenter {
    std::string file;
    sarnel::FileDialogAnswer present(const sarnel::FileDialogRequest&) override {
        return sarnel::FileDialogAnswer::chosen({file});
    }
};

void BM_PanelLoadsCollection(benchmark::State& state) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("workspace_bench_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(path, std::ios::binary);
        for (int k = 1; k <= 1000; ++k) {
            out << ";Script " << k << ": read the sensor and the EEPROM page " << k % 256 << "\r\n";
            out << "Start\r\nWrite  0x90\r\nWrite  0x00\r\nStart\r\nWrite  0x91\r\nRead   ack\r\nRead   "
                   "Nack\r\n"
                   "Stop\r\nDelaym 0x0A\r\n";
        }
    }
    Answer answer;
    answer.file = path.string();
    sarnel::setFileDialogPresenter(&answer);
    Host host;
    sarnel::WorkspacePanel panel(host);
    for (auto _ : state) {
        panel.loadCollection();
        benchmark::DoNotOptimize(panel.Combo2()->count());
    }
    state.counters["items"] = panel.Combo2()->count();
    sarnel::setFileDialogPresenter(nullptr);
    std::filesystem::remove(path);
}
BENCHMARK(BM_PanelLoadsCollection)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

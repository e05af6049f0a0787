#include "screens_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "console/bootloader/ui/quorblcform.h"

namespace sarnel::testing {

QApplication& screensApplication(const std::vector<QRect>& screens, double scale) {
    static QApplication* app = nullptr;
    if (app) return *app;
    // The offscreen platform reads its screens from a JSON file.
    const std::string config =
        (std::filesystem::temp_directory_path() / ("sarnel-screens-" + std::to_string(::getpid()) + ".json"))
            .string();
    std::ofstream out(config);
    out << "{\"screens\": [";
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const QRect& s = screens[i];
        out << (i ? ", " : "") << "{\"name\": \"screen" << i << "\", \"x\": " << s.x() << ", \"y\": " << s.y()
            << ", \"width\": " << s.width() << ", \"height\": " << s.height() << ", \"logicalDpi\": 96}";
    }
    out << "]}";
    out.close();
    ::setenv("QT_SCALE_FACTOR", std::to_string(scale).c_str(), 1);
    static std::string platform = "offscreen:configfile=" + config;
    static int argc = 3;
    static char name[] = "screens_test";
    static char option[] = "-platform";
    static char* argv[] = {name, option, platform.data(), nullptr};
    // Never destroyed: static destructors of the test run after main, when Qt's own globals
    // may already be gone.
    app = new QApplication(argc, argv);
    return *app;
}

void placeOn(QWidget* window, QPoint point) {
    if (auto* form = qobject_cast<boot::QuorBLCForm*>(window))
        form->placeAt(point);
    else
        window->move(point);
}

namespace {

QScrollArea* areaOf(QWidget* window) {
    return window->findChild<QScrollArea*>("scrollarea");
}

bool isControl(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
           qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QLabel*>(w);
}

}  // namespace

// Scrolls `area` as a user would to bring `r` (in the content's coordinates) into view, as
// much of it as the viewport can show, starting from its top left.
void scrollTo(QScrollArea* area, const QRect& r) {
    const QSize view = area->viewport()->size();
    auto bring = [](QScrollBar* bar, int from, int to, int extent) {
        if (to - bar->value() > extent) bar->setValue(to - extent);
        if (from < bar->value() || to - from > extent) bar->setValue(from);
    };
    bring(area->horizontalScrollBar(), r.left(), r.right() + 1, view.width());
    bring(area->verticalScrollBar(), r.top(), r.bottom() + 1, view.height());
}

std::vector<std::string> unreachable(QWidget* window) {
    std::vector<std::string> out;
    QScrollArea* area = areaOf(window);
    if (!area) return {"no scroll area"};
    QWidget* viewport = area->viewport();
    QWidget* content = area->widget();
    for (QWidget* w : content->findChildren<QWidget*>()) {
        if (!isControl(w) || !w->isVisibleTo(window)) continue;
        scrollTo(area, QRect(w->mapTo(content, QPoint(0, 0)), w->size()));
        // Reachable: as much of it shows as the viewport can hold.
        const QRect shown = QRect(w->mapTo(viewport, QPoint(0, 0)), w->size()) & viewport->rect();
        if (shown.width() < std::min(w->width(), viewport->width()) ||
            shown.height() < std::min(w->height(), viewport->height()))
            out.push_back(w->objectName().toStdString() + " (" + w->metaObject()->className() + ") shows " +
                          std::to_string(shown.width()) + "x" + std::to_string(shown.height()) + " of " +
                          std::to_string(w->width()) + "x" + std::to_string(w->height()));
    }
    area->horizontalScrollBar()->setValue(0);
    area->verticalScrollBar()->setValue(0);
    return out;
}

bool scrolls(QWidget* window) {
    QScrollArea* area = areaOf(window);
    return area && (area->horizontalScrollBar()->isVisible() || area->verticalScrollBar()->isVisible());
}

}  // namespace sarnel::testing

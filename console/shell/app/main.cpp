// sarnel: the console. `sarnel --simulate` starts a simulated adapter first and shows it as
// COM3, so the console runs without hardware.
#include "console/base/consoleerror.h"
#include "console/base/consolestate.h"
#include "console/base/rs232.h"
#include "console/base/ui/qtpump.h"
#include "console/shell/ui/mainwindow.h"
#include "console/shell/versiontext.h"
#if SARNEL_HAS_SIMULATOR
#include "console/base/simulatedport.h"
#endif
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "console/base/ui/qtalert.h"
#include "console/base/ui/qtfiledialog.h"

namespace {

void usage(std::FILE* out) {
    std::fputs(
        "usage: sarnel [--simulate] [--settings FILE] [QT-OPTIONS]\n"
        "       sarnel --version\n"
        "  --simulate       run against a simulated adapter on a pseudo-terminal (COM3)\n"
        "  --settings FILE  keep the settings in FILE instead of beside the program\n"
        "  --version        print the version and exit\n"
        "Qt's options are taken as every Qt program takes them: -style NAME, -stylesheet FILE,\n"
        "-platform NAME[:OPTIONS], -reverse, -qwindowgeometry GEOMETRY, -qwindowtitle TITLE, ...\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version answer without a display: before Qt is started.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("sarnel %s\n", sarnel::versiontext().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--settings") == 0) ++i;  // its value is no option
    }

    // Qt takes its own options (-style, -platform, -stylesheet, ...) out of the arguments;
    // what is left is ours.
    QApplication app(argc, argv);
    bool simulate = false;
    std::string settings;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulate") == 0) {
            simulate = true;
        } else if (std::strcmp(argv[i], "--settings") == 0) {
            if (i + 1 >= argc) {
                std::fputs("sarnel: --settings needs a file\n", stderr);
                usage(stderr);
                return 2;
            }
            settings = argv[++i];
        } else {
            std::fprintf(stderr, "sarnel: unknown %s '%s'\n", argv[i][0] == '-' ? "option" : "argument",
                         argv[i]);
            usage(stderr);
            return 2;
        }
    }

#if SARNEL_HAS_SIMULATOR
    // The simulated port must exist before the first scan opens a port.
    std::unique_ptr<sarnel::SimulatedPort> simulated;
    if (simulate) {
        try {
            simulated = std::make_unique<sarnel::SimulatedPort>();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "sarnel: cannot start the simulated adapter: %s\n", e.what());
            return 1;
        }
    }
#else
    if (simulate) {
        std::fputs("sarnel: this build has no adapter simulator\n", stderr);
        return 1;
    }
#endif

    app.setApplicationName("sarnel");
    // Ties the window to the installed desktop entry (its name and icon), on Wayland too.
    QGuiApplication::setDesktopFileName("org.sarnel.Sarnel");
    sarnel::QtPump pump;
    sarnel::installQtAlert();

    // The console-wide values (the port-open flag, the receive and scan buffers) live here and
    // are handed to the windows.
    sarnel::ConsoleState state;
    std::unique_ptr<sarnel::MainWindow> window;
    try {
        window = std::make_unique<sarnel::MainWindow>(state, [] { return sarnel::createRs232(); });
    } catch (const sarnel::ConsoleError& e) {
        std::fprintf(stderr, "sarnel: the serial component could not be created (0x%08X): %s\n",
                     static_cast<unsigned>(e.number()), e.what());
        return 1;
    }
    sarnel::installQtFileDialog(window.get());
    window->show();
    window->startup(settings);
    const int rc = app.exec();
    window.reset();
    return rc;
}

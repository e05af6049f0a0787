// The main window on the real component and a simulated adapter, as `sarnel --simulate` runs:
// the fixture of the window tests that need an adapter behind the port.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "console/base/rs232.h"
#include "console/base/simulatedport.h"
#include "console/base/tests/alertrecorder.h"
#include "console/base/ui/qtpump.h"
#include "console/shell/ui/mainwindow.h"

namespace sarnel {

inline QApplication& application() {
    static int argc = 1;
    static char name[] = "simulated_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: static destructors of the test run after main, when Qt's own
    // globals may already be gone.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class Simulated : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        pump = std::make_unique<QtPump>();  // needs the application's event loop
        settings = (simulated.folder() / "sarnel.ini").string();
        // Per-user files of this test alone: the adapter one test leaves open is not the
        // next one's remembered adapter.
        ::setenv("XDG_CONFIG_HOME", (simulated.folder() / "config").c_str(), 1);
        window = std::make_unique<MainWindow>(state, [] { return createRs232(); });
        window->show();
        window->startup(settings);
    }
    void TearDown() override {
        window.reset();
        pump.reset();
    }
    QComboBox* portselect() { return window->findChild<QComboBox*>("portselect"); }
    std::string activity() {
        return window->findChild<QPlainTextEdit*>("i2cparser")->toPlainText().toStdString();
    }
    void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
    void chooseAdapter() {
        const int index = portselect()->findText("COM3");
        ASSERT_GT(index, 0);
        portselect()->setCurrentIndex(index);
        emit portselect()->activated(index);
        ASSERT_NE(state.portopen, 0);
    }

    // Lets events run until the activity list shows `text`; false after three seconds.
    bool awaitActivity(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (activity().find(text) == std::string::npos && std::chrono::steady_clock::now() < end)
            pump->waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
        return activity().find(text) != std::string::npos;
    }

    AlertRecorder alerts;
    std::unique_ptr<QtPump> pump;
    SimulatedPort simulated;
    std::string settings;
    ConsoleState state;
    std::unique_ptr<MainWindow> window;
};

}  // namespace sarnel

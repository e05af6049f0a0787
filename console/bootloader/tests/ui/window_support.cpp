#include "window_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <fstream>

#include "console/base/ui/qtpump.h"

namespace boottest {

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "bootloader_window_test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        pump_ = new sarnel::QtPump;
    }
    void TearDown() override {
        delete pump_;
        delete app_;
    }

private:
    QApplication* app_ = nullptr;
    sarnel::QtPump* pump_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

std::atomic<int> folders{0};

}  // namespace

TempFolder::TempFolder()
    : path_(std::filesystem::temp_directory_path() /
            ("bootwin-" + std::to_string(::getpid()) + "-" + std::to_string(folders++))) {
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::write(const std::string& name, const std::vector<std::string>& lines) {
    const std::string file = (path_ / name).string();
    std::ofstream out(file, std::ios::binary);
    for (const std::string& l : lines) out << l << "\r\n";
    return file;
}

void settle(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace boottest

#include "workspace_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>
#include <fstream>

#include "console/command/compiler.h"
#include "console/command/ui/queuetext.h"

namespace sarnel::testing {

namespace {

// One QApplication for the whole test program.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "workspace_test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QWidget* mouseTarget(QWidget* widget) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) return area->viewport();
    return widget;
}

void sendMouse(QWidget* widget, QEvent::Type type) {
    QWidget* target = mouseTarget(widget);
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

TestHost::TestHost() {
    auto* layout = new QVBoxLayout(this);
    commands = new QPlainTextEdit(this);
    commands->setObjectName("commands");
    layout->addWidget(commands);
    for (int i = 0; i < 18; ++i) {
        buttons[static_cast<std::size_t>(i)] = new QPushButton(this);
        buttons[static_cast<std::size_t>(i)]->setObjectName(QStringLiteral("cmmd_%1").arg(i));
        layout->addWidget(buttons[static_cast<std::size_t>(i)]);
    }
    parser = new QPlainTextEdit(this);
    parser->setObjectName("i2cparser");
    txd = new QLineEdit(this);
    txd->setObjectName("txbufferbox");
    count = new QLineEdit(this);
    count->setObjectName("tokencount");
    layout->addWidget(parser);
    layout->addWidget(txd);
    layout->addWidget(count);
    resize(400, 600);
}

QPushButton* TestHost::cmmd(int index) {
    if (index < 0 || index >= 18) return nullptr;
    return buttons[static_cast<std::size_t>(index)];
}
QWidget* TestHost::i2cparser() {
    return parser;
}
QWidget* TestHost::txbufferbox() {
    return txd;
}
QWidget* TestHost::tokencount() {
    return count;
}

void TestHost::compile() {
    compiledQueues.push_back(queue());
    std::string script = queue();
    const CompileResult result = compilescript(script);
    if (result.frame.empty()) return;
    frames.push_back(result.frame);
    if (send) send(result.frame);
}

std::string TestHost::queue() const {
    return boxText(commands);
}

FileDialogAnswer ScriptedFileDialog::present(const FileDialogRequest& request) {
    requests.push_back(request);
    return answer;
}

std::int16_t AlertRecorder::present(const AlertRequest& request) {
    shown.push_back(request);
    return -1;
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("workspace_ui_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::write(const std::string& name, const std::string& text) const {
    const std::string file = (path_ / name).string();
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

std::string collectionText(int count, const std::string& prefix) {
    std::string text;
    for (int k = 1; k <= count; ++k)
        text += ";" + prefix + std::to_string(k) + "\r\nStart\r\nWrite  0x" + std::to_string(k % 100) +
                "\r\nStop\r\n";
    return text;
}

void click(QWidget* widget) {
    sendMouse(widget, QEvent::MouseButtonPress);
    sendMouse(widget, QEvent::MouseButtonRelease);
}

void doubleClick(QWidget* widget) {
    sendMouse(widget, QEvent::MouseButtonPress);
    sendMouse(widget, QEvent::MouseButtonRelease);
    sendMouse(widget, QEvent::MouseButtonDblClick);
    sendMouse(widget, QEvent::MouseButtonRelease);
}

void typeKeys(QWidget* widget, const std::string& keys) {
    for (char c : keys) {
        int key = 0;
        if (c == '\b')
            key = Qt::Key_Backspace;
        else if (c == '\x7f')
            key = Qt::Key_Delete;
        else if (c == '\r')
            key = Qt::Key_Return;
        else if (c >= 'a' && c <= 'z')
            key = Qt::Key_A + (c - 'a');
        else
            key = static_cast<unsigned char>(c);
        const QString text(QChar(static_cast<unsigned char>(c)));
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &release);
    }
}

void focusIn(QWidget* widget) {
    QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &event);
}

void focusOut(QWidget* widget) {
    QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &event);
}

}  // namespace sarnel::testing

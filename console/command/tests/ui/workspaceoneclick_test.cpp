// One-click paths sent end to end: panel, compile, the write path and a serial line to the
// adapter simulator, which runs what arrives on its bus.
#include "workspace_support.h"

#include "console/command/compiler.h"
#include "console/command/writepath.h"
#include "console/command/ui/queuetext.h"
#include "console/command/ui/workspacepanel.h"
#include "console/shell/serialcontrol.h"

#include "sim/simulator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <stdexcept>

namespace sarnel::testing {
namespace {

using namespace std::chrono_literals;

// The far end of the simulator's pseudo-terminal as a plain serial line: enough of the
// serial control for the write path.
class PtyLine final : public SerialControl {
public:
    explicit PtyLine(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        termios settings{};
        ::tcgetattr(fd_, &settings);
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B115200);
        ::tcsetattr(fd_, TCSANOW, &settings);
    }
    ~PtyLine() override { ::close(fd_); }

    void open(const std::string&, const std::string&) override {}
    void close() override {}
    bool isOpen() override { return true; }
    std::string portName() override { return ""; }
    std::int32_t write(const std::string& data, std::int32_t, std::int32_t) override {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
            if (n < 0) throw ConsoleError(0x80040205, "write failed");
            done += static_cast<std::size_t>(n);
        }
        return static_cast<std::int32_t>(done);
    }
    void writeBackground(const std::string& data) override { write(data, 0, 0); }
    std::string read() override {
        std::string bytes;
        char buffer[256];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
        return bytes;
    }
    std::int32_t getBreak() override { return 0; }
    void setBreak(std::int32_t) override {}
    void clearRQ() override {}
    void clearTQ() override {}
    void setLineHandler(std::function<void()>) override {}

private:
    int fd_;
};

// The test host with the console's own compile and write path behind compile().
class SendingHost : public TestHost, public WriteHost {
public:
    explicit SendingHost(const std::string& device) : line(device), context(*this) {}

    void compile() override {
        compiledQueues.push_back(queue());
        sarnel::compile(context);
    }

    SerialControl& rs232() override { return line; }
    void setTxd(const std::string& text) override { txd->setText(toQt(text)); }
    void setRxd(const std::string&) override {}
    void emptyRxBuffer() override {}
    void selectNoPort() override {}

    PtyLine line;

private:
    struct Context : CompileContext {
        explicit Context(SendingHost& host) : host(host) {}
        std::string commandQueue() override { return host.queue(); }
        bool continuousRx() override { return false; }
        void clearActivity() override { host.parser->clear(); }
        void setTokenCount(const std::string& text) override { host.count->setText(toQt(text)); }
        void send(const std::string& frame, std::int16_t wait) override {
            host.frames.push_back(frame);
            ComWrite(host, frame, wait);
        }
        SendingHost& host;
    } context;
};

class OneClick : public ::testing::Test {
protected:
    void SetUp() override {
        setFileDialogPresenter(&dialog);
        setAlertPresenter(&alerts);
        portopen() = -1;
    }
    void TearDown() override {
        portopen() = 0;
        setFileDialogPresenter(nullptr);
        setAlertPresenter(nullptr);
    }
    // The frames the adapter received, as sent between "$" and CR.
    std::vector<std::string> received(std::size_t count) {
        EXPECT_TRUE(adapter.waitForFrames(count, 2000ms)) << "the adapter received fewer than " << count << " frames";
        return adapter.framesReceived();
    }

    sim::Adapter adapter;
    SendingHost host{adapter.devicePath()};
    WorkspacePanel panel{host};
    ScriptedFileDialog dialog;
    AlertRecorder alerts;
    TempFolder folder;
};

TEST_F(OneClick, PresetAndListScriptsRunOnTheAdapter) {
    std::string collection =
        ";Pointer to Tos\r\nStart\r\nWrite  0x90\r\nWrite  0x03\r\nStop\r\n"
        ";Supply 3.0V\r\nSetV 3.0\r\n";
    collection += collectionText(17);
    collection += ";Fast bus\r\nSetV 5.0\r\nGPDIR 0b0011\r\n";  // script 20: list item 2
    dialog.answer = FileDialogAnswer::chosen({folder.write("set.txt", collection)});
    click(panel.Command4());
    panel.oneclick()->setChecked(true);

    click(host.buttons[0]);
    click(host.buttons[1]);
    panel.Combo2()->setCurrentIndex(2);
    const std::vector<std::string> frames = received(3);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], "00100700019001030" "4");
    EXPECT_EQ(frames[1], "00100272");
    EXPECT_EQ(frames[2], "00100575A20011");
    EXPECT_EQ(host.count->text(), "5");
    EXPECT_EQ(host.txd->text(), "$00100575A20011[cr]");

    const sim::BusState bus = adapter.bus();
    EXPECT_EQ(bus.lm75.pointer, 3);
    EXPECT_EQ(bus.supplyMillivolts, 5000);
    EXPECT_EQ(bus.gpioInput, (std::array<bool, 4>{true, true, false, false}));
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(OneClick, WithoutOneClickNothingIsSent) {
    dialog.answer = FileDialogAnswer::chosen({folder.write("set.txt", collectionText(20))});
    click(panel.Command4());
    click(host.buttons[0]);
    panel.Combo2()->setCurrentIndex(1);
    click(panel.Label2(0));
    EXPECT_FALSE(adapter.waitForFrames(1, 200ms));
    EXPECT_TRUE(host.frames.empty());
}

TEST_F(OneClick, TokenClicksSendOneLineEach) {
    panel.oneclicktokens()->setChecked(true);
    panel.tokenvalue(3)->setText("0");
    click(panel.Label2(31));  // GPDIR with pins 3 to 1 inputs, pin 0 output
    click(panel.Label2(21));  // SetV 5.0
    const std::vector<std::string> frames = received(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], "001004A21110");
    EXPECT_EQ(frames[1], "00100275");
    EXPECT_EQ(host.queue(), "SetV 5.0\r\n");
    EXPECT_EQ(adapter.bus().gpioInput, (std::array<bool, 4>{false, true, true, true}));
}

TEST_F(OneClick, CompileErrorSendsNothingAndKeepsTheQueue) {
    dialog.answer = FileDialogAnswer::chosen({folder.write("bad.txt", ";Bad\r\nSetV 3.3\r\n")});
    click(panel.Command4());
    panel.oneclick()->setChecked(true);
    host.count->setText("9");
    click(host.buttons[0]);
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].caption, "I2C processor error");
    EXPECT_EQ(host.queue(), ";Bad\r\nSetV 3.3");
    EXPECT_EQ(host.count->text(), "9");
    EXPECT_FALSE(adapter.waitForFrames(1, 200ms));
}

}  // namespace
}  // namespace sarnel::testing

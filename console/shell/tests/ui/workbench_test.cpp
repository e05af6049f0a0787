// The main window's bench tools on a simulated adapter: the session log saved as CSV, the
// bus-scan grid, a watch of the LM75, the reply timer, and the keyboard.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QtCharts/QLineSeries>
#include <QtTest/QTest>
#include <fstream>
#include <functional>
#include <iterator>

#include "console/base/ui/statusbar.h"
#include "console/bench/ui/busscanwindow.h"
#include "console/bench/ui/logmodel.h"
#include "console/bench/ui/sessionlogwindow.h"
#include "console/bench/ui/watchwindow.h"
#include "console/shell/tests/ui/simulated_support.h"
#include "console/shell/ui/benchtools.h"

namespace sarnel {
namespace {

using std::chrono::milliseconds;

class Workbench : public Simulated {
protected:
    BenchTools& tools() { return window->tools(); }
    // Lets events run until `done`; false after five seconds.
    bool await(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < end)
            pump->waitUntil(std::chrono::steady_clock::now() + milliseconds(10));
        return done();
    }
    // Shortcuts and mnemonics go to the active window.
    void activate() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// The CSV's rows, each a list of fields (RFC 4180: quoted fields may hold commas and LF).
std::vector<std::vector<std::string>> csvrows(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                rows.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\n') {
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

TEST_F(Workbench, TheSessionLogIsSavedAsCsvAndReadsBack) {
    chooseAdapter();
    click("cmmd_18");  // Ping: two frames, two replies
    ASSERT_TRUE(await([&] { return tools().bench().log().size() >= 4; }));
    SessionLogWindow& log = tools().sessionlog();
    tools().open(log);
    log.refresh();
    EXPECT_EQ(log.model()->rowCount(), 4);
    EXPECT_EQ(log.model()->index(0, LogModel::Raw).data().toString(), "$0000[cr]");

    const std::string path = (simulated.folder() / "session.csv").string();
    log.asksavepath = [&] { return path; };
    log.findChild<QPushButton*>("savelog")->click();
    const auto rows = csvrows(slurp(path));
    ASSERT_EQ(rows.size(), 5u) << slurp(path);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"time", "since_previous_ms", "direction", "raw", "decoded"}));
    EXPECT_EQ(rows[1][2], "sent");
    EXPECT_EQ(rows[1][3], "$0000[cr]");
    EXPECT_EQ(rows[2][2], "received");
    EXPECT_EQ(rows[2][3].substr(0, 5), "!0000");
    EXPECT_NE(rows[2][4].find("[6354 USB Master  ]"), std::string::npos) << rows[2][4];
    EXPECT_EQ(rows[3][3], "$0019[cr]");
    EXPECT_EQ(rows[4][2], "received");
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 5u);
        EXPECT_EQ(rows[i][0].size(), 32u) << rows[i][0];  // 2026-12-08T16:15:55.123456+01:00
        EXPECT_GE(std::stod(rows[i][1]), 0.0);
    }
    // The activity list is untouched by the log.
    EXPECT_EQ(activity().find("sent"), std::string::npos);
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Workbench, TheScanGridMarksBothDevicesAndAClickQueuesARead) {
    chooseAdapter();
    BusScanWindow& scan = tools().busscan();
    tools().open(scan);
    bool done = false;
    QObject::connect(&scan, &BusScanWindow::scanned, [&] { done = true; });
    ASSERT_TRUE(scan.scan());
    ASSERT_TRUE(await([&] { return done; })) << scan.status()->text().toStdString();
    for (int a = 0x08; a <= 0x77; ++a) {
        const bool device = a == 0x48 || a == 0x50;
        EXPECT_EQ(scan.cell(a)->text().toStdString(),
                  device ? QString::asprintf("%02x", a).toStdString() : "--")
            << a;
        EXPECT_EQ(scan.cell(a)->isEnabled(), device) << a;
    }
    EXPECT_EQ(scan.cell(0x03)->text(), "");
    EXPECT_NE(scan.status()->text().indexOf("0x48, 0x50"), -1) << scan.status()->text().toStdString();

    scan.findChild<QSpinBox*>("count")->setValue(1);
    scan.findChild<QLineEdit*>("register")->setText("0x01");
    scan.cell(0x48)->click();
    const QString queue = window->findChild<QPlainTextEdit*>("commands")->toPlainText();
    EXPECT_NE(queue.indexOf("Write 0x90"), -1) << queue.toStdString();
    EXPECT_NE(queue.indexOf("Write 0x01"), -1) << queue.toStdString();
    EXPECT_NE(queue.indexOf("Read Nack"), -1) << queue.toStdString();
    // The queued read runs as it stands: the configuration register, 0.
    click("cmmd_255");
    EXPECT_NE(activity().find("READ\t0x00\tNack"), std::string::npos) << activity();
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Workbench, AScanWithoutAnOpenPortSaysSo) {
    BusScanWindow& scan = tools().busscan();
    EXPECT_FALSE(scan.scan());
    EXPECT_NE(scan.status()->text().indexOf("No port is open"), -1);
}

TEST_F(Workbench, AWatchOfTheLm75PlotsTheSimulatedTemperatures) {
    chooseAdapter();
    simulated.adapter().setTemperature(21.5);
    WatchWindow& watch = tools().watch();
    tools().open(watch);
    watch.findChild<QSpinBox*>("interval")->setValue(20);
    ASSERT_TRUE(watch.start()) << watch.message()->text().toStdString();
    ASSERT_TRUE(await([&] { return watch.watch()->points().size() >= 3; }))
        << watch.message()->text().toStdString();
    simulated.adapter().setTemperature(-3.0);
    ASSERT_TRUE(await([&] { return watch.watch()->last() == -3.0; }));
    watch.pause();
    const auto& points = watch.watch()->points();
    // Every value plotted is one the simulated sensor had, in order: first 21.5, then -3.
    const QList<QPointF> plotted = watch.series()->points();
    ASSERT_EQ(plotted.size(), static_cast<qsizetype>(points.size()));
    bool cooled = false;
    for (qsizetype i = 0; i < plotted.size(); ++i) {
        EXPECT_DOUBLE_EQ(plotted[i].y(), points[static_cast<std::size_t>(i)].value);
        EXPECT_DOUBLE_EQ(plotted[i].x(), points[static_cast<std::size_t>(i)].seconds);
        if (plotted[i].y() == -3.0) cooled = true;
        EXPECT_EQ(plotted[i].y(), cooled ? -3.0 : 21.5) << i;
        if (i > 0) {
            EXPECT_GT(plotted[i].x(), plotted[i - 1].x());
        }
    }
    EXPECT_EQ(watch.findChild<QLabel*>("min")->text(), "-3");
    EXPECT_EQ(watch.findChild<QLabel*>("max")->text(), "21.5");
    EXPECT_EQ(watch.findChild<QLabel*>("last")->text(), "-3");

    // Paused: nothing more goes out. Resumed: values come again.
    const std::size_t frames = simulated.adapter().framesReceived().size();
    pump->waitUntil(std::chrono::steady_clock::now() + milliseconds(100));
    EXPECT_EQ(simulated.adapter().framesReceived().size(), frames);
    const std::size_t before = points.size();
    watch.resume();
    ASSERT_TRUE(await([&] { return watch.watch()->points().size() > before + 1; }));

    const std::string path = (simulated.folder() / "watch.csv").string();
    watch.asksavepath = [&] { return path; };
    watch.findChild<QPushButton*>("exportcsv")->click();
    const std::string csv = slurp(path);
    EXPECT_EQ(csv.rfind("seconds,value\n", 0), 0u);
    EXPECT_NE(csv.find(",21.5\n"), std::string::npos);
    EXPECT_NE(csv.find(",-3\n"), std::string::npos);
    // Closing the window ends the watch.
    watch.close();
    EXPECT_TRUE(watch.watch()->stopped());
    const std::size_t sent = simulated.adapter().framesReceived().size();
    pump->waitUntil(std::chrono::steady_clock::now() + milliseconds(100));
    EXPECT_EQ(simulated.adapter().framesReceived().size(), sent);
}

TEST_F(Workbench, AWatchStopsWithAMessageWhenTheAdapterIsUnplugged) {
    chooseAdapter();
    WatchWindow& watch = tools().watch();
    watch.findChild<QSpinBox*>("interval")->setValue(20);
    bool stopped = false;
    QObject::connect(&watch, &WatchWindow::stopped, [&] { stopped = true; });
    ASSERT_TRUE(watch.start());
    ASSERT_TRUE(await([&] { return !watch.watch()->points().empty(); }));
    simulated.adapter().unplug();
    ASSERT_TRUE(await([&] { return stopped; }));
    EXPECT_TRUE(watch.watch()->stopped());
    EXPECT_NE(watch.message()->text().indexOf("could not be sent"), -1)
        << watch.message()->text().toStdString();
    EXPECT_EQ(state.portopen, 0);
    EXPECT_FALSE(watch.watch()->points().empty());  // what it had stays
}

TEST_F(Workbench, TheStatusBarThroughOpenRoundTripNoReplyAndUnplug) {
    auto label = [&](StatusSegment s) { return window->statusBar()->label(s)->text().toStdString(); };
    EXPECT_EQ(label(StatusSegment::port), "No adapter selected");
    chooseAdapter();
    EXPECT_EQ(label(StatusSegment::port).rfind("COM3", 0), 0u) << label(StatusSegment::port);
    click("cmmd_23");  // Slow
    ASSERT_TRUE(await([&] { return !label(StatusSegment::roundtrip).empty(); }));
    EXPECT_EQ(label(StatusSegment::roundtrip).rfind("Round trip ", 0), 0u);
    EXPECT_EQ(label(StatusSegment::reply), "");
    simulated.adapter().setFault(sim::Fault::Silence);
    click("cmmd_23");
    ASSERT_TRUE(await([&] { return label(StatusSegment::reply) == "No reply"; }));
    simulated.adapter().clearFaults();
    click("cmmd_23");
    ASSERT_TRUE(await([&] { return label(StatusSegment::reply).empty(); }));

    // Unplugged: the port segment goes back, and a scan that finds nothing says what to try.
    simulated.adapter().unplug();
    ASSERT_TRUE(await([&] { return state.portopen == 0; }));
    EXPECT_EQ(label(StatusSegment::port), "No adapter selected");
    alerts.alerts.clear();
    click("cmmd_30");  // Rescan
    EXPECT_EQ(portselect()->count(), 1);
    EXPECT_EQ(label(StatusSegment::event), kNoAdapterFound);
    simulated.adapter().replug();
    simulated.adapter().linkAs(simulated.folder(), SimulatedPort::kComNumber);
    click("cmmd_30");
    EXPECT_NE(portselect()->findText("COM3"), -1);
    EXPECT_NE(label(StatusSegment::event), kNoAdapterFound);
}

TEST_F(Workbench, ShortcutsCompileRescanAndClear) {
    chooseAdapter();
    auto* queue = window->findChild<QPlainTextEdit*>("commands");
    queue->setPlainText("Start\nWrite 0x90\nStop");
    activate();
    queue->setFocus();
    QTest::keyClick(queue, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(window->findChild<QLineEdit*>("txbufferbox")->text().left(5), "$0010");
    EXPECT_EQ(queue->toPlainText(), "Start\nWrite 0x90\nStop");  // no line break was typed
    ASSERT_TRUE(awaitActivity("WRITE\t0x90\tAck"));

    QTest::keyClick(queue, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(activity(), "");

    QTest::keyClick(window.get(), Qt::Key_F5);
    EXPECT_EQ(state.portopen, 0);  // a rescan closes the port and lists the adapters again
    EXPECT_EQ(portselect()->currentIndex(), 0);
    EXPECT_NE(portselect()->findText("COM3"), -1);
}

TEST_F(Workbench, TheMainButtonsHaveMnemonicsAndKeepTheirCaptions) {
    QStringList letters;
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        const QString text = b->text();
        const qsizetype amp = text.indexOf('&');
        if (amp < 0) continue;
        letters << text.mid(amp + 1, 1).toLower();
        QString plain = text;
        plain.remove('&');
        if (b->objectName() == "cmmd_30") {
            EXPECT_EQ(plain, "Rescan");
        }
        if (b->objectName() == "cmmd_255") {
            EXPECT_EQ(plain, "Compile/Transmit");
        }
        if (b->objectName() == "Command5_1") {
            EXPECT_EQ(plain, "Help");
        }
    }
    EXPECT_GE(letters.size(), 16);
    EXPECT_EQ(letters.removeDuplicates(), 0) << letters.join(",").toStdString();
    // Alt+N is "Version": the revision history opens.
    activate();
    QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
    // A mnemonic clicks the button as a short animation.
    EXPECT_TRUE(await([&] { return window->helpDocument() == 2; }));
}

TEST_F(Workbench, TheMenuOpensEachWindow) {
    auto* menu = window->findChild<QMenu*>("workbenchmenu");
    ASSERT_NE(menu, nullptr);
    for (const char* name : {"busscanaction", "watchaction", "sessionlogaction"}) {
        auto* action = menu->findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }
    EXPECT_TRUE(tools().busscan().isVisible());
    EXPECT_TRUE(tools().watch().isVisible());
    EXPECT_TRUE(tools().sessionlog().isVisible());
    // New windows beside the main window, which keeps its size.
    EXPECT_NE(tools().watch().window(), window.get());
}

}  // namespace
}  // namespace sarnel

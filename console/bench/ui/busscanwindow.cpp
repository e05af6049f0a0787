#include "console/bench/ui/busscanwindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>

#include "console/bench/optionvalues.h"
#include "console/bench/registers.h"
#include "console/bench/ui/exchangedriver.h"

namespace sarnel {

namespace {

constexpr std::chrono::milliseconds kScanTimeout{1000};
const bench::ScanRange kRange{0x08, 0x77, false};

QString hex2(int value) {
    return QString::asprintf("%02x", value);
}

}  // namespace

BusScanWindow::BusScanWindow(bench::Workbench& bench, QWidget* parent)
    : QWidget(parent, Qt::Window), bench_(bench) {
    setObjectName("busscan");
    setWindowTitle("Bus scan");
    driver_ = new ExchangeDriver(bench_, this);
    connect(driver_, &ExchangeDriver::finished, this, [this] { finished(); });

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    scanButton_ = new QPushButton("&Scan", this);
    scanButton_->setObjectName("scan");
    scanButton_->setToolTip("Probe every address from 0x08 to 0x77 on the open port");
    top->addWidget(scanButton_);
    readProbe_ = new QCheckBox("&Read probes", this);
    readProbe_->setObjectName("readprobe");
    readProbe_->setToolTip(
        "Probe with a one-byte read instead of a write, for devices a write could disturb");
    top->addWidget(readProbe_);
    top->addStretch(1);
    top->addWidget(new QLabel("A click reads register", this));
    register_ = new QLineEdit("0x00", this);
    register_->setObjectName("register");
    register_->setMaximumWidth(60);
    top->addWidget(register_);
    count_ = new QSpinBox(this);
    count_->setObjectName("count");
    count_->setRange(1, 32);
    count_->setValue(2);
    count_->setSuffix(" bytes");
    top->addWidget(count_);
    layout->addLayout(top);

    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    for (int column = 0; column < 16; ++column) {
        auto* head = new QLabel(QString::number(column, 16), this);
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, column + 1);
    }
    const int width = fontMetrics().horizontalAdvance("00") + 14;
    for (int row = 0; row < 8; ++row) {
        grid->addWidget(new QLabel(hex2(row * 16) + ":", this), row + 1, 0);
        for (int column = 0; column < 16; ++column) {
            const int address = row * 16 + column;
            auto* cell = new QPushButton(this);
            cell->setObjectName("addr_" + hex2(address));
            cell->setFixedWidth(width);
            cell->setFocusPolicy(Qt::TabFocus);
            const bool inRange = address >= kRange.first && address <= kRange.last;
            cell->setEnabled(false);
            if (inRange) cell->setText("--");
            connect(cell, &QPushButton::clicked, this, [this, address] {
                const std::string script = readscript(address);
                if (!script.empty() && putinqueue) putinqueue(script);
            });
            cells_[static_cast<std::size_t>(address)] = cell;
            grid->addWidget(cell, row + 1, column + 1);
        }
    }
    layout->addLayout(grid);
    status_ = new QLabel(this);
    status_->setObjectName("scanstatus");
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    connect(scanButton_, &QPushButton::clicked, this, [this] { scan(); });
}

BusScanWindow::~BusScanWindow() {
    driver_->stop();
}

bool BusScanWindow::scanning() const {
    return driver_->running();
}

bool BusScanWindow::scan() {
    if (driver_->running()) return false;
    if (!bench_.portopen()) {
        status_->setText("No port is open: choose the adapter in the port list first.");
        return false;
    }
    bench::ScanRange range = kRange;
    range.readProbe = readProbe_->isChecked();
    busscan_ = std::make_unique<bench::BusScan>(range);
    run_ = std::make_unique<bench::TransferRun>(*busscan_, bench_, kScanTimeout);
    for (int a = kRange.first; a <= kRange.last; ++a) {
        QPushButton* c = cells_[static_cast<std::size_t>(a)];
        c->setText("--");
        c->setEnabled(false);
        c->setToolTip({});
    }
    scanButton_->setEnabled(false);
    status_->setText("Scanning 0x08 to 0x77…");
    driver_->run(*run_);
    return true;
}

void BusScanWindow::finished() {
    scanButton_->setEnabled(true);
    using Outcome = bench::TransferRun::Outcome;
    switch (run_->outcome()) {
        case Outcome::NoReply:
            status_->setText("The adapter did not answer within 1 s; the scan stopped.");
            break;
        case Outcome::NotSent:
            status_->setText("The scan could not be sent: the port is closed (was the adapter unplugged?).");
            break;
        default:
            if (!busscan_->error().empty()) {
                status_->setText(QString::fromStdString("The scan failed: " + busscan_->error()));
            } else {
                mark(busscan_->found());
            }
            break;
    }
    emit scanned();
}

void BusScanWindow::mark(const std::vector<std::uint8_t>& found) {
    QStringList names;
    for (std::uint8_t a : found) {
        QPushButton* c = cells_[a];
        c->setText(hex2(a));
        c->setEnabled(true);
        c->setToolTip(QString::fromStdString("Put a register read of 0x" + hex2(a).toStdString() +
                                             " into the command queue"));
        names << "0x" + hex2(a);
    }
    if (found.empty())
        status_->setText("No device acknowledged its address.");
    else
        status_->setText(
            QString("%1 found: %2. Click one to put a register read of it into the command queue.")
                .arg(found.size() == 1 ? "One device" : QString("%1 devices").arg(found.size()))
                .arg(names.join(", ")));
}

std::string BusScanWindow::readscript(int address) const {
    std::string why;
    const std::optional<std::uint16_t> reg =
        bench::parseregister(register_->text().toStdString(), false, why);
    if (!reg) {
        status_->setText(QString::fromStdString("Register: " + why));
        return {};
    }
    bench::RegisterRead read({static_cast<std::uint8_t>(address), *reg, false},
                             static_cast<std::size_t>(count_->value()));
    return read.script();
}

}  // namespace sarnel

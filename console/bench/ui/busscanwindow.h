// The bus-scan window: a 16x8 grid of the 7-bit addresses. "Scan" runs the bus scan on the
// open port (through the link, like every frame of the console) and marks the addresses that
// acknowledged; a click on a scanned address puts a register read of that device into the
// command queue.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "console/bench/busscan.h"
#include "console/bench/transferrun.h"
#include "console/bench/workbench.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace sarnel {

class ExchangeDriver;

class BusScanWindow final : public QWidget {
    Q_OBJECT
public:
    BusScanWindow(bench::Workbench& bench, QWidget* parent = nullptr);
    ~BusScanWindow() override;

    // Where a clicked address's register read goes: the command queue.
    std::function<void(const std::string& script)> putinqueue;

    // "Scan": false when it could not begin (no port open, a scan running).
    bool scan();
    bool scanning() const;
    QPushButton* cell(int address) const { return cells_[static_cast<std::size_t>(address)]; }
    // The script a click on `address` puts into the queue (the register and count fields).
    std::string readscript(int address) const;
    QLabel* status() const { return status_; }

signals:
    // A scan has ended (found, failed or stopped).
    void scanned();

private:
    void finished();
    void mark(const std::vector<std::uint8_t>& found);

    bench::Workbench& bench_;
    ExchangeDriver* driver_ = nullptr;
    std::unique_ptr<bench::BusScan> busscan_;
    std::unique_ptr<bench::TransferRun> run_;
    std::array<QPushButton*, 128> cells_{};
    QPushButton* scanButton_ = nullptr;
    QCheckBox* readProbe_ = nullptr;
    QLineEdit* register_ = nullptr;
    QSpinBox* count_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace sarnel

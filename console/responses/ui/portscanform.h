// The scan window `portscanform`: a small caption-only window shown while a port scan runs.
#pragma once

#include <QWidget>

#include "console/responses/portscan.h"

class QPushButton;

namespace sarnel {

class PortScanForm final : public QWidget, public ScanProgress {
    Q_OBJECT
public:
    explicit PortScanForm(QWidget* parent = nullptr);

    void showCentred(std::int32_t left, std::int32_t width, std::int32_t top, std::int32_t height) override;
    void hideWindow() override;

    QPushButton* Command1() const { return command1_; }

private:
    QPushButton* command1_;
};

}  // namespace sarnel

#include "console/responses/ui/portscanform.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QVBoxLayout>

namespace sarnel {

PortScanForm::PortScanForm(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName("portscanform");
    setWindowTitle("Port scan");
    command1_ = new QPushButton("Scanning for serial ports, please wait...", this);
    command1_->setObjectName("Command1");
    // The button is a caption: it shows the message and does nothing.
    command1_->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(command1_);
    setFixedSize(340, 70);
}

void PortScanForm::showCentred(std::int32_t left, std::int32_t width, std::int32_t top, std::int32_t height) {
    if (width > 0 && height > 0)
        move(left + width / 2 - this->width() / 2, top + height / 2 - this->height() / 2);
    show();
    raise();
}

void PortScanForm::hideWindow() {
    hide();
}

}  // namespace sarnel

#include "console/base/ui/statusbar.h"

#include <QLabel>

namespace sarnel {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName("statusbar");
    // The window has a fixed size: a grip would suggest otherwise.
    setSizeGripEnabled(false);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QString("status_%1").arg(i));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const bool last = i + 1 == labels_.size();
        // A long text in the last segment is cut at the bar's end (its tooltip holds it
        // whole) rather than widening the window.
        if (last) label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        addWidget(label, last ? 1 : 0);
        labels_[i] = label;
    }
}

void StatusBar::showStatus(StatusSegment segment, const StatusText& text) {
    QLabel* label = labels_[static_cast<std::size_t>(segment)];
    // Device strings come from the device: shown as plain text, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromStdString(text.text));
    label->setToolTip(QString::fromStdString(text.tooltip.empty() ? text.text : text.tooltip));
}

}  // namespace sarnel

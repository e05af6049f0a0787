// The Qt half of StatusLine: a QStatusBar with one label per segment, left to right in the
// order of StatusSegment. The last segment takes the room that is left; the others are as
// wide as their texts. Labels are named "status_<n>" for the window tests.
#pragma once

#include <QStatusBar>
#include <array>

#include "console/base/statusline.h"

class QLabel;

namespace sarnel {

class StatusBar final : public QStatusBar, public StatusSink {
public:
    explicit StatusBar(QWidget* parent = nullptr);
    void showStatus(StatusSegment segment, const StatusText& text) override;
    QLabel* label(StatusSegment segment) const { return labels_[static_cast<std::size_t>(segment)]; }

private:
    std::array<QLabel*, static_cast<std::size_t>(StatusSegment::count)> labels_{};
};

}  // namespace sarnel

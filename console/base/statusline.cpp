#include "console/base/statusline.h"

#include <utility>

namespace sarnel {

StatusLine::StatusLine() {
    texts_[static_cast<std::size_t>(StatusSegment::port)].text = kNoAdapter;
}

void StatusLine::setSink(StatusSink* sink) {
    sink_ = sink;
    if (!sink_) return;
    for (std::size_t i = 0; i < texts_.size(); ++i)
        sink_->showStatus(static_cast<StatusSegment>(i), texts_[i]);
}

void StatusLine::set(StatusSegment segment, StatusText text) {
    StatusText& held = texts_[static_cast<std::size_t>(segment)];
    if (held == text) return;
    held = std::move(text);
    if (sink_) sink_->showStatus(segment, held);
}

const StatusText& StatusLine::get(StatusSegment segment) const {
    return texts_[static_cast<std::size_t>(segment)];
}

}  // namespace sarnel

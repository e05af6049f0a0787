// The main window's status bar as the console's logic sees it: a row of segments, each a short
// text with a longer explanation for its tooltip. The logic decides what each segment says; the
// window only shows it (base/ui/statusbar.h), and sarnel-cli and the tests read the texts.
//
// A new segment is a new value of StatusSegment (before `count`): the bar makes a label for
// every value, in this order, and nothing else needs to change.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace sarnel {

enum class StatusSegment : std::size_t {
    // The open port: "COM97  /dev/ttyUSB0  USB-Serial Converter  serial A12345XY", or
    // "No adapter selected".
    port,
    // How long the last frame took to be answered: "Round trip 5.31 ms".
    roundtrip,
    // "No reply" while the last frame sent has had no answer for half a second.
    reply,
    // What last happened to the port: "The adapter on COM97 (/dev/ttyUSB0) was unplugged".
    event,
    count
};

struct StatusText {
    std::string text;
    std::string tooltip;
    bool operator==(const StatusText&) const = default;
};

// Where the texts go: the window's status bar, or nowhere.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void showStatus(StatusSegment segment, const StatusText& text) = 0;
};

class StatusLine {
public:
    static constexpr const char* kNoAdapter = "No adapter selected";

    StatusLine();
    // The sink outlives the line, or is taken away first; null: nothing is shown. The sink
    // is given every segment's text at once.
    void setSink(StatusSink* sink);

    void set(StatusSegment segment, StatusText text);
    const StatusText& get(StatusSegment segment) const;
    const std::string& text(StatusSegment segment) const { return get(segment).text; }

private:
    std::array<StatusText, static_cast<std::size_t>(StatusSegment::count)> texts_;
    StatusSink* sink_ = nullptr;
};

}  // namespace sarnel

// The reply decoder: gettoken, zeropad, the reply codes and the result items of a script
// frame's reply.
#include "console/responses/decoder.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <new>

#include "console/base/alert.h"
#include "console/base/textroutines.h"

namespace sarnel {

namespace {

// What gettoken does to a buffer: drop `drop` characters from its front (all of them when
// `clear`), and the reply found, if any, as a range of the buffer.
struct Cut {
    std::size_t drop = 0;
    bool clear = false;
    std::size_t begin = 0;
    std::size_t length = 0;
};

bool startswith(std::string_view text, std::size_t at, std::string_view mark) {
    return text.size() - at >= mark.size() && text.compare(at, mark.size(), mark) == 0;
}

// The steps of gettoken over `buffer`, without changing it. Every search stays within the
// part not yet consumed, so cutting many replies out of one buffer costs its length.
Cut cutreply(std::string_view buffer, std::string_view start, std::string_view end) {
    Cut cut;
    if (buffer.empty()) return cut;
    std::size_t front = 0;
    while (startswith(buffer, front, end)) front += end.size();
    std::size_t p = buffer.find(end, front);
    if (p == std::string_view::npos) {
        // The last reply is still incomplete: keep it from its last start mark on.
        const std::size_t s = buffer.substr(front).rfind(start);
        cut.drop = s == std::string_view::npos ? front : front + s;
        return cut;
    }
    for (;;) {
        // The last start mark between the front and the end mark.
        const std::size_t s = buffer.substr(front, p - front).rfind(start);
        if (s != std::string_view::npos) {
            cut.begin = front + s + start.size();
            cut.length = p - cut.begin;
            const std::size_t rest = p + end.size();
            cut.clear = rest < buffer.size() && buffer.find(start, rest) == std::string_view::npos;
            cut.drop = rest;
            return cut;
        }
        // Garbage without a start mark, up to its end mark: dropped.
        front = p + end.size();
        if (front >= buffer.size()) break;
        p = buffer.find(end, front);
        if (p == std::string_view::npos) break;
    }
    while (startswith(buffer, front, end)) front += end.size();
    cut.drop = front;
    return cut;
}

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::int32_t kTypeMismatch = 13;

// Characters of the reply, positions from 1; missing ones are "".
std::string_view mid(std::string_view text, std::size_t pos, std::size_t length) {
    if (pos < 1 || pos > text.size()) return {};
    return text.substr(pos - 1, length);
}

char at(std::string_view text, std::size_t pos) {
    return pos >= 1 && pos <= text.size() ? text[pos - 1] : '\0';
}

// A status flag compared as a number with 0: a digit, or the reply cannot be decoded.
bool flagset(std::string_view reply, std::size_t pos) {
    const char c = at(reply, pos);
    if (c < '0' || c > '9') throw ConsoleError(kTypeMismatch, "Type mismatch");
    return c != '0';
}

// Collects the text of one reply and hands it to the activity list in one append, so that a
// window appends once per reply rather than once per word. The text stays collected after
// the append: it is the reply's lines.
class Lines {
public:
    Lines(BusActivity& activity, std::string& text) : activity_(activity), text_(text) { text_.clear(); }
    Lines& operator<<(std::string_view text) {
        text_.append(text);
        return *this;
    }
    void flush() {
        if (!text_.empty()) activity_.append(text_);
    }
    // Empties the activity list; text collected so far would have gone before, so it goes.
    void clear() {
        text_.clear();
        activity_.clear();
    }

private:
    BusActivity& activity_;
    std::string& text_;
};

// The lines of a pin or line level item: "0" and "1" of the second character, or nothing.
void level(Lines& out, std::string_view name, char second) {
    if (second == '0') out << name << "\tLow" << kLineEnd;
    if (second == '1') out << name << "\tHigh" << kLineEnd;
}

void acknowledge(Lines& out, char c) {
    if (c == 'a' || c == 'A') out << "Ack" << kLineEnd;
    if (c == 'n' || c == 'N') out << "Nack" << kLineEnd;
}

// The bus activity text of one result item.
void itemtext(Lines& out, const ResultItem& item) {
    const char second = item.second;
    switch (item.kind) {
        case ItemKind::BadToken:
            out << "BadToken:\t0x" << item.pair << kLineEnd;
            break;
        case ItemKind::Speed:
            out << (item.mark == '0' ? "[Speed=SLOW]" : "[Speed=FAST]") << kLineEnd;
            break;
        case ItemKind::Gpio: {
            const char name[] = {'G', 'P', static_cast<char>('0' + (item.mark - '2')), '\0'};
            level(out, name, second);
            break;
        }
        case ItemKind::Interrupt:
            level(out, "Int", second);
            break;
        case ItemKind::Supply: {
            static constexpr std::string_view kVolts[] = {"Open", "2.5", "3.0", "3.5", "4.0", "5.0"};
            if (second >= '0' && second <= '5') out << "SetV\t" << kVolts[second - '0'] << kLineEnd;
            break;
        }
        case ItemKind::Line: {
            static constexpr std::string_view kReads[] = {"SCL:\t0", "SCL:\t1", "SDA:\t0", "SDA:\t1"};
            if (second >= '0' && second <= '3') out << kReads[second - '0'] << kLineEnd;
            break;
        }
        case ItemKind::Drive: {
            static constexpr std::string_view kDrives[] = {"SCL0", "SCL1", "SDA0", "SDA1"};
            if (second >= '0' && second <= '3') out << kDrives[second - '0'] << kLineEnd;
            break;
        }
        case ItemKind::Start:
            out << "START" << kLineEnd;
            break;
        case ItemKind::Stop:
            out << "STOP" << kLineEnd;
            break;
        case ItemKind::Write:
        case ItemKind::Read:
            out << (item.kind == ItemKind::Write ? "WRITE" : "READ") << "\t0x" << item.pair << "\t";
            acknowledge(out, item.ack);
            break;
        case ItemKind::DelayMicro:
            out << "Delay\t0x" << item.pair << " uS" << kLineEnd;
            break;
        case ItemKind::DelayMilli:
            out << "Delay\t0x" << item.pair << " mS" << kLineEnd;
            break;
        case ItemKind::Pins:
            out << "GPPin?\t" << item.data;
            break;
        case ItemKind::Directions:
            out << "GPDir?\t" << item.data;
            break;
        case ItemKind::DirectionsSet:
        case ItemKind::Other:
            break;
    }
}

std::string_view hardwareline(std::string_view id) {
    if (id == "0153") return "[6208 RS232 Master]";
    if (id == "0226") return "[6354 USB Master  ]";
    return "[Unrecognized H/W ]";
}

// A number as the error message writes it: with the sign place of a positive number.
std::string signplace(long long n) {
    return n < 0 ? std::to_string(n) : " " + std::to_string(n);
}

}  // namespace

ResultItem resultitem(std::string_view r, std::size_t i) {
    ResultItem item;
    item.mark = at(r, i);
    item.second = at(r, i + 1);
    item.pair = mid(r, i + 1, 2);
    switch (item.mark) {
        case '?':
            item.kind = ItemKind::BadToken;
            item.advance = 3;
            break;
        case '0':
        case '1':
            item.kind = ItemKind::Speed;
            break;
        case '2':
        case '3':
        case '4':
        case '5':
            item.kind = ItemKind::Gpio;
            item.advance = 2;
            break;
        case '6':
            item.kind = ItemKind::Interrupt;
            item.advance = 2;
            break;
        case '7':
            item.kind = ItemKind::Supply;
            item.advance = 2;
            break;
        case '8':
            item.kind = ItemKind::Drive;
            item.advance = 2;
            break;
        case '9':
            item.kind = ItemKind::Line;
            item.advance = 2;
            break;
        case 's':
        case 'S':
            item.kind = ItemKind::Start;
            break;
        case 'p':
        case 'P':
            item.kind = ItemKind::Stop;
            break;
        case 'w':
        case 'W':
        case 'r':
        case 'R':
            item.kind = item.mark == 'w' || item.mark == 'W' ? ItemKind::Write : ItemKind::Read;
            item.ack = at(r, i + 3);
            item.advance = 4;
            break;
        case 'D':
            item.kind = ItemKind::DelayMicro;
            item.advance = 3;
            break;
        case 'd':
            item.kind = ItemKind::DelayMilli;
            item.advance = 3;
            break;
        case 'A':
            if (item.second == '0') {
                item.kind = ItemKind::Pins;
                item.data = mid(r, i + 2, 5);
                item.advance = 7;
            } else if (item.second == '1') {
                // The four direction characters; decoding goes on right after them.
                item.kind = ItemKind::Directions;
                item.data = mid(r, i + 2, 4);
                item.advance = 6;
            } else if (item.second == '2') {
                item.kind = ItemKind::DirectionsSet;
                item.advance = 3;
            }
            break;
        default:
            break;
    }
    return item;
}

std::string gettoken(const std::string& startmark, const std::string& endmark, std::string& buffer) {
    if (startmark.empty() || endmark.empty()) return "";
    const Cut cut = cutreply(buffer, startmark, endmark);
    std::string reply = buffer.substr(cut.begin, cut.length);
    if (cut.clear) {
        buffer.clear();
    } else {
        buffer.erase(0, cut.drop);
    }
    return reply;
}

std::string_view nextreply(const std::string& buffer, std::size_t& pos) {
    if (pos > buffer.size()) pos = buffer.size();
    const std::string_view rest = std::string_view(buffer).substr(pos);
    const Cut cut = cutreply(rest, "!", "\r");
    const std::string_view reply = rest.substr(cut.begin, cut.length);
    pos += cut.clear ? rest.size() : cut.drop;
    return reply;
}

std::string zeropad(double value, std::int16_t width) {
    double whole = std::round(value);
    if (!std::isfinite(whole)) whole = 0;
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.0f", whole);
    std::string s = digits;
    if (width < 1) return s;
    const std::size_t w = static_cast<std::size_t>(width);
    if (!(value < 0)) {
        std::string padded(w, '0');
        padded += s;
        return padded.substr(padded.size() - w);
    }
    if (!s.empty() && s.front() == '-') s.erase(0, 1);
    std::string padded(w, '0');
    padded += s;
    return "-" + padded.substr(padded.size() - (w - 1));
}

namespace {

void decodeinto(std::string_view r, Lines& out, BusActivity& activity) {
    const std::string_view code = mid(r, 3, 2);
    if (code == "00") {
        out.clear();
        out << "[Firmware Version:]" << kLineEnd << "[" << mid(r, 5, 4) << "." << mid(r, 9, 2) << "."
            << mid(r, 11, 2) << "       ]" << kLineEnd;
        out << hardwareline(mid(r, 5, 4)) << kLineEnd << kLineEnd;
    } else if (code == "10") {
        if (!activity.continuousRx()) out.clear();
        for (std::size_t i = 5; i <= r.size();) {
            const ResultItem item = resultitem(r, i);
            itemtext(out, item);
            i += item.advance;
        }
    } else if (code == "11") {
        const char c = at(r, 5);
        out << (c == 'e' || c == 'E' ? "[No command to store]" : "[Store last success!]") << kLineEnd;
    } else if (code == "12") {
        const char c = at(r, 5);
        out << (c == 'e' || c == 'E' ? "[Replay Memory Empty]" : "[Replay Successful  ]") << kLineEnd;
    } else if (code == "13") {
        out << "[Edge = High-to-Low ]" << kLineEnd;
    } else if (code == "14") {
        out << "[Edge = Low-to-High ]" << kLineEnd;
    } else if (code == "15") {
        out << "[Edge trigger = On  ]" << kLineEnd;
    } else if (code == "16") {
        out << "[Edge trigger = Off ]" << kLineEnd;
    } else if (code == "17") {
        out << "[Speed set Slow=100k]" << kLineEnd;
    } else if (code == "18") {
        out << "[Speed set Fast=400k]" << kLineEnd;
    } else if (code == "19") {
        out << "[VSlave:  " << zeropad(leadingnumber(mid(r, 5, 1)), 1) << "."
            << zeropad(leadingnumber(mid(r, 6, 3)), 3) << "v  ]" << kLineEnd;
        // Each flag is read before its line starts, so a failing one leaves no half line.
        const bool fast = flagset(r, 9);
        out << "[Speed:   " << (fast ? "Fast" : "Slow") << "    ]" << kLineEnd;
        const bool onEdge = flagset(r, 10);
        out << "[OnEdge:  " << (onEdge ? "On " : "Off") << "     ]" << kLineEnd;
        const bool lowToHigh = flagset(r, 11);
        out << "[Edge:    " << (lowToHigh ? "Lo-to-Hi" : "Hi-to-Lo") << "]" << kLineEnd;
    } else if (code == "1A") {
        const auto v = static_cast<std::int16_t>(hextonum(mid(r, 5, 2)));
        out << "[Reset:   " << ((v & 8) == 8 ? "Power up" : "WDT Rset") << "]" << kLineEnd << kLineEnd;
    } else if (code == "20") {
        out << "[Int]\t" << mid(r, 6, 1) << kLineEnd;
    }
}

}  // namespace

void decodereply(std::string_view r, BusActivity& activity) {
    std::string text;
    decodereply(r, activity, text);
}

void decodereply(std::string_view r, BusActivity& activity, std::string& scratch) {
    Lines out(activity, scratch);
    try {
        decodeinto(r, out, activity);
    } catch (...) {
        out.flush();  // the lines made before the failure stay
        throw;
    }
    out.flush();
}

void process(std::int16_t index, const std::string& /*datain*/, BusActivity& activity,
             std::string& rxbuffer) {
    if (index != kProcessAll) return;
    // Replies are taken by advancing `pos`; the consumed front is erased once at the end, so
    // a buffer of many replies costs its length, not its length times its replies. Nothing
    // can look at the RXD window while this runs, so it is set once, to the last reply.
    std::size_t pos = 0;
    std::string_view reply;
    std::string_view shown;
    std::string scratch;
    bool decoding = false;  // the failure, if one comes, is the reply's
    auto showrxd = [&] {
        if (shown.empty()) return;
        std::string rxd = "!";
        rxd.append(shown);
        rxd.append("[cr]");
        activity.setRxd(rxd);
    };
    try {
        for (;;) {
            reply = nextreply(rxbuffer, pos);
            if (reply.empty()) break;
            shown = reply;
            decoding = true;
            decodereply(reply, activity, scratch);
            decoding = false;
            activity.replied(reply, scratch);
        }
        showrxd();
    } catch (const std::exception& e) {
        std::int32_t number = 5;
        if (const auto* ce = dynamic_cast<const ConsoleError*>(&e)) {
            number = ce->number();
            setRunTimeError(number, ce->description());
        } else if (dynamic_cast<const std::bad_alloc*>(&e)) {
            number = 7;
            setRunTimeError(number, "Out of memory");
        } else {
            setRunTimeError(number, e.what());
        }
        std::string message = "Index:    " + signplace(index) + std::string(kLineEnd) +
                              "Response: " + std::string(reply) + std::string(kLineEnd) +
                              "Buffer:   " + signplace(static_cast<long long>(rxbuffer.size() - pos));
        try {
            showrxd();
            if (decoding) activity.replied(reply, scratch);
        } catch (const std::exception&) {
            // The RXD window failing too changes nothing about what is reported.
        }
        rxbuffer.erase(0, pos);
        ShowAlert("Process error", message, number, 2, 12);
        return;
    }
    rxbuffer.erase(0, pos);
}

}  // namespace sarnel

#include "firmware.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace sim {

namespace {

// The adapter resets itself on command by letting its watchdog run out, so the reset report
// (cause byte: bit 3 power-up, bit 4 watchdog) and the reset-cause query (3) both say so.
constexpr const char* kResetReportWatchdog = "001A10";
constexpr int kCauseWatchdog = 3;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The value of `n` hexadecimal digits at `at`, or -1 when they are missing or not hexadecimal.
long hexArg(std::string_view s, std::size_t at, std::size_t n) {
    if (at + n > s.size()) return -1;
    long v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int d = hexValue(s[at + i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

std::string hex2(unsigned v) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[(v >> 4) & 0xF], digits[v & 0xF]};
}

std::string dec2(int v) {
    return {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)};
}

char bit(bool b) {
    return b ? '1' : '0';
}

// A refused code or length byte is echoed, but never with a character that would break the
// reply's framing ("!", CR, LF) or that the host cannot show: those become "?".
std::string echo(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c < 0x20 || c > 0x7E || c == '!') c = '?';
    return out;
}

}  // namespace

Firmware::Firmware(const Options& options)
    : model_(options.model),
      flashTimePerLine_(options.flashTimePerLine),
      eraseTime_(options.eraseTime),
      bus_(options.devices, options.eepromWriteCycle) {
    setFirmwareVersion(options.firmwareVersion, options.firmwareRevision);
    if (options.startInBootloader) enterBootloader();
}

void Firmware::setFirmwareVersion(int version, int revision) {
    if (version < 0 || version > 99 || revision < 0 || revision > 99)
        throw std::invalid_argument("firmware version and revision are 0..99");
    version_ = version;
    revision_ = revision;
}

void Firmware::setTemperature(double celsius) {
    const double c = std::clamp(celsius, -55.0, 125.0);
    const int halves = static_cast<int>(std::lround(c * 2));
    bus_.setMeasured(static_cast<std::uint16_t>(halves * 128));
}

void Firmware::powerUp() {
    inBootloader_ = false;
    resetCause_ = 1;
    bus_.reset();
    fast_ = false;
    triggerOn_ = false;
    edgeLowToHigh_ = false;
    supplyOpen_ = true;
    supplyMillivolts_ = 0;
    input_.fill(true);
    latch_.fill(false);
    lastSequence_.clear();
}

void Firmware::enterBootloader() {
    inBootloader_ = true;
    bus_.reset();
    boot_.enter();
}

Firmware::Replies Firmware::line(std::string_view text, Clock::time_point now) {
    if (!inBootloader_) return application(text, now);
    const Bootloader::Verdict v = boot_.line(text, flashTimePerLine_, eraseTime_);
    Replies out{{v.reply, v.busy}};
    if (v.action == Bootloader::Action::LeaveToApplication) {
        powerUp();
        resetCause_ = kCauseWatchdog;
        out.push_back({kResetReportWatchdog});
    }
    return out;
}

Firmware::Replies Firmware::application(std::string_view text, Clock::time_point now) {
    // Frames are "00", a two-digit code and its payload; anything else is not for us.
    if (text.size() < 4 || text.substr(0, 2) != "00") return {};
    const std::string_view code = text.substr(2, 2);
    const std::string_view payload = text.substr(4);

    if (code == "10") {
        const long length = hexArg(payload, 0, 2);
        const std::string_view tokens = payload.size() >= 2 ? payload.substr(2) : std::string_view{};
        if (length < 1 || length > 0x7D || tokens.size() != static_cast<std::size_t>(length - 1) * 2)
            return {{"0010?" + echo(payload.substr(0, 2))}};
        lastSequence_ = std::string(tokens);
        Clock::time_point t = now;
        std::string items = run(tokens, t);
        return {{"0010" + items, std::chrono::duration_cast<std::chrono::microseconds>(t - now)}};
    }
    if (code == "FF") {
        if (payload != "5A3C") return {};
        enterBootloader();
        return {{"Bb"}};
    }
    if (!payload.empty()) return {};  // the fixed commands carry no payload

    if (code == "00") {
        const char* id = model_ == Model::Usb6354 ? "0226" : "0153";
        return {{"0000" + std::string(id) + dec2(revision_) + dec2(version_)}};
    }
    if (code == "06") return {{"0006" + dec2(resetCause_)}};
    if (code == "07") {
        powerUp();
        resetCause_ = kCauseWatchdog;
        return {{kResetReportWatchdog}};
    }
    if (code == "11") {
        if (lastSequence_.empty()) return {{"0011e"}};
        storedSequence_ = lastSequence_;
        return {{"0011s"}};
    }
    if (code == "12") {
        if (storedSequence_.empty()) return {{"0012e"}};
        Clock::time_point t = now;
        std::string items = run(storedSequence_, t);
        return {{"0010" + items, std::chrono::duration_cast<std::chrono::microseconds>(t - now)}, {"0012s"}};
    }
    if (code == "13")
        edgeLowToHigh_ = false;
    else if (code == "14")
        edgeLowToHigh_ = true;
    else if (code == "15")
        triggerOn_ = true;
    else if (code == "16")
        triggerOn_ = false;
    else if (code == "17")
        fast_ = false;
    else if (code == "18")
        fast_ = true;
    else if (code == "19") {
        const int mv = supplyOpen_ ? 0 : supplyMillivolts_;
        std::string s = "0019";
        s += static_cast<char>('0' + mv / 1000);
        s += static_cast<char>('0' + mv / 100 % 10);
        s += dec2(mv % 100);
        s += bit(fast_);
        s += bit(triggerOn_);
        s += bit(edgeLowToHigh_);
        return {{s}};
    } else
        return {};
    return {{"00" + std::string(code)}};
}

std::string Firmware::run(std::string_view tokens, Clock::time_point& now) {
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    static constexpr int kSupplyLevels[] = {0, 2500, 3000, 3500, 4000, 5000};

    std::string out;
    std::size_t i = 0;
    while (i < tokens.size()) {
        const std::string code(tokens.substr(i, 2));
        i += code.size();
        const auto reject = [&] { out += '?' + echo(code); };

        if (code == "00") {
            bus_.start();
            out += 's';
        } else if (code == "01") {
            const long b = hexArg(tokens, i, 2);
            if (b < 0) {
                reject();
                continue;
            }
            i += 2;
            const bool ack = bus_.write(static_cast<std::uint8_t>(b), now);
            out += 'W' + hex2(static_cast<unsigned>(b)) + (ack ? 'a' : 'n');
        } else if (code == "02" || code == "03") {
            const bool ack = code == "02";
            out += 'R' + hex2(bus_.read(ack)) + (ack ? 'a' : 'n');
        } else if (code == "04") {
            bus_.stop(now);
            out += 'p';
        } else if (code == "05" || code == "06") {
            const long n = hexArg(tokens, i, 2);
            if (n < 0) {
                reject();
                continue;
            }
            i += 2;
            now += code == "05" ? microseconds(n + 20) : microseconds(milliseconds(n));
            out += (code == "05" ? 'D' : 'd') + hex2(static_cast<unsigned>(n));
        } else if (code == "10") {
            out += bit(fast_);
        } else if (code.size() == 2 && code[0] >= '2' && code[0] <= '5' &&
                   (code[1] == '0' || code[1] == '1')) {
            latch_[code[0] - '2'] = code[1] == '1';
            out += code;
        } else if (code == "60") {
            out += '6';
            out += bit(interrupt_);
        } else if (code.size() == 2 && code[0] == '7' && code[1] >= '0' && code[1] <= '5') {
            supplyOpen_ = code[1] == '0';
            supplyMillivolts_ = kSupplyLevels[code[1] - '0'];
            out += code;
        } else if (code == "76") {
            const long mv = hexArg(tokens, i, 4);
            if (mv < 0) {
                reject();
                continue;
            }
            i += 4;
            if (mv > 5000) {
                reject();
                continue;
            }
            supplyOpen_ = false;
            supplyMillivolts_ = static_cast<int>(mv);
            out += code;
        } else if (code == "80" || code == "81") {
            bus_.driveScl(code[1] == '1');
            out += code;
        } else if (code == "82" || code == "83") {
            bus_.driveSda(code[1] == '3');
            out += code;
        } else if (code == "90") {
            out += bus_.scl() ? "91" : "90";
        } else if (code == "92") {
            out += bus_.sda() ? "93" : "92";
        } else if (code == "A0") {
            out += "A0";
            out += bit(interrupt_);
            for (int pin = 3; pin >= 0; --pin) out += bit(pinLevel(pin));
        } else if (code == "A1") {
            out += "A1";
            for (int pin = 3; pin >= 0; --pin) out += bit(input_[pin]);
        } else if (code == "A2") {
            const std::string_view dir = tokens.substr(i, std::min<std::size_t>(4, tokens.size() - i));
            if (dir.size() != 4 || dir.find_first_not_of("01") != std::string_view::npos) {
                reject();
                continue;
            }
            i += 4;
            for (int pin = 0; pin < 4; ++pin) input_[pin] = dir[3 - pin] == '1';
            out += "A2a";
        } else {
            reject();
        }
    }
    return out;
}

Firmware::Replies Firmware::interruptInput(bool high, Clock::time_point now) {
    const bool was = interrupt_;
    interrupt_ = high;
    if (inBootloader_ || was == high || !triggerOn_ || high != edgeLowToHigh_) return {};
    Replies out{{std::string("00206") + bit(high)}};
    if (!storedSequence_.empty()) {
        Clock::time_point t = now;
        std::string items = run(storedSequence_, t);
        out.push_back({"0010" + items, std::chrono::duration_cast<std::chrono::microseconds>(t - now)});
    }
    return out;
}

BusState Firmware::state() const {
    BusState s;
    bus_.state(s);
    for (int pin = 0; pin < 4; ++pin) {
        s.gpioInput[pin] = input_[pin];
        s.gpioLatch[pin] = latch_[pin];
        s.gpioLevel[pin] = pinLevel(pin);
    }
    s.scl = bus_.scl();
    s.sda = bus_.sda();
    s.interruptInput = interrupt_;
    s.supplyOpen = supplyOpen_;
    s.supplyMillivolts = supplyOpen_ ? 0 : supplyMillivolts_;
    s.fast = fast_;
    s.triggerOn = triggerOn_;
    s.edgeLowToHigh = edgeLowToHigh_;
    s.inBootloader = inBootloader_;
    s.lastSequence = lastSequence_;
    s.storedSequence = storedSequence_;
    return s;
}

}  // namespace sim

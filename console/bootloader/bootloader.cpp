#include "console/bootloader/bootloader.h"

#include <cstdio>
#include <exception>

#include "console/base/alert.h"
#include "console/base/pump.h"
#include "console/base/serialcontrol.h"
#include "console/base/textroutines.h"
#include "console/base/timing.h"
#include "console/bootloader/replies.h"
#include "console/responses/decoder.h"
#include "console/responses/receivepath.h"

namespace sarnel::boot {

namespace {

const std::string kFieldSeparator(1, '\xFF');

// The numbers of the "Process error" message carry the sign position: " 255".
std::string signednumber(long long value) {
    return (value < 0 ? "" : " ") + std::to_string(value);
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

// --- free helpers ---------------------------------------------------------------------------

std::string rejectedline(std::int32_t errorCount, const std::string& code, const std::string& meaning,
                         const std::string& sent) {
    std::string line = errorcounttext(errorCount) + "  " + code + "  " + meaning;
    if (line.size() < 56)
        line.resize(56, ' ');
    else
        line += ' ';
    return line + sent;
}

std::string visiblelineend(const std::string& txdata) {
    const std::size_t n = txdata.size();
    if (n >= 2 && txdata[n - 2] == CR && txdata[n - 1] == LF) return txdata.substr(0, n - 2) + "[nl]";
    if (n >= 1 && txdata[n - 1] == CR) return txdata.substr(0, n - 1) + "[cr]";
    if (n >= 1 && txdata[n - 1] == LF) return txdata.substr(0, n - 1) + "[lf]";
    return txdata;
}

// --- BootLoader -----------------------------------------------------------------------------

BootLoader::BootLoader(SerialControl& rs232, BootView& view) : rs232_(rs232), view_(view) {
    rs232_.setLineHandler([this] { onCharReceived(); });
}

BootLoader::~BootLoader() {
    rs232_.setLineHandler({});
}

std::string BootLoader::specpath(const std::string& filespec) {
    return getfield(filespec, 1, kFieldSeparator);
}

void BootLoader::portFailed() {
    view_.selectNoPort();
    rs232_.close();
    portOpen_ = false;
}

void BootLoader::comwrite(const std::string& txdata, std::int16_t timetowait) {
    view_.setText(Field::txbufferbox, visiblelineend(txdata));
    if (!portOpen_) {
        view_.setText(Field::rxbufferbox, kNoPortText);
        return;
    }
    try {
        if (rs232_.getBreak() != 0) rs232_.setBreak(0);
        rs232_.write(txdata, 0, 1000);
        if (timetowait > 0) waithundredths(timetowait);
    } catch (const ConsoleError& e) {
        reportError("ComWrite error", e, 2, 0);
        portFailed();
    }
}

void BootLoader::onCharReceived() {
    try {
        rxbuffer_ += rs232_.read();
    } catch (const ConsoleError& e) {
        reportError("Veskor error", e, 2, 0);
        portFailed();
        return;
    }
    process(255, "");
    caprxbuffer(rxbuffer_);
}

void BootLoader::process(std::int16_t index, const std::string& datain) {
    (void)datain;
    static const std::string start = "!";
    static const std::string end(1, CR);
    if (!view_.showProgress()) {
        latest_ = gettoken(start, end, rxbuffer_);
        return;
    }
    if (index != 255) return;
    std::string reply;
    try {
        for (;;) {
            reply = gettoken(start, end, rxbuffer_);
            if (reply.empty()) break;
            view_.setText(Field::rxbufferbox, "!" + reply + "[cr]");
            latest_ = reply;
            decode(reply);
        }
    } catch (const std::exception& e) {
        const ConsoleError* ce = dynamic_cast<const ConsoleError*>(&e);
        const std::int32_t number = ce ? ce->number() : 5;  // 5: the console's "invalid call" error
        setRunTimeError(number, e.what());
        std::string message = "Index:    " + signednumber(index) + "\r\nResponse: " + reply +
                              "\r\nBuffer:   " + signednumber(static_cast<long long>(rxbuffer_.size()));
        ShowAlert("Process error", message, number, 2, 0);
    }
}

void BootLoader::decode(const std::string& reply) {
    const std::optional<ReplyDisplay> shown = decodeReply(reply);
    if (!shown) return;
    view_.setText(Field::responsecode, shown->code);
    view_.setResponseColour(shown->colour);
    view_.setText(Field::responsedecode, shown->meaning);
}

void BootLoader::count(Field field) {
    view_.setText(field, std::to_string(textvalue(view_.text(field)) + 1));
}

std::int32_t BootLoader::addError() {
    const std::int32_t n = textvalue(view_.text(Field::dataerrors)) + 1;
    view_.setText(Field::dataerrors, std::to_string(n));
    return n;
}

template <typename Done>
bool BootLoader::awaitReply(clock::time_point start, double limit, Done done) {
    const auto span = std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(limit));
    // Just past the limit, so that the pass after the deadline sees "more than" the limit.
    const clock::time_point deadline = start + span + std::chrono::microseconds(1);
    bool timedOut = false;
    for (;;) {
        if (clock::now() - start > span) timedOut = true;
        processEvents();
        if (done() || timedOut || abort_) return timedOut;
        pump().waitUntil(deadline);
    }
}

bool BootLoader::command(const std::string& frame, double limit, const std::string& expected,
                         bool anyReplyEnds, const char* timeoutText) {
    latest_.clear();
    processEvents();
    const clock::time_point start = clock::now();
    comwrite(frame, 0);
    const bool timedOut =
        awaitReply(start, limit, [&] { return anyReplyEnds ? !latest_.empty() : latest_ == expected; });
    if (abort_) {
        logLine(errorcounttext(addError()) + kUserInterrupt);
        view_.beep();
    }
    if (timedOut) {
        logLine(errorcounttext(addError()) + kTimeoutLine);
        view_.beep();
    }
    if (latest_ != expected) latest_.clear();
    if (latest_ == expected && !abort_ && !timedOut) return true;
    if (abort_)
        view_.setErrorList(kUserAbort);
    else if (timedOut)
        view_.setErrorList(timeoutText);
    return false;
}

bool BootLoader::appentry() {
    return command(std::string("$00FF") + kEntryCode + CR, kEntryLimit, "Bb", false, kEntryTimeout);
}

bool BootLoader::booterase() {
    return command(std::string("$E") + CR, kEraseLimit, "Be", true, kEraseTimeout);
}

void BootLoader::bootload(const std::string& filespec) {
    const HexLines table = readhexlines(specpath(filespec));
    bootload(filespec, table);
}

void BootLoader::bootload(const std::string& filespec, const HexLines& table) {
    view_.clearProgress();
    const clock::time_point runStart = clock::now();
    view_.setText(Field::codefilename, specpath(filespec));
    if (!table.ok()) {
        logLine(errorcounttext(addError()) + "  -  " + table.refusal);
        view_.beep();
        return;
    }
    const std::size_t n = table.lines.size();
    bool endRun = false;
    for (std::size_t i = 1; i <= n && !endRun; ++i) {
        double p = static_cast<double>(i) * 100.0 / static_cast<double>(n);
        view_.drawProgress(p > 100 ? 100 : p);

        latest_.clear();
        processEvents();
        const clock::time_point lineStart = clock::now();
        comwrite("$" + table.lines[i - 1] + CR, 0);
        const bool timedOut = awaitReply(lineStart, kLineLimit, [&] { return !latest_.empty(); });
        view_.lineDone(static_cast<int>(i), static_cast<int>(n), latest_, seconds(clock::now() - lineStart));

        if (abort_) {
            logLine(errorcounttext(addError()) + kUserInterrupt);
            endRun = true;
            view_.beep();
        }
        if (timedOut) {
            logLine(errorcounttext(addError()) + kTimeoutLine);
            endRun = true;
            view_.beep();
        }
        if (latest_.empty()) continue;
        if (latest_ == "Ba") {
            count(Field::blockswritten);
        } else if (latest_ == "Bx") {
            count(Field::highrompointers);
        } else if (latest_ == "Bh") {
            count(Field::highromblocks);
        } else if (latest_ == "Bi") {
            count(Field::commentlines);
        } else if (latest_ == "Bc") {
            count(Field::eofrecords);
            endRun = true;
        } else {
            const std::int32_t errors = addError();
            logLine(rejectedline(errors, view_.text(Field::responsecode), view_.text(Field::responsedecode),
                                 view_.text(Field::txbufferbox)));
            if (!view_.runWithErrors()) {
                view_.beep();
                return;  // stopped at a rejected line: programtime stays "---"
            }
        }
    }
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.3f", seconds(clock::now() - runStart));
    view_.setText(Field::programtime, elapsed);
}

void BootLoader::clearstats() {
    view_.setErrorList("");
    for (Field f : {Field::blockswritten, Field::commentlines, Field::dataerrors, Field::highrompointers,
                    Field::highromblocks, Field::eofrecords})
        view_.setText(f, "0");
    reset_responses();
    abort_ = false;
    view_.setText(Field::programtime, "---");
}

void BootLoader::reset_responses() {
    view_.setText(Field::responsecode, "-");
    view_.setResponseColour(kWhite);
    view_.setText(Field::responsedecode, "---");
    view_.setText(Field::rxbufferbox, "");
    view_.setText(Field::txbufferbox, "");
    processEvents();
}

void BootLoader::apptoboot() {
    clearstats();
    appentry();
}

void BootLoader::write(const std::string& filespec, bool fromApp) {
    // The file is read before anything is sent, so that a file that is refused does not leave
    // an erased adapter behind; bootload logs the refusal.
    const HexLines table = readhexlines(specpath(filespec));
    clearstats();
    if (table.ok()) {
        if (fromApp && !appentry()) return;
        if (!booterase()) return;
    }
    bootload(filespec, table);
}

}  // namespace sarnel::boot

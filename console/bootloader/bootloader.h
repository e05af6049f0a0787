// The bootloader protocol of the firmware update window: sending commands, taking the
// bootloader's verdicts out of the window's receive buffer, entering the bootloader from the
// application, erasing, and streaming a HEX file line by line with its counters, progress bar,
// error log and stop rule.
//
// Plain C++ over three seams: the window's serial control (SerialControl), its fields
// (BootView) and the pump (every wait lets events run, so received data and Cancel are
// handled in the middle of a step). The Qt window and sarnel-cli drive the same object.
// Everything runs on the window's thread; the receive handler and Cancel run only inside the
// waits, never in the middle of a step.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/bootloader/bootview.h"
#include "console/bootloader/hexlines.h"

namespace sarnel {
class SerialControl;
}

namespace sarnel::boot {

inline constexpr char CR = '\r';
inline constexpr char LF = '\n';

// The application's restart-into-bootloader command carries this code.
inline constexpr const char* kEntryCode = "5A3C";

// Time limits, in seconds on the monotonic clock, counted from before the command is sent.
inline constexpr double kEntryLimit = 5.0;
inline constexpr double kEraseLimit = 5.0;
inline constexpr double kLineLimit = 0.5;

// The error log's lines for the events of a run.
inline constexpr const char* kUserInterrupt = "  -  User interrupt";
inline constexpr const char* kTimeoutLine = "  -  Timeout waiting for serial response";
inline constexpr const char* kUserAbort = "User abort";
inline constexpr const char* kEntryTimeout = "Bootload fail: Timeout waiting for BL entry response";
inline constexpr const char* kEraseTimeout = "Bootload fail: Timeout waiting for erase response";
inline constexpr const char* kNoPortText = "[No port is selected]";
inline constexpr const char* kSelectPort = "Select a COM port to proceed...";

class BootLoader {
public:
    // Both must outlive the object. Installs the receive handler on `rs232`.
    BootLoader(SerialControl& rs232, BootView& view);
    ~BootLoader();
    BootLoader(const BootLoader&) = delete;
    BootLoader& operator=(const BootLoader&) = delete;

    // --- window state ---------------------------------------------------------------------
    // The window port flag: a port is selected and open on the window's control.
    bool portOpen() const { return portOpen_; }
    void setPortOpen(bool open) { portOpen_ = open; }
    const std::string& receiveBuffer() const { return rxbuffer_; }
    const std::string& latestReply() const { return latest_; }
    // Cancel: every wait of a run ends at its next pass. Cleared by clearstats.
    void abort() { abort_ = true; }
    bool aborted() const { return abort_; }

    // --- the procedures -------------------------------------------------------------------
    // Shows `txdata` in txbufferbox (its line end made visible) and sends it, then waits
    // `timetowait` hundredths of a second. Without a port: "[No port is selected]" in
    // rxbufferbox and nothing sent. A failing write: the "ComWrite error" alert, port closed.
    void comwrite(const std::string& txdata, std::int16_t timetowait);

    // The control's EvtCharReceived: appends Read() to the receive buffer, then process; the
    // remainder is then capped as the main window's receive buffer is (caprxbuffer), so a
    // device streaming without "!" or CR cannot grow it without bound. A failing Read: the
    // "Veskor error" alert, port closed, process not called.
    void onCharReceived();

    // Takes replies out of the receive buffer. With showprogress checked and index 255 every
    // complete reply is shown and decoded and the last one becomes the latest reply; with it
    // unchecked exactly one reply (possibly empty) becomes the latest reply and nothing is shown.
    void process(std::int16_t index, const std::string& datain);

    // "$00FF5A3C": true when the bootloader announced itself ("Bb") within 5.0 s.
    bool appentry();
    // "$E": true when the bootloader answered "Be" within 5.0 s.
    bool booterase();
    // Streams the file whose path is the first field (fields separated by character 255) of
    // `filespec`, one line per verdict, until all lines are sent, "Bc", a time-out, Cancel or
    // a rejected line with runwitherrors unchecked.
    void bootload(const std::string& filespec);
    // The same with a line table already read (the Write sequences read the file first).
    void bootload(const std::string& filespec, const HexLines& table);

    void clearstats();
    void reset_responses();

    // --- the sequences of the window's buttons ---------------------------------------------
    // "App -> Boot": clearstats, appentry.
    void apptoboot();
    // "App Write" (fromApp) and "Boot Write": the file is read first; a file that is refused
    // (cannot be opened, empty, too long) is logged and nothing is sent. Then clearstats,
    // appentry (fromApp only), booterase, bootload.
    void write(const std::string& filespec, bool fromApp);

    // The first field of a file dialog's result: the file's full path.
    static std::string specpath(const std::string& filespec);

private:
    using clock = std::chrono::steady_clock;

    // Polls until done() holds, the limit has passed since start (the time-out mark, returned)
    // or the abort flag is set, letting events run between passes.
    template <typename Done>
    bool awaitReply(clock::time_point start, double limit, Done done);
    // The shared shape of appentry and booterase.
    bool command(const std::string& frame, double limit, const std::string& expected, bool anyReplyEnds,
                 const char* timeoutText);
    void count(Field field);
    std::int32_t addError();
    void logLine(const std::string& line) { view_.prependError(line); }
    void portFailed();
    void decode(const std::string& reply);

    SerialControl& rs232_;
    BootView& view_;
    bool portOpen_ = false;
    bool abort_ = false;
    std::string rxbuffer_;
    std::string latest_;
};

// The rejected-line log entry: count text, code and meaning, padded with spaces to 56
// characters (or one space when longer), then the command as shown in txbufferbox.
std::string rejectedline(std::int32_t errorCount, const std::string& code, const std::string& meaning,
                         const std::string& sent);

// txdata as txbufferbox shows it: a final CR LF as "[nl]", CR as "[cr]", LF as "[lf]".
std::string visiblelineend(const std::string& txdata);

}  // namespace sarnel::boot

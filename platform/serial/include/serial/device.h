// The serial-device layer: one small interface over a real termios device (ports and
// pseudo-terminals), a port on another machine served over TCP (names.h, RemoteAddress), and
// the in-memory null-modem pair (nullmodem.h).
//
// It offers what a Windows-style serial driver offers its clients: a control block, driver
// time-outs, queue sizes, escape functions, an error-and-status query, modem status, purge, an
// event mask with an asynchronous event wait, and asynchronous reads and writes. Every
// asynchronous operation uses a Request: it starts, completes at once or stays pending, and is
// queried with or without waiting; its event is set when it finishes.
//
// The layer keeps its own receive queue (8192 bytes): bytes are taken from the line into it as
// they arrive, whether or not anyone reads, so that "character received", "event character
// received", breaks and line errors are reported as they happen.
//
// A Device may be used from several threads at once. Buffers given to read and write must stay
// alive until their request has finished; cancelIo and purge finish the requests they abort
// before they return.
#pragma once

#include <serial/event.h>
#include <serial/names.h>

#include <cstdint>
#include <memory>
#include <string>

namespace serial {

// What an operation reports. `pending` is the normal answer of an asynchronous start, and
// `incomplete` that of a query without waiting of a request that still runs.
enum class Code {
    ok,
    pending,
    incomplete,
    cancelled,     // aborted by cancelIo or purge
    hungUp,        // the device went away (unplugged, far end of a pseudo-terminal closed)
    notSupported,  // e.g. modem lines of a pseudo-terminal
    invalidArgument,
    busy,  // opened by someone else
    notFound,
    accessDenied,  // the device exists but this user may not open it
    failed,        // any other system error
};

const char* codeName(Code code);

// Why a device did not open, kept to the end so that a person can be told.
struct Failure {
    Code code = Code::ok;
    int error = 0;      // the system's errno when a system call refused; 0 otherwise
    std::string path;   // what was opened: the device path, or the name when it led nowhere
    std::string group;  // accessDenied: the group whose members may open the device, if any
    // notFound: the name the port at this name's place in the table answers to now ("COM97")
    std::string ownName;
    // What went wrong in words, where the code alone does not say it (a remote port: "connection
    // refused by bench7 port 4001"); empty otherwise.
    std::string detail;
    // "/dev/ttyUSB0: permission denied (the device belongs to the group dialout)"
    std::string cause() const;
};

// --- Line settings -----------------------------------------------------------------------------

enum LineControl : std::uint8_t { kLineDisable = 0, kLineEnable = 1, kLineHandshake = 2 };
enum Parity : std::uint8_t {
    kParityNone = 0,
    kParityOdd = 1,
    kParityEven = 2,
    kParityMark = 3,
    kParitySpace = 4
};
enum StopBits : std::uint8_t { kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2 };

// The device control block: line format, handshakes and special characters.
struct ControlBlock {
    std::uint32_t baudRate = 9600;
    bool binary = true;
    bool parityCheck = false;
    bool outxCtsFlow = false;  // hold output while CTS is off
    bool outxDsrFlow = false;  // hold output while DSR is off
    std::uint8_t dtrControl = kLineEnable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;  // XON/XOFF output flow control (obey XOFF received)
    bool inX = false;   // XON/XOFF input flow control (send XOFF when the queue fills)
    bool errorCharEnabled = false;
    bool nullStrip = false;
    std::uint8_t rtsControl = kLineEnable;
    bool abortOnError = false;
    std::uint16_t xonLim = 2048;
    std::uint16_t xoffLim = 512;
    std::uint8_t byteSize = 8;
    std::uint8_t parity = kParityNone;
    std::uint8_t stopBits = kOneStopBit;
    std::uint8_t xonChar = 0x11;
    std::uint8_t xoffChar = 0x13;
    std::uint8_t errorChar = 0;
    std::uint8_t eofChar = 0;
    std::uint8_t evtChar = 0;
};

// Driver time-outs in milliseconds. All zero: a read finishes when its full count has arrived.
// readInterval kNoWait with zero totals: a read finishes at once with what is queued.
struct Timeouts {
    static constexpr std::uint32_t kNoWait = 0xFFFFFFFF;
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// Line errors, as clearError reports them.
enum ErrorFlags : std::uint32_t {
    kRxOverflow = 0x01,  // receive queue full, bytes dropped
    kOverrun = 0x02,     // the hardware lost characters
    kParityError = 0x04,
    kFramingError = 0x08,
    kBreakDetected = 0x10,
};

struct QueueStatus {
    std::uint32_t inQueue = 0;   // bytes waiting in the receive queue
    std::uint32_t outQueue = 0;  // bytes not yet sent
};

// Modem status bits.
enum ModemBits : std::uint32_t { kCtsOn = 0x10, kDsrOn = 0x20, kRingOn = 0x40, kCdOn = 0x80 };

// Device events (the event mask and the mask a wait reports).
enum EventBits : std::uint32_t {
    kEvRxChar = 0x001,
    kEvRxFlag = 0x002,  // the event character arrived
    kEvTxEmpty = 0x004,
    kEvCts = 0x008,
    kEvDsr = 0x010,
    kEvCd = 0x020,
    kEvBreak = 0x040,
    kEvError = 0x080,  // parity, framing or overrun error
    kEvRing = 0x100,
    kEvAll = 0x1FF,
};

enum class Escape { setXoff, setXon, setRts, clrRts, setDtr, clrDtr, setBreak, clrBreak };

enum PurgeFlags : std::uint32_t {
    kPurgeTxAbort = 1,
    kPurgeRxAbort = 2,
    kPurgeTxClear = 4,
    kPurgeRxClear = 8
};

// --- Asynchronous requests -------------------------------------------------------------------

// One asynchronous read, write or event wait. Reusable once finished.
class Request {
public:
    Request();

    // Set when the request finishes (reset when it starts).
    const Event& event() const;
    // The outcome: ok (with the bytes moved, or for an event wait the events that occurred in
    // `*events`), incomplete while it runs and `wait` is false, or the failure.
    Code result(std::uint32_t* transferred, bool wait, std::uint32_t* events = nullptr) const;

    struct State;
    const std::shared_ptr<State>& state() const { return state_; }

private:
    std::shared_ptr<State> state_;
};

// --- The device ---------------------------------------------------------------------------------

class Device {
public:
    virtual ~Device() = default;  // closes the device; unfinished requests end cancelled

    // A number that identifies the open device (the descriptor for a termios device).
    virtual int handle() const = 0;

    virtual Code setTimeouts(const Timeouts& t) = 0;
    virtual Code getState(ControlBlock* out) = 0;
    // Applies the block; fails (and changes nothing it can avoid) when the device refuses a value.
    virtual Code setState(const ControlBlock& block) = 0;
    virtual Code setQueueSizes(std::uint32_t in, std::uint32_t out) = 0;
    virtual Code escape(Escape what) = 0;
    // Reads and clears the error flags; the queue counts when `status` is given.
    virtual Code clearError(std::uint32_t* errors, QueueStatus* status) = 0;
    virtual Code modemStatus(std::uint32_t* bits) = 0;
    virtual Code purge(std::uint32_t flags) = 0;
    // A new mask finishes a pending event wait with no events.
    virtual Code setEventMask(std::uint32_t mask) = 0;
    // Waits for one of the masked events: ok when some already occurred, else pending.
    virtual Code waitEvent(Request& request) = 0;
    virtual Code read(Request& request, void* buffer, std::uint32_t count) = 0;
    virtual Code write(Request& request, const void* buffer, std::uint32_t count) = 0;
    // Cancels the unfinished reads and writes that the calling thread started.
    virtual Code cancelIo() = 0;
    // Cancels one unfinished read or write (ok also when it had finished already).
    virtual Code cancel(Request& request) = 0;
};

// Opens a device for exclusive use by its path: a device path, a remote port's address, or the
// name of an in-memory pair end (nullmodem.h). On failure `why` says why: notFound, busy, accessDenied or
// another code, with the system's errno.
std::unique_ptr<Device> openDevice(const std::string& path, Failure* why = nullptr);
// Opens what a port name resolved to (names.h).
std::unique_ptr<Device> openDevice(const PortTarget& target, Failure* why = nullptr);

}  // namespace serial

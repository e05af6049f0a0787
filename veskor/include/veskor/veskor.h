// VeskorMod: the serial-port control `Veskor`.
//
// This header is what a host sees of the component, and its manual. One `Veskor` object owns at
// most one serial port. Its properties hold the line settings and the modem-line, flow-control
// and event-character choices: while the port is closed they are only stored and `Open` applies
// them all at once; while it is open a put is applied to the device at once and a get re-reads
// the device's current value first ("refresh").
//
// Creating one: through the component runtime by ProgID ("VeskorMod.Veskor") or class
// identifier, or, in-process, with the module's class factory. The object lives in the
// single-threaded apartment of the thread that created it: call every member on that thread.
//
// Results: every member returns a result code, S_OK on success, else one of the codes below (or
// E_POINTER for a null out-pointer). A failing member sets the calling thread's error
// information (com/errorinfo.h): description = the code's message, source = kProgIdVersioned,
// interface = IID_IVeskor. Out-values are written only on success. Nothing throws.
//
// Texts: UTF-16 on the interface, one byte per character on the line (ISO 8859-1), so every
// byte value survives. Time limits are in milliseconds. Optional arguments are com::Variant
// passed by value; com::Variant::missing() (or VT_EMPTY) means "left out", which counts as 0.
// An optional out-argument is a by-reference Variant (com::Variant::byRef(target)); the
// member stores a VT_I4 into the target.
//
// Events (_IVeskorEvents, below): while a port is open a monitor thread waits for the device's
// events and calls every connected sink's IDispatch::Invoke(dispid, IID_NULL, 1024,
// DISPATCH_METHOD, args in reverse order). The sink is reached through the global interface
// table, so the call runs on the host's thread when it serves its apartment
// (com::serveApartment); the monitor thread waits until the handler returns. Connect a sink
// with IConnectionPointContainer::FindConnectionPoint(IID__IVeskorEvents) and Advise; the sink
// must answer QueryInterface for IID__IVeskorEvents.
#pragma once

#include <com/base.h>
#include <com/interfaces.h>
#include <com/variant.h>
#include <veskor/members.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace veskor {

using com::HRESULT;

// --- Identifiers (fixed for good: hosts store the class identifier) ----------------------------

inline constexpr com::CLSID CLSID_Veskor{
    0x3b593d89, 0xf35e, 0x4222, {0xaf, 0xb3, 0x3c, 0x95, 0x7f, 0x46, 0x20, 0xfb}};
inline constexpr com::IID IID_IVeskor{
    0xf37cd594, 0x2d3f, 0x4fa0, {0xa2, 0x68, 0xa1, 0x33, 0x68, 0x06, 0x35, 0x2e}};
inline constexpr com::IID IID__IVeskorEvents{
    0xca6c1985, 0x5612, 0x49b0, {0x8b, 0x50, 0x9f, 0xe1, 0xe3, 0xff, 0x57, 0x85}};
inline constexpr com::GUID LIBID_VESKORMODLib{
    0x7066d842, 0xf691, 0x4959, {0x80, 0x14, 0xcf, 0x10, 0xa9, 0x35, 0x80, 0x77}};

inline constexpr char16_t kProgIdVersioned[] = u"VeskorMod.Veskor.1";
inline constexpr char16_t kProgId[] = u"VeskorMod.Veskor";

// --- Result codes ---------------------------------------------------------------------------

inline constexpr HRESULT VESKOR_E_PORTCLOSED = com::hresult(0x80040200);
inline constexpr HRESULT VESKOR_E_GETSTATE = com::hresult(0x80040201);
inline constexpr HRESULT VESKOR_E_SETSTATE = com::hresult(0x80040202);
inline constexpr HRESULT VESKOR_E_STOPBITS = com::hresult(0x80040203);
inline constexpr HRESULT VESKOR_E_ALREADYOPEN = com::hresult(0x80040204);
inline constexpr HRESULT VESKOR_E_OPEN = com::hresult(0x80040205);
inline constexpr HRESULT VESKOR_E_WRITE = com::hresult(0x80040206);
inline constexpr HRESULT VESKOR_E_READ = com::hresult(0x80040207);
inline constexpr HRESULT VESKOR_E_MODEM = com::hresult(0x80040208);
inline constexpr HRESULT VESKOR_E_DTRHANDSHAKE = com::hresult(0x8004020A);
inline constexpr HRESULT VESKOR_E_RTSHANDSHAKE = com::hresult(0x8004020C);
inline constexpr HRESULT VESKOR_E_ESCAPE = com::hresult(0x8004020D);
inline constexpr HRESULT VESKOR_E_BREAK = com::hresult(0x8004020E);
inline constexpr HRESULT VESKOR_E_STATUS = com::hresult(0x8004020F);
inline constexpr HRESULT VESKOR_E_PURGE = com::hresult(0x80040210);
inline constexpr HRESULT VESKOR_E_CANCEL = com::hresult(0x80040213);
inline constexpr HRESULT VESKOR_E_TIMEOUTS = com::hresult(0x80040214);
inline constexpr HRESULT VESKOR_E_MUTEX = com::hresult(0x80040215);
inline constexpr HRESULT VESKOR_E_WRITELIMIT = com::hresult(0x80040216);

// The message of each code the component returns (the error description it sets); nullptr for
// a code it never returns.
constexpr const char* resultMessage(HRESULT hr) {
    switch (static_cast<std::uint32_t>(hr)) {
        case 0x80040200:
            return "Port is closed.";
        case 0x80040201:
            return "GetCommState() call failed.";
        case 0x80040202:
            return "SetCommState() call failed.";
        case 0x80040203:
            return "Invalid stop bits / data bits combination.";
        case 0x80040204:
            return "Port is already open.";
        case 0x80040205:
            return "Could not open port.  This may be because the port does not exist or is already in use.";
        case 0x80040206:
            return "An error occurred while trying to place data in output queue.";
        case 0x80040207:
            return "An error occurred while trying to read data from the receive queue.";
        case 0x80040208:
            return "GetCommModem() call failed.";
        case 0x8004020A:
            return "Unable to set Dtr value while Dtr/Dsr handshaking is enabled.";
        case 0x8004020C:
            return "Unable to set Rts value while Rts/Cts handshaking is enabled.";
        case 0x8004020D:
            return "EscapeCommFunction() call failed.";
        case 0x8004020E:
            return "(Set/Clear)CommBreak() call failed.";
        case 0x8004020F:
            return "ClearCommError() call failed.";
        case 0x80040210:
            return "PurgeComm() call failed.";
        case 0x80040213:
            return "An error occurred while trying to cancel the operation.  Timeouts are not supported by "
                   "Windows 98/ME.  Your system may become unstable.";
        case 0x80040214:
            return "SetCommTimeouts() call failed.";
        case 0x80040215:
            return "An error occurred while trying to create/release the pending operations mutex.";
        case 0x80040216:
            return "Maximum outstanding write operations limit has been reached.  Last write operation "
                   "ignored.";
        case 0x80070057:
            return "An invalid argument was supplied.";
        case 0x8000FFFF:
            return "An unexpected error occurred.";
        default:
            return nullptr;
    }
}

// --- Dispatch identifiers of IVeskor --------------------------------------------------------
//
// DISPID_BaudRate = 1 ... DISPID_IsOpen = 33, from the member rows in veskor/members.h, which
// also give each member's kind and argument types.

enum VeskorDispid : com::DISPID {
#define VESKOR_DISPID(Name, dispid, ...) DISPID_##Name = dispid,
#define VESKOR_NONE(...)
    VESKOR_MEMBERS(VESKOR_DISPID, VESKOR_DISPID, VESKOR_DISPID, VESKOR_NONE, VESKOR_NONE, VESKOR_NONE,
                   VESKOR_NONE)
#undef VESKOR_DISPID
#undef VESKOR_NONE
};

// --- _IVeskorEvents: the outgoing dispatch interface ----------------------------------------
//
// Each event is an Invoke with DISPATCH_METHOD on the host's thread; the sink's result is
// ignored. Several events of one device notification arrive in this order: BreakSignal,
// CtsToggle, DsrToggle, Error, Ring, CdToggle, DataReceived, EvtCharReceived, TQEmpty.

enum VeskorEventDispid : com::DISPID {
    DISPID_DataReceived = 1,     // no arguments: a character was received
    DISPID_CtsToggle = 2,        // NewVal VT_I2: 16 when CTS is now on, 0 when off
    DISPID_DsrToggle = 3,        // NewVal VT_I2: 32 on, 0 off
    DISPID_CdToggle = 4,         // NewVal VT_I2: 128 on, 0 off (receive-line-signal-detect)
    DISPID_Error = 5,            // no arguments: a framing, overrun or parity error occurred
    DISPID_RingEvent = 6,        // `Ring` event, no arguments: the ring indicator was detected
    DISPID_BreakSignal = 7,      // no arguments: a break was received (the Break property reads 1)
    DISPID_TQEmpty = 8,          // no arguments: the last byte of the transmit queue was sent
    DISPID_EvtCharReceived = 9,  // ReadBuffer VT_BSTR, NumBytesRead VT_I4 (args[0] = NumBytesRead)
};
// EvtCharReceived is raised only while FireOnEventChar is nonzero. With EnableReadOnEventChar
// zero it carries an empty text and 0 and the data stays queued for Read. With it nonzero the
// monitor thread takes from the receive queue everything up to and including the first event
// character and passes it: ReadBuffer is cut at a NUL byte, NumBytesRead counts every byte. When
// the queue runs dry before an event character (the host read the bytes first) it passes what
// it collected, possibly nothing, and never waits for more.

// --- IVeskor: the dual interface ------------------------------------------------------------
//
// Members in interface order. Property gets take an out-pointer, puts a value. The codes each
// member can return are listed with it (besides E_POINTER for a null out-pointer).

class IVeskor : public com::IDispatch {
public:
    // BaudRate: one of 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 56000,
    // 57600, 115200, 128000, 256000. New object: 9600. Put: other values E_INVALIDARG.
    // Open: refresh / apply may fail with VESKOR_E_GETSTATE or VESKOR_E_SETSTATE.
    virtual HRESULT get_BaudRate(std::int32_t* value) = 0;
    virtual HRESULT put_BaudRate(std::int32_t value) = 0;
    // DataBits: 5 to 8 (else E_INVALIDARG), new object 8. While open, 5 with two stop bits or
    // 6..8 with one and a half stop bits is VESKOR_E_STOPBITS (while closed `Open` checks it).
    virtual HRESULT get_DataBits(std::int16_t* value) = 0;
    virtual HRESULT put_DataBits(std::int16_t value) = 0;
    // Parity: 0 none, 1 odd, 2 even, 3 mark, 4 space (else E_INVALIDARG). New object 0.
    virtual HRESULT get_Parity(std::int16_t* value) = 0;
    virtual HRESULT put_Parity(std::int16_t value) = 0;
    // StopBits: 1 (one), 15 (one and a half), 2 (two); other values E_INVALIDARG. New object 1.
    // While open the same combination rule as DataBits applies (VESKOR_E_STOPBITS).
    virtual HRESULT get_StopBits(std::int16_t* value) = 0;
    virtual HRESULT put_StopBits(std::int16_t value) = 0;
    // PortName: while open "\\.\" followed by the name given to Open (e.g. "\\.\COM3");
    // while closed VESKOR_E_PORTCLOSED.
    virtual HRESULT get_PortName(std::u16string* value) = 0;
    // Modem inputs, while open: Cd 128 or 0, Cts 16 or 0, Dsr 32 or 0; VESKOR_E_MODEM when the
    // device has no modem lines (a pseudo-terminal). While closed: 0.
    virtual HRESULT get_Cd(std::int32_t* value) = 0;
    virtual HRESULT get_Cts(std::int32_t* value) = 0;
    virtual HRESULT get_Dsr(std::int32_t* value) = 0;
    // Dtr: the wanted DTR state, stored as given; while open 1 raises DTR, anything else lowers
    // it (VESKOR_E_ESCAPE on failure). Refused with VESKOR_E_DTRHANDSHAKE while DtrDsr is nonzero.
    virtual HRESULT get_Dtr(std::int32_t* value) = 0;
    virtual HRESULT put_Dtr(std::int32_t value) = 0;
    // DtrDsr: nonzero = DTR/DSR handshake. Get (open) reads 1 when the device's DTR control is
    // handshake. Put (open) switches DTR control to handshake, or back to the Dtr value.
    virtual HRESULT get_DtrDsr(std::int32_t* value) = 0;
    virtual HRESULT put_DtrDsr(std::int32_t value) = 0;
    // RtsCts: as DtrDsr, for RTS control and CTS output flow control.
    virtual HRESULT get_RtsCts(std::int32_t* value) = 0;
    virtual HRESULT put_RtsCts(std::int32_t value) = 0;
    // Rts: as Dtr; refused with VESKOR_E_RTSHANDSHAKE while RtsCts is 1.
    virtual HRESULT get_Rts(std::int32_t* value) = 0;
    virtual HRESULT put_Rts(std::int32_t value) = 0;
    // XonXoff: low bit = XON/XOFF flow control in both directions (XON 0x11, XOFF 0x13).
    virtual HRESULT get_XonXoff(std::int32_t* value) = 0;
    virtual HRESULT put_XonXoff(std::int32_t value) = 0;
    // PortHandle: the device's handle as an integer while open; VESKOR_E_PORTCLOSED while closed.
    virtual HRESULT get_PortHandle(std::int32_t* value) = 0;
    // Break: get (open) reads and clears the device's error flags and reads 1 when a break was
    // received since the last status query; when the status cannot be read (the device went
    // away) it reads the stored value, so that the host's next Write reports the lost device
    // (VESKOR_E_WRITE). Put: nonzero sets the line into the break state, zero clears it;
    // VESKOR_E_PORTCLOSED while closed, VESKOR_E_BREAK on failure.
    virtual HRESULT get_Break(std::int32_t* value) = 0;
    virtual HRESULT put_Break(std::int32_t value) = 0;
    // Bytes waiting in the receive / transmit queue (0 while closed). Also clears the error
    // flags. VESKOR_E_STATUS when the device's status cannot be read (after a hang-up).
    virtual HRESULT get_BytesUsedRQ(std::int32_t* value) = 0;
    virtual HRESULT get_BytesUsedTQ(std::int32_t* value) = 0;
    // Ring: 1 while the ring indicator is on, else 0 (0 while closed; VESKOR_E_MODEM as Cd).
    virtual HRESULT get_Ring(std::int32_t* value) = 0;
    // EventChar: a one-character text (empty for NUL); put takes the first character of the text
    // (empty gives NUL). New object: line feed.
    virtual HRESULT get_EventChar(std::u16string* value) = 0;
    virtual HRESULT put_EventChar(const std::u16string& value) = 0;
    // FireOnEventChar (new object 1) and EnableReadOnEventChar (new object 0): see the
    // EvtCharReceived event. Stored as given.
    virtual HRESULT get_FireOnEventChar(std::int32_t* value) = 0;
    virtual HRESULT put_FireOnEventChar(std::int32_t value) = 0;
    virtual HRESULT get_EnableReadOnEventChar(std::int32_t* value) = 0;
    virtual HRESULT put_EnableReadOnEventChar(std::int32_t value) = 0;

    // Open(PortName, Settings): opens the port exclusively, applies every stored setting and
    // starts the monitor thread. PortName "COMn" ("COM" in any case) is looked up as a link COMn
    // in the folder named by VESKOR_PORT_DIR, else COM1-32 = /dev/ttyS0-31, COM33-64 =
    // /dev/ttyUSB0-31, COM65-96 = /dev/ttyACM0-31; a name that starts with "/" is a device path.
    // At most 1019 characters (longer: E_INVALIDARG).
    // Settings "baud,parity,data,stop" such as "115200,n,8,1": exactly four comma-separated
    // fields, spaces around them ignored; otherwise the string is ignored whole. Each field that
    // is not acceptable keeps the stored value (parity letters n o e m s in either case, stop
    // bits "1", "1.5", "2"). The resolved values are stored once the port is configured.
    // Codes: VESKOR_E_ALREADYOPEN, VESKOR_E_STOPBITS (nothing opened), VESKOR_E_OPEN (no such
    // device, not permitted, or held by someone else: the description adds the cause after the
    // message, as in "  /dev/ttyUSB0: permission denied (the device belongs to the group
    // dialout)."), VESKOR_E_TIMEOUTS, VESKOR_E_GETSTATE, VESKOR_E_SETSTATE (also a format the
    // device cannot carry), VESKOR_E_MUTEX, E_UNEXPECTED (also: no memory, or no thread for the
    // device or the monitor). After any failure the port is closed and free for the next Open.
    virtual HRESULT Open(const std::u16string& portName, com::Variant settings) = 0;
    // Close(): stops the monitor thread (abandoning an event call that waits for this thread)
    // and closes the port; returns within about one second. Always S_OK, also when closed.
    virtual HRESULT Close() = 0;

    // Write(WriteBuffer, NumBytesToWrite, Timeout, result = bytes written).
    // NumBytesToWrite 0 or left out sends the whole text, else that many bytes from its start
    // (cut to the text's length). Timeout: negative waits until sent; 0 or left out returns at
    // once (the count is the whole length when the device took all at once, else 0, and the
    // write finishes in the background); positive waits that long, then cancels what is unsent
    // and reports the bytes sent. At most 1000 background writes may be unfinished.
    // Codes: VESKOR_E_PORTCLOSED, E_INVALIDARG (negative count), VESKOR_E_WRITELIMIT (nothing
    // sent), VESKOR_E_WRITE, VESKOR_E_CANCEL, VESKOR_E_MUTEX, E_UNEXPECTED.
    virtual HRESULT Write(const std::u16string& writeBuffer, com::Variant numBytesToWrite,
                          com::Variant timeout, std::int32_t* bytesWritten) = 0;
    // Read(NumBytesToRead, Timeout, pNumBytesRead, result = the text read).
    // NumBytesToRead 0 or left out takes every byte waiting now (never waits). A count with
    // Timeout 0 waits until that many bytes came; with a positive Timeout waits at most that long
    // and returns what arrived. pNumBytesRead, when given by reference, receives the byte count.
    // Memory is taken as the bytes come: a count far beyond what arrives costs nothing.
    // Codes: VESKOR_E_PORTCLOSED, E_INVALIDARG (negative count or time-out), VESKOR_E_READ,
    // VESKOR_E_CANCEL, E_UNEXPECTED (the device failed, for instance after a hang-up, or no
    // memory).
    virtual HRESULT Read(com::Variant numBytesToRead, com::Variant timeout, com::Variant numBytesRead,
                         std::u16string* text) = 0;
    // Discard the receive / transmit queue (ClearTQ also aborts unfinished writes).
    // VESKOR_E_PORTCLOSED, VESKOR_E_PURGE.
    virtual HRESULT ClearRQ() = 0;
    virtual HRESULT ClearTQ() = 0;
    // Line errors since the last status query, each 1 or 0, then cleared (reported once).
    // VESKOR_E_PORTCLOSED, VESKOR_E_STATUS.
    virtual HRESULT GetErrorStatus(std::int32_t* parityError, std::int32_t* framingError,
                                   std::int32_t* overrunError) = 0;
    // Resume / suspend our transmitter as if XON / XOFF had been received; sends nothing.
    // VESKOR_E_PORTCLOSED, VESKOR_E_ESCAPE.
    virtual HRESULT SendXon() = 0;
    virtual HRESULT SendXoff() = 0;
    // WriteBinary(address, NumBytesToWrite, Timeout): Write of NumBytesToWrite bytes at a
    // pointer-sized address in this process (0 bytes: nothing sent, count 0).
    virtual HRESULT WriteBinary(std::int64_t writeBuffer, com::Variant numBytesToWrite, com::Variant timeout,
                                std::int32_t* bytesWritten) = 0;
    // ReadBinary: Read, returning the bytes in a new block allocated with com::taskMemAlloc; the
    // caller owns it and frees it with com::taskMemFree. The address is 0 for no bytes.
    virtual HRESULT ReadBinary(com::Variant numBytesToRead, com::Variant timeout, com::Variant numBytesRead,
                               std::int64_t* block) = 0;
    // IsOpen: 1 while a port is open, else 0.
    virtual HRESULT get_IsOpen(std::int32_t* value) = 0;

protected:
    ~IVeskor() = default;
};

}  // namespace veskor

// For objects written with com/object.h: IVeskor extends IDispatch.
template <>
struct com::InterfaceTraits<veskor::IVeskor> : com::InterfaceInfo<veskor::IID_IVeskor, com::IDispatch> {};

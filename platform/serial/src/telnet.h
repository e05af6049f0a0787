// Telnet framing of a connection that carries a serial line: data with IAC doubled, option
// negotiation, and the subnegotiations of the com-port control option (RFC 2217) by which a
// client sets the far port's line and hears of its line and modem state.
//
// The parser keeps its state between calls, so a command split across two reads is taken
// whole. It never stores data: data runs are handed on as they are found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace serial::telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

// Options.
inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

// Com-port commands as the client sends them; the server answers with the same code + 100.
enum ComPortCommand : std::uint8_t {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowSuspend = 8,
    kFlowResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};
inline constexpr std::uint8_t kServerOffset = 100;

// SET-CONTROL values.
enum Control : std::uint8_t {
    kFlowQuery = 0,
    kFlowNone = 1,
    kFlowXonXoff = 2,
    kFlowHardware = 3,
    kBreakQuery = 4,
    kBreakOn = 5,
    kBreakOff = 6,
    kDtrQuery = 7,
    kDtrOn = 8,
    kDtrOff = 9,
    kRtsQuery = 10,
    kRtsOn = 11,
    kRtsOff = 12,
    kInFlowQuery = 13,
    kInFlowNone = 14,
    kInFlowXonXoff = 15,
    kInFlowHardware = 16,
};

// What the parser finds, in the order it finds it.
class Sink {
public:
    virtual ~Sink() = default;
    // Data bytes, IAC IAC already made one 0xFF.
    virtual void data(const std::uint8_t* p, std::size_t n) = 0;
    // WILL, WONT, DO or DONT and its option.
    virtual void option(std::uint8_t verb, std::uint8_t option) = 0;
    // The body of IAC SB ... IAC SE (the option first), unescaped.
    virtual void subnegotiation(const std::uint8_t* body, std::size_t n) = 0;
};

class Parser {
public:
    // A longer subnegotiation is not one this side uses: it is skipped whole.
    static constexpr std::size_t kMaxBody = 64;

    void feed(const std::uint8_t* p, std::size_t n, Sink& sink);

private:
    enum class State { data, command, verb, body, bodyCommand };
    State state_ = State::data;
    std::uint8_t verb_ = 0;
    std::uint8_t body_[kMaxBody] = {};
    std::size_t bodyLength_ = 0;
    bool bodyTooLong_ = false;
};

// A com-port message from the server: the answer to a command, or a notification.
struct ServerMessage {
    ComPortCommand command;  // what it answers or notifies (the server's code - 100)
    std::uint32_t value;     // the baud rate, or the one value byte; 0 when there is none
};
// The message in a subnegotiation's body; nullopt when the body is no com-port message from a
// server or its value does not have the length its command needs.
std::optional<ServerMessage> serverMessage(const std::uint8_t* body, std::size_t n);

// Appends `n` data bytes to `out`, IAC doubled.
void appendData(const std::uint8_t* p, std::size_t n, std::string& out);
// IAC verb option.
std::string command(std::uint8_t verb, std::uint8_t option);
// IAC SB COM-PORT-OPTION code value IAC SE, the value escaped.
std::string comPort(std::uint8_t code, const std::uint8_t* value, std::size_t n);

}  // namespace serial::telnet

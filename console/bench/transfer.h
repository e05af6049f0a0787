// A bench request as bus operations: the bus scan and register access are each a list of
// start, write, read and stop operations, sent as script frames compiled by the console's
// compiler and read back from the items of the replies.
//
// A Transfer knows nothing of ports or time: it gives its frames one by one and takes the
// reply that answers each (TransferRun drives it over a port, with a time-out). Everything
// runs on the window's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/responses/decoder.h"

namespace sarnel::bench {

// The reply code that answers a script frame.
inline constexpr std::string_view kScriptReplyCode = "10";
// The token bytes one script frame carries.
inline constexpr int kFrameTokenBytes = 124;

// One bus operation of a request.
struct BusOp {
    enum class Kind : std::uint8_t { Start, Write, ReadAck, ReadNack, Stop };
    Kind kind = Kind::Start;
    std::uint8_t byte = 0;  // Write: the byte written
    int tag = 0;            // the request's own mark, e.g. the address a write probes
    // A frame may end before this operation. The bus stays as it is between frames (no stop
    // is added), so a transfer can run on over several frames.
    bool breakBefore = true;
};

// The script words of an operation: "Start", "Write 0x90", "Read Ack", "Read Nack", "Stop".
std::string scriptwords(const BusOp& op);
// The token bytes of an operation in a script frame: 2 for a write, else 1.
int tokenbytes(const BusOp& op);
// The byte of a write or read item (its two hexadecimal digits), nullopt when they are not.
std::optional<std::uint8_t> itembyte(const ResultItem& item);
// A write or read item's acknowledge: true ("a"), false ("n"), nullopt when it has none.
std::optional<bool> acknowledgement(const ResultItem& item);

class Transfer {
public:
    virtual ~Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // The request's operations as one script: a line for each start, and at most eight
    // operations to a line. It compiles to one frame only when they fit one (a register read
    // of a few bytes, e.g. for the command queue).
    std::string script() const;
    // The frames the request is sent as, in order (each ending in CR).
    const std::vector<std::string>& frames() const { return frames_; }

    // --- Stepping -----------------------------------------------------------------------
    // The next frame to send, or "" when there is none (finished). After a failure in the
    // middle of a transfer that a later frame would have ended, one frame "Stop" releases the
    // bus; its reply is not looked at.
    std::string nextframe();
    // The reply text (without "!" and CR, code "10") that answers the frame given last.
    void answer(std::string_view reply);
    bool finished() const { return state_ == State::Done; }
    // The reason it failed, or "" (also while it runs).
    const std::string& error() const { return error_; }

protected:
    Transfer() = default;
    // Splits `ops` into frames (at most kFrameTokenBytes each, ending only where an operation
    // allows a break before it) and compiles them. Called once by the request's constructor.
    void build(std::vector<BusOp> ops);
    // The reply item that answers `op` (of the kind that belongs to it).
    virtual void result(const BusOp& op, const ResultItem& item) = 0;
    // Ends the request with `message`; the rest of its frames are not sent.
    void fail(std::string message);

private:
    enum class State { Ready, Waiting, Releasing, Done };

    std::vector<BusOp> ops_;
    std::vector<std::string> frames_;
    std::vector<std::size_t> firstOp_;  // frame i carries ops_[firstOp_[i] .. firstOp_[i + 1])
    std::size_t next_ = 0;              // the frame to send next
    State state_ = State::Ready;
    std::string error_;
};

}  // namespace sarnel::bench

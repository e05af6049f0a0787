#include "telnet.h"

namespace serial::telnet {

void Parser::feed(const std::uint8_t* p, std::size_t n, Sink& sink) {
    std::size_t run = 0;  // where the current run of data began
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        switch (state_) {
            case State::data:
                if (b == kIac) {
                    if (i > run) sink.data(p + run, i - run);
                    state_ = State::command;
                }
                continue;
            case State::command:
                if (b == kIac) {
                    sink.data(p + i, 1);
                    state_ = State::data;
                } else if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    state_ = State::verb;
                } else if (b == kSb) {
                    bodyLength_ = 0;
                    bodyTooLong_ = false;
                    state_ = State::body;
                } else {
                    state_ = State::data;  // NOP, GA, DM and the like carry nothing for us
                }
                break;
            case State::verb:
                sink.option(verb_, b);
                state_ = State::data;
                break;
            case State::body:
                if (b == kIac) {
                    state_ = State::bodyCommand;
                } else if (bodyLength_ < kMaxBody) {
                    body_[bodyLength_++] = b;
                } else {
                    bodyTooLong_ = true;
                }
                break;
            case State::bodyCommand:
                if (b == kIac) {
                    if (bodyLength_ < kMaxBody)
                        body_[bodyLength_++] = b;
                    else
                        bodyTooLong_ = true;
                    state_ = State::body;
                } else if (b == kSe) {
                    if (!bodyTooLong_ && bodyLength_ > 0) sink.subnegotiation(body_, bodyLength_);
                    state_ = State::data;
                } else {
                    // A command inside a subnegotiation: the sender broke it off. What was
                    // collected is dropped and the command counts as it stands.
                    state_ = State::command;
                    --i;
                    continue;
                }
                break;
        }
        if (state_ == State::data) run = i + 1;
    }
    if (state_ == State::data && n > run) sink.data(p + run, n - run);
}

std::optional<ServerMessage> serverMessage(const std::uint8_t* body, std::size_t n) {
    if (n < 2 || body[0] != kComPort || body[1] <= kServerOffset || body[1] > kServerOffset + kPurgeData)
        return std::nullopt;
    const auto command = static_cast<ComPortCommand>(body[1] - kServerOffset);
    const std::uint8_t* v = body + 2;
    const std::size_t length = n - 2;
    switch (command) {
        case kSetBaudRate:
            if (length != 4) return std::nullopt;
            return ServerMessage{command, (std::uint32_t{v[0]} << 24) | (std::uint32_t{v[1]} << 16) |
                                              (std::uint32_t{v[2]} << 8) | v[3]};
        case kFlowSuspend:
        case kFlowResume:
            return ServerMessage{command, 0};
        default:
            if (length != 1) return std::nullopt;
            return ServerMessage{command, v[0]};
    }
}

void appendData(const std::uint8_t* p, std::size_t n, std::string& out) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != kIac) continue;
        out.append(reinterpret_cast<const char*>(p + run), i + 1 - run);
        out.push_back(static_cast<char>(kIac));
        run = i + 1;
    }
    out.append(reinterpret_cast<const char*>(p + run), n - run);
}

std::string command(std::uint8_t verb, std::uint8_t option) {
    return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string comPort(std::uint8_t code, const std::uint8_t* value, std::size_t n) {
    std::string out = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                       static_cast<char>(code)};
    appendData(value, n, out);
    out.push_back(static_cast<char>(kIac));
    out.push_back(static_cast<char>(kSe));
    return out;
}

}  // namespace serial::telnet

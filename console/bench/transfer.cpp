#include "console/bench/transfer.h"

#include <cstdio>
#include <stdexcept>

#include "console/command/compiler.h"

namespace sarnel::bench {

namespace {

constexpr int kWordsPerLine = 8;

bool answers(BusOp::Kind kind, ItemKind item) {
    switch (kind) {
        case BusOp::Kind::Start:
            return item == ItemKind::Start;
        case BusOp::Kind::Write:
            return item == ItemKind::Write;
        case BusOp::Kind::ReadAck:
        case BusOp::Kind::ReadNack:
            return item == ItemKind::Read;
        case BusOp::Kind::Stop:
            return item == ItemKind::Stop;
    }
    return false;
}

// The lines of a script for `ops`.
std::string lines(const std::vector<BusOp>& ops, std::size_t from, std::size_t to) {
    std::string text;
    int words = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (words > 0 && (ops[i].kind == BusOp::Kind::Start || words == kWordsPerLine)) {
            text += "\r\n";
            words = 0;
        }
        if (words > 0) text += ' ';
        text += scriptwords(ops[i]);
        ++words;
    }
    return text;
}

std::string compiled(std::string script) {
    const CompileResult r = compilescript(script);
    // The scripts are made here from known words within the frame's limit.
    if (r.frame.empty()) throw std::logic_error("a bench script did not compile: " + r.error);
    return r.frame;
}

}  // namespace

std::string scriptwords(const BusOp& op) {
    switch (op.kind) {
        case BusOp::Kind::Start:
            return "Start";
        case BusOp::Kind::Write: {
            char text[16];
            std::snprintf(text, sizeof text, "Write 0x%02X", op.byte);
            return text;
        }
        case BusOp::Kind::ReadAck:
            return "Read Ack";
        case BusOp::Kind::ReadNack:
            return "Read Nack";
        case BusOp::Kind::Stop:
            return "Stop";
    }
    return {};
}

std::optional<std::uint8_t> itembyte(const ResultItem& item) {
    if (item.pair.size() != 2) return std::nullopt;
    unsigned v = 0;
    for (char c : item.pair) {
        unsigned d = 16;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        if (d == 16) return std::nullopt;
        v = v * 16 + d;
    }
    return static_cast<std::uint8_t>(v);
}

std::optional<bool> acknowledgement(const ResultItem& item) {
    if (item.ack == 'a' || item.ack == 'A') return true;
    if (item.ack == 'n' || item.ack == 'N') return false;
    return std::nullopt;
}

int tokenbytes(const BusOp& op) {
    return op.kind == BusOp::Kind::Write ? 2 : 1;
}

std::string Transfer::script() const {
    return lines(ops_, 0, ops_.size());
}

void Transfer::build(std::vector<BusOp> ops) {
    ops_ = std::move(ops);
    frames_.clear();
    firstOp_.clear();
    std::size_t first = 0;
    while (first < ops_.size()) {
        // The longest run of operations from `first` that fits and ends at a break.
        int bytes = 0;
        std::size_t fits = first;
        for (std::size_t i = first; i < ops_.size(); ++i) {
            bytes += tokenbytes(ops_[i]);
            if (bytes > kFrameTokenBytes) break;
            if (i + 1 == ops_.size() || ops_[i + 1].breakBefore) fits = i + 1;
        }
        if (fits == first) throw std::logic_error("a bench request has a part longer than a frame");
        firstOp_.push_back(first);
        frames_.push_back(compiled(lines(ops_, first, fits)));
        first = fits;
    }
    firstOp_.push_back(ops_.size());
    next_ = 0;
    state_ = frames_.empty() ? State::Done : State::Ready;
    error_.clear();
}

std::string Transfer::nextframe() {
    switch (state_) {
        case State::Ready:
            state_ = State::Waiting;
            return frames_[next_++];
        case State::Releasing:
            state_ = State::Done;
            return compiled("Stop");
        case State::Waiting:
        case State::Done:
            break;
    }
    return {};
}

void Transfer::answer(std::string_view reply) {
    if (state_ != State::Waiting) return;
    const std::size_t frame = next_ - 1;
    state_ = next_ < frames_.size() ? State::Ready : State::Done;
    std::size_t pos = 5;  // the items follow "00" and the code
    for (std::size_t i = firstOp_[frame]; i < firstOp_[frame + 1] && error_.empty(); ++i) {
        const ResultItem item = pos <= reply.size() ? resultitem(reply, pos) : ResultItem{};
        if (pos > reply.size() || !answers(ops_[i].kind, item.kind) ||
            (ops_[i].kind == BusOp::Kind::Write && !acknowledgement(item))) {
            fail("the adapter's reply does not answer the frame: '!" + std::string(reply) + "'");
            break;
        }
        pos += item.advance;
        result(ops_[i], item);
    }
    if (!error_.empty()) {
        // Release a bus that this frame left in the middle of a transfer.
        const bool held = ops_[firstOp_[frame + 1] - 1].kind != BusOp::Kind::Stop;
        state_ = held ? State::Releasing : State::Done;
    }
}

void Transfer::fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
}

}  // namespace sarnel::bench

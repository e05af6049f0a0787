#include <serial/nullmodem.h>

#include <atomic>
#include <map>

#include "backends.h"
#include "core.h"

namespace serial {

namespace {

class PairEnd;

}  // namespace

// The cable: both ends' line state, under the one mutex both ends share.
struct NullModem::Impl {
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
    std::string names[2];
    // Guarded by *mutex:
    PairEnd* open[2] = {nullptr, nullptr};
    bool dtr[2] = {false, false};
    bool rts[2] = {false, false};
    bool ring[2] = {false, false};
};

namespace {

std::atomic<int> nextHandle{0x4000};

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::pair<std::weak_ptr<NullModem::Impl>, int>> ends;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

class PairEnd final : public CoreDevice {
public:
    PairEnd(std::shared_ptr<NullModem::Impl> cable, int side)
        : CoreDevice(cable->mutex), cable_(std::move(cable)), side_(side), handle_(nextHandle++) {
        auto l = lock();
        cable_->open[side_] = this;
        applyLinesLocked();
    }

    ~PairEnd() override {
        auto l = lock();
        cancelAllLocked();
        cable_->open[side_] = nullptr;
        // A closed end drops its lines, as an unplugged cable would.
        setLinesLocked(false, false);
    }

    int handle() const override { return handle_; }

    Code getState(ControlBlock* out) override {
        auto l = lock();
        *out = dcb_;
        return Code::ok;
    }

    Code setState(const ControlBlock& b) override {
        if (b.byteSize < 5 || b.byteSize > 8 || b.parity > kParitySpace || b.stopBits > kTwoStopBits ||
            b.baudRate == 0)
            return Code::invalidArgument;
        auto l = lock();
        dcb_ = b;
        applyLinesLocked();
        transmitLocked();
        return Code::ok;
    }

    Code setQueueSizes(std::uint32_t, std::uint32_t) override { return Code::ok; }

    Code escape(Escape what) override {
        auto l = lock();
        switch (what) {
            case Escape::setXoff:
                xoffHeld_ = true;
                break;
            case Escape::setXon:
                xoffHeld_ = false;
                break;
            case Escape::setRts:
                setLinesLocked(cable_->dtr[side_], true);
                break;
            case Escape::clrRts:
                setLinesLocked(cable_->dtr[side_], false);
                break;
            case Escape::setDtr:
                setLinesLocked(true, cable_->rts[side_]);
                break;
            case Escape::clrDtr:
                setLinesLocked(false, cable_->rts[side_]);
                break;
            case Escape::setBreak:
                if (!breakOn_) {
                    breakOn_ = true;
                    if (PairEnd* p = peer()) p->addErrorsLocked(kBreakDetected);
                }
                break;
            case Escape::clrBreak:
                breakOn_ = false;
                break;
        }
        transmitLocked();
        return Code::ok;
    }

    Code modemStatus(std::uint32_t* bits) override {
        auto l = lock();
        *bits = modemLocked();
        return Code::ok;
    }

    void injectLocked(std::uint32_t errors) {
        addErrorsLocked(errors & (kParityError | kFramingError | kOverrun));
    }
    void ringLocked(bool on) {
        bool was = cable_->ring[side_];
        cable_->ring[side_] = on;
        if (on && !was) raiseLocked(kEvRing);
    }
    // The crossed lines of the other end changed.
    void peerLinesChangedLocked(std::uint32_t before) {
        std::uint32_t now = modemLocked();
        std::uint32_t changed = before ^ now;
        std::uint32_t ev = 0;
        if (changed & kCtsOn) ev |= kEvCts;
        if (changed & kDsrOn) ev |= kEvDsr | kEvCd;  // DTR drives both DSR and CD
        raiseLocked(ev);
        transmitLocked();
    }
    std::uint32_t modemLocked() const {
        int other = 1 - side_;
        std::uint32_t b = 0;
        if (cable_->rts[other]) b |= kCtsOn;
        if (cable_->dtr[other]) b |= kDsrOn | kCdOn;
        if (cable_->ring[side_]) b |= kRingOn;
        return b;
    }

private:
    PairEnd* peer() const { return cable_->open[1 - side_]; }

    // The outputs the control block asks for: enable raises, disable lowers, and a handshake
    // line is raised (the receive queue never asks the far end to wait).
    void applyLinesLocked() {
        setLinesLocked(dcb_.dtrControl != kLineDisable, dcb_.rtsControl != kLineDisable);
    }

    void setLinesLocked(bool dtr, bool rts) {
        PairEnd* p = peer();
        std::uint32_t before = p ? p->modemLocked() : 0;
        cable_->dtr[side_] = dtr;
        cable_->rts[side_] = rts;
        if (p) p->peerLinesChangedLocked(before);
    }

    bool heldLocked() const {
        std::uint32_t m = modemLocked();
        return xoffHeld_ || (dcb_.outxCtsFlow && !(m & kCtsOn)) || (dcb_.outxDsrFlow && !(m & kDsrOn));
    }

    void transmitLocked() override {
        if (writes_.empty() || heldLocked()) return;
        PairEnd* p = peer();
        while (!writes_.empty()) {
            WriteOp& w = writes_.front();
            // Nobody at the far end: the bytes go out on a dead line.
            if (p) p->receiveLocked(w.buffer + w.sent, w.count - w.sent);
            w.sent = w.count;
            completeSentWritesLocked();
        }
        raiseLocked(kEvTxEmpty);
    }

    std::shared_ptr<NullModem::Impl> cable_;
    const int side_;
    const int handle_;
    bool breakOn_ = false;
};

}  // namespace

std::shared_ptr<NullModem> NullModem::create(const std::string& nameA, const std::string& nameB) {
    auto impl = std::make_shared<Impl>();
    impl->names[0] = nameA;
    impl->names[1] = nameB;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.ends[nameA] = {impl, 0};
    r.ends[nameB] = {impl, 1};
    return std::make_shared<NullModem>(impl);
}

NullModem::~NullModem() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const std::string& n : impl_->names) {
        auto it = r.ends.find(n);
        if (it != r.ends.end() && it->second.first.lock() == impl_) r.ends.erase(it);
    }
}

void NullModem::injectErrors(int end, std::uint32_t errors) {
    std::lock_guard lock(*impl_->mutex);
    if (PairEnd* e = impl_->open[end & 1]) e->injectLocked(errors);
}

void NullModem::setRing(int end, bool on) {
    std::lock_guard lock(*impl_->mutex);
    if (PairEnd* e = impl_->open[end & 1])
        e->ringLocked(on);
    else
        impl_->ring[end & 1] = on;
}

std::unique_ptr<Device> openPairEnd(const std::string& name, Code* why) {
    // Opens are serialised by the registry's lock, so two threads cannot both claim one end.
    Registry& r = registry();
    std::lock_guard regLock(r.mutex);
    auto it = r.ends.find(name);
    std::shared_ptr<NullModem::Impl> impl = it == r.ends.end() ? nullptr : it->second.first.lock();
    if (!impl) {
        if (why) *why = Code::notFound;
        return nullptr;
    }
    int side = it->second.second;
    {
        std::lock_guard lock(*impl->mutex);
        if (impl->open[side]) {
            if (why) *why = Code::busy;
            return nullptr;
        }
    }
    auto end = std::make_unique<PairEnd>(impl, side);
    if (why) *why = Code::ok;
    return end;
}

}  // namespace serial

// The Veskor object: the state of one serial-port control, its IVeskor members and its single
// connection point. Members run on the host's thread; the monitor thread (monitor.cpp) shares
// the `Shared` block and the open `Session`, never the object itself, so that it can never
// outlive what it touches.
#pragma once

#include <com/git.h>
#include <com/interfaces.h>
#include <com/object.h>
#include <serial/device.h>
#include <veskor/veskor.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace veskor {

// One background write: its request and the bytes the device reads from until it finishes.
struct PendingWrite {
    serial::Request request;
    std::string bytes;
};

// A mutex with a bounded wait: the pending-writes list is taken with a time limit. (Built on a
// condition variable rather than std::timed_mutex, whose timed lock thread checkers cannot see.)
class TimedLock {
public:
    void lock() {
        std::unique_lock l(m_);
        cv_.wait(l, [&] { return !held_; });
        held_ = true;
    }
    bool try_lock() {
        std::lock_guard l(m_);
        if (held_) return false;
        held_ = true;
        return true;
    }
    template <class Duration>
    bool try_lock_for(Duration d) {
        std::unique_lock l(m_);
        if (!cv_.wait_for(l, d, [&] { return !held_; })) return false;
        held_ = true;
        return true;
    }
    void unlock() {
        {
            std::lock_guard l(m_);
            held_ = false;
        }
        cv_.notify_one();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool held_ = false;
};

// What the host's thread and the monitor thread share for the life of the object.
struct Shared {
    std::atomic<std::int32_t> breakState{0};
    std::atomic<std::int32_t> fireOnEventChar{1};
    std::atomic<std::int32_t> enableReadOnEventChar{0};
    std::atomic<std::uint8_t> eventChar{10};

    std::mutex connectionsMutex;
    std::vector<std::uint32_t> cookies;  // global-interface-table cookies of the sinks

    TimedLock pendingMutex;
    std::vector<std::unique_ptr<PendingWrite>> pending;

    // Releases the background writes that have finished, waiting at most `waitMs` for the list.
    void releaseFinishedWrites(int waitMs);
};

// One opening of the port: the device and the monitor thread.
struct Session {
    std::shared_ptr<serial::Device> device;
    serial::Event stop;      // set by Close
    serial::Event started;   // set by the monitor once `canceller` is valid
    serial::Event finished;  // set by the monitor as its last act
    com::CallCanceller canceller;
    std::thread thread;
};

void runMonitor(std::shared_ptr<Shared> shared, std::shared_ptr<Session> session);

// Declarations of IVeskor's members from their rows (veskor/members.h), for the class below.
#define VESKOR_VALUE_I2 std::int16_t
#define VESKOR_VALUE_I4 std::int32_t
#define VESKOR_VALUE_I8 std::int64_t
#define VESKOR_VALUE_BSTR std::u16string
#define VESKOR_ARG_I2 std::int16_t
#define VESKOR_ARG_I4 std::int32_t
#define VESKOR_ARG_I8 std::int64_t
#define VESKOR_ARG_BSTR const std::u16string&
#define VESKOR_RESULT_EMPTY
#define VESKOR_RESULT_I4 , std::int32_t*
#define VESKOR_RESULT_I8 , std::int64_t*
#define VESKOR_RESULT_BSTR , std::u16string*
#define VESKOR_IN(Name, Type) VESKOR_ARG_##Type
#define VESKOR_OPT(Name, Type) com::Variant
#define VESKOR_OUT(Name, Type) VESKOR_VALUE_##Type*
#define VESKOR_OPTOUT(Name, Type) com::Variant
#define VESKOR_UNPACK(...) __VA_ARGS__
#define VESKOR_PROPERTY(Name, dispid, Type)                  \
    HRESULT get_##Name(VESKOR_VALUE_##Type* value) override; \
    HRESULT put_##Name(VESKOR_ARG_##Type value) override;
#define VESKOR_READONLY(Name, dispid, Type) HRESULT get_##Name(VESKOR_VALUE_##Type* value) override;
#define VESKOR_METHOD(Name, dispid, Result, params) \
    HRESULT Name(VESKOR_UNPACK params VESKOR_RESULT_##Result) override;

class Veskor final
    : public com::Dispatch<com::Object<IVeskor, com::IConnectionPointContainer, com::ISupportErrorInfo>> {
public:
    Veskor();

    // IUnknown: the listed interfaces, and IProvideClassInfo(2) as a tear-off (classinfo.h)
    HRESULT QueryInterface(const com::IID& iid, void** out) override;

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(const com::IID& iid, com::IConnectionPoint** out) override;
    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(const com::IID& iid) override;

    // IVeskor: every member, declared from its row (veskor/members.h); `override` holds each
    // declaration to the manual's in veskor.h.
    VESKOR_MEMBERS(VESKOR_PROPERTY, VESKOR_READONLY, VESKOR_METHOD, VESKOR_IN, VESKOR_OPT, VESKOR_OUT,
                   VESKOR_OPTOUT)

private:
    ~Veskor() override;

    // IDispatch (com::Dispatch): calls bound against IVeskor's description (dispatch.cpp)
    const com::TypeDesc& typeDesc() override;
    HRESULT typeInfo(com::ITypeInfo** out) override;
    HRESULT invokeMember(const com::FuncDesc& member, com::CallArgs& args, com::Variant* result) override;

    class ConnectionPoint final : public com::IConnectionPoint {
    public:
        explicit ConnectionPoint(Veskor& owner) : owner_(owner) {}
        HRESULT QueryInterface(const com::IID& iid, void** out) override;
        std::uint32_t AddRef() override { return owner_.AddRef(); }
        std::uint32_t Release() override { return owner_.Release(); }
        HRESULT GetConnectionInterface(com::IID* iid) override;
        HRESULT GetConnectionPointContainer(com::IConnectionPointContainer** out) override;
        HRESULT Advise(com::IUnknown* sink, std::uint32_t* cookie) override;
        HRESULT Unadvise(std::uint32_t cookie) override;

    private:
        Veskor& owner_;
    };

    HRESULT openPort(const std::u16string& portName, const com::Variant& settings);
    bool isOpen() const { return session_ != nullptr; }
    serial::Device& device() const { return *session_->device; }

    // Refresh and apply for one setting of the control block (see the header's manual).
    HRESULT readBlock(serial::ControlBlock* block);
    HRESULT applyBlock(serial::ControlBlock& block);
    HRESULT modemBit(std::uint32_t bit, std::int32_t on, std::int32_t* value);
    HRESULT setLine(bool dtr, std::int32_t value);
    HRESULT writeBytes(std::string bytes, std::int32_t count, std::int32_t timeout, std::int32_t* written);
    HRESULT readBytes(const com::Variant& count, const com::Variant& timeout, std::string* bytes);
    // BytesUsedRQ and BytesUsedTQ: one count of the device's queue status; 0 while closed.
    HRESULT queueBytes(std::uint32_t serial::QueueStatus::*queue, std::int32_t* value);
    void stopSession();

    ConnectionPoint point_{*this};
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::shared_ptr<Session> session_;  // present exactly while the port is open

    std::int32_t baudRate_ = 9600;
    std::int16_t dataBits_ = 8;
    std::int16_t parity_ = 0;
    std::int16_t stopCode_ = 0;  // 0 one, 1 one and a half, 2 two
    std::string portPath_;
    std::int32_t dtrDsr_ = 0;
    std::int32_t dtr_ = 0;
    std::int32_t rtsCts_ = 0;
    std::int32_t rts_ = 0;
    std::int32_t xonXoff_ = 0;
    std::int32_t breakWanted_ = 0;  // the last Break put; Open restores it on the line
};
#undef VESKOR_VALUE_I2
#undef VESKOR_VALUE_I4
#undef VESKOR_VALUE_I8
#undef VESKOR_VALUE_BSTR
#undef VESKOR_ARG_I2
#undef VESKOR_ARG_I4
#undef VESKOR_ARG_I8
#undef VESKOR_ARG_BSTR
#undef VESKOR_RESULT_EMPTY
#undef VESKOR_RESULT_I4
#undef VESKOR_RESULT_I8
#undef VESKOR_RESULT_BSTR
#undef VESKOR_IN
#undef VESKOR_OPT
#undef VESKOR_OUT
#undef VESKOR_OPTOUT
#undef VESKOR_UNPACK
#undef VESKOR_PROPERTY
#undef VESKOR_READONLY
#undef VESKOR_METHOD

// Sets the thread's error information for `hr` (its message, our ProgID, IVeskor) and returns it.
// A `cause` follows the message as a sentence of its own.
HRESULT fail(HRESULT hr, const std::string& cause = {}) noexcept;

// Runs a member's body so that nothing it throws crosses the interface: an exception (no memory
// for a buffer, no thread for the device) becomes E_UNEXPECTED, and what the body acquired is
// released on the way out.
template <class Body>
HRESULT guard(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fail(com::E_UNEXPECTED);
    }
}
// An optional 32-bit argument: left out (or empty) gives 0. False when it is not a number.
bool optionalInt(const com::Variant& v, std::int32_t* out);

}  // namespace veskor

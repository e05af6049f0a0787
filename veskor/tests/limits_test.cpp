// The object when the process runs short: no thread for the device or the monitor, and a
// memory limit. Nothing it cannot get crosses the interface as an exception: the member
// answers with a result code and gives back what it took.
#include <com/taskmem.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "veskor_support.h"

using namespace veskortest;
using namespace veskor;

namespace {

// How many more threads may start; negative: no limit. The program's own pthread_create
// (below) enforces it, so std::thread inside the component fails as under a thread limit.
std::atomic<int> threadsLeft{-1};

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto create = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
    for (int left = threadsLeft.load(); left >= 0;)
        if (left == 0)
            return EAGAIN;
        else if (threadsLeft.compare_exchange_weak(left, left - 1))
            break;
    return create(thread, attr, start, arg);
}

namespace {

TEST(ThreadLimit, OpenFailsWithoutThreadsAndLeavesThePortFree) {
    ApartmentScope apartment;
    Pty pty;
    auto v = makeVeskor();
    // First the device's reader cannot start, then the monitor cannot.
    for (int allowed : {0, 1}) {
        threadsLeft = allowed;
        EXPECT_EQ(v->Open(u(pty.slavePath), none()), com::E_UNEXPECTED) << allowed << " thread(s) allowed";
        threadsLeft = -1;
        std::int32_t open = 1;
        v->get_IsOpen(&open);
        EXPECT_EQ(open, 0);
        // Nothing of the failed open holds the port.
        ASSERT_EQ(v->Open(u(pty.slavePath), none()), com::S_OK) << allowed << " thread(s) allowed";
        v->Close();
    }
}

// The bytes of address space this process has mapped.
rlim_t addressSpaceInUse() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0) return static_cast<rlim_t>(std::stoull(line.substr(7))) * 1024;
    return 0;
}

[[noreturn]] void finish(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "%s\n", what);
    std::_Exit(ok ? 0 : 1);
}

// Read and ReadBinary of the largest count, under a memory limit far below it, with three bytes
// waiting: the buffer grows with what arrives instead of taking the count up front.
void readUnderAMemoryLimit() {
    ApartmentScope apartment;
    Pty pty;
    auto v = makeVeskor();
    if (v->Open(u(pty.slavePath), none()) != com::S_OK) finish(false, "open");
    auto waiting = [&](std::int32_t n) {
        return serveUntil([&] {
            std::int32_t rq = 0;
            v->get_BytesUsedRQ(&rq);
            return rq == n;
        });
    };
    pty.write("abc");
    if (!waiting(3)) finish(false, "the bytes never arrived");
    const rlimit limit{addressSpaceInUse() + (256u << 20), RLIM_INFINITY};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) finish(false, "setrlimit");

    std::u16string text;
    com::Variant count;
    HRESULT hr = v->Read(i4(0x7FFFFFFF), i4(200), com::Variant::byRef(count), &text);
    if (hr != com::S_OK) finish(false, "Read failed");
    if (text != u"abc" || count.i4 != 3) finish(false, "Read lost bytes");

    pty.write("xyz!");
    if (!waiting(4)) finish(false, "the bytes never arrived");
    std::int64_t block = 0;
    hr = v->ReadBinary(i4(0x7FFFFFFF), i4(200), com::Variant::byRef(count), &block);
    if (hr != com::S_OK) finish(false, "ReadBinary failed");
    auto* bytes = reinterpret_cast<const char*>(static_cast<std::intptr_t>(block));
    const bool whole = count.i4 == 4 && bytes && std::string(bytes, 4) == "xyz!";
    com::taskMemFree(const_cast<char*>(bytes));
    finish(whole, "ReadBinary lost bytes");
}

TEST(MemoryLimit, AHugeReadTakesOnlyWhatArrives) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, not a fork of this one
    EXPECT_EXIT(readUnderAMemoryLimit(), ::testing::ExitedWithCode(0), "");
}

}  // namespace

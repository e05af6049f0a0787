#include <com/activation.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "com_support.h"

namespace {

struct Outcome {
    int status;
    std::string out;
};

Outcome comreg(const std::string& args) {
    std::string cmd = com::programFolder() + "/comreg " + args + " 2>&1";
    Outcome r{-1, {}};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(Comreg, RegistersListsAndUnregisters) {
    comtest::TempRegistry reg;
    const std::string module = comtest::counterModule();
    Outcome r = comreg("register " + module);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(reg.load().hasKey("HKCR\\ComTest.Counter.1"));

    r = comreg("list " + module);
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* expected : {"string 100 = \"ComTest\"", "file version 1.0.0.3",
                                 "version OLESelfRegister", "type library ComTestLib",
                                 "[id(2), method, helpstring \"method Add\"] long Add("
                                 "[in] long Amount, [in, optional] long Times)",
                                 "[default] [source] _ICounterEvents"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;

    r = comreg("unregister " + module);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(reg.load().hasKey("HKCR\\ComTest.Counter.1"));
}

TEST(Comreg, BadArgumentsAndModulesFail) {
    comtest::TempRegistry reg;
    EXPECT_EQ(comreg("").status, 2);
    EXPECT_EQ(comreg("frobnicate x").status, 2);
    Outcome r = comreg("register /nonexistent/libX.so");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("/nonexistent/libX.so"), std::string::npos) << r.out;
    r = comreg("register " + com::programFolder() + "/libcomrt.so");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("does not export DllRegisterServer"), std::string::npos) << r.out;
    // A damaged registry is reported and left alone.
    reg.write("[broken\n");
    r = comreg("register " + comtest::counterModule());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("0x80040150"), std::string::npos) << r.out;
    EXPECT_EQ(reg.read(), "[broken\n");
}

}  // namespace

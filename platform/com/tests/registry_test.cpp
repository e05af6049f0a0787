#include <com/registry.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "com_support.h"

using com::Registry;
using com::RegValue;

namespace {

TEST(Registry, KeysCompareWithoutCaseAndKeepTheirSpelling) {
    Registry r;
    r.setValue("HKCR\\VeskorMod.Veskor\\CLSID", "", RegValue::string("{X}"));
    EXPECT_TRUE(r.hasKey("hkcr\\veskormod.VESKOR"));
    EXPECT_EQ(r.text("HKCR\\veskormod.veskor\\clsid"), "{X}");
    EXPECT_EQ(r.subkeys("HKCR"), std::vector<std::string>{"VeskorMod.Veskor"});
    r.setValue("HKCR\\a", "Name", RegValue::string("1"));
    r.setValue("HKCR\\A", "NAME", RegValue::string("2"));  // the same value, replaced
    EXPECT_EQ(r.valueNames("HKCR\\a"), std::vector<std::string>{"Name"});
    EXPECT_EQ(r.text("HKCR\\a", "name"), "2");
}

TEST(Registry, DeleteKeyRefusesKeysWithChildrenDeleteTreeTakesThem) {
    Registry r;
    r.createKey("HKCR\\CLSID\\{A}\\InprocServer32");
    r.createKey("HKCR\\CLSIDX");  // shares a prefix, is not below
    EXPECT_FALSE(r.deleteKey("HKCR\\CLSID\\{A}"));
    EXPECT_TRUE(r.deleteTree("HKCR\\CLSID\\{A}"));
    EXPECT_FALSE(r.hasKey("HKCR\\CLSID\\{A}\\InprocServer32"));
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID"));
    EXPECT_TRUE(r.hasKey("HKCR\\CLSIDX"));
    EXPECT_TRUE(r.deleteKey("HKCR\\CLSID"));
    EXPECT_FALSE(r.deleteTree("HKCR\\CLSID"));
}

TEST(Registry, PrintThenParseGivesTheSameTree) {
    Registry r;
    r.setValue("HKCR\\Odd \"name\\", "", RegValue::string("quote \" and backslash \\ and ] ["));
    r.setValue("HKCR\\Odd \"name\\", "n=1", RegValue::number(0xdeadbeef));
    r.setValue("HKCR\\Empty", "", RegValue::string(""));
    r.createKey("HKCU\\Software\\Bare");
    Registry back;
    std::string why;
    ASSERT_TRUE(Registry::parse(r.print(), back, &why)) << why;
    EXPECT_EQ(back.print(), r.print());
    EXPECT_EQ(back.value("HKCR\\Odd \"name", "n=1"), RegValue::number(0xdeadbeef));
    EXPECT_TRUE(back.hasKey("HKCU\\Software\\Bare"));
}

TEST(Registry, DamagedTextIsRejectedWithItsLineNumber) {
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"@=\"x\"\n", "line 1: a value before the first key"},
        {"[HKCR\\a]\n\n\"v\"=\"unterminated\n", "line 3: unterminated"},
        {"[HKCR\\a\n", "line 1: a key line must end"},
        {"[HKCR\\a]\nname=\"x\"\n", "line 2: a value name must be"},
        {"[HKCR\\a]\n@=dword:123456789\n", "line 2: a dword value"},
        {"[HKCR\\a]\n@=dword:xyz\n", "line 2: a dword value"},
        {"[HKCR\\a]\n@=42\n", "line 2: a value must be"},
        {"[]\n", "line 1: empty key path"},
    };
    for (const Case& c : cases) {
        Registry r;
        r.createKey("HKCR\\kept");
        std::string why;
        EXPECT_FALSE(Registry::parse(c.text, r, &why)) << c.text;
        EXPECT_EQ(why.rfind(c.reason, 0), 0u) << c.text << " gave " << why;
        EXPECT_TRUE(r.hasKey("HKCR\\kept")) << "a failed parse must leave the target alone";
    }
}

TEST(RegistryFile, MissingFileIsEmptyAndUpdatesCreateIt) {
    comtest::TempRegistry reg;
    EXPECT_TRUE(reg.load().empty());
    ASSERT_EQ(com::updateRegistry([](Registry& r) {
                  r.setValue("HKCR\\K", "", RegValue::string("v"));
                  return com::S_OK;
              }),
              com::S_OK);
    EXPECT_EQ(reg.load().text("HKCR\\K"), "v");
    // No temporary files are left beside it.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(reg.folder()))
        if (e.path().filename().string().find(".tmp.") != std::string::npos) ++files;
    EXPECT_EQ(files, 0);
}

TEST(RegistryFile, DamagedFileIsReportedAndNeverOverwritten) {
    comtest::TempRegistry reg;
    const std::string damaged = "[HKCR\\Good]\n@=\"kept\"\nthis line is garbage\n";
    reg.write(damaged);
    Registry r;
    std::string why;
    EXPECT_EQ(com::loadRegistry(r, &why), com::REGDB_E_READREGDB);
    EXPECT_NE(why.find("line 3"), std::string::npos) << why;
    bool called = false;
    EXPECT_EQ(com::updateRegistry(
                  [&](Registry& x) {
                      called = true;
                      x.setValue("HKCR\\New", "", RegValue::string("v"));
                      return com::S_OK;
                  },
                  &why),
              com::REGDB_E_READREGDB);
    EXPECT_FALSE(called);
    EXPECT_EQ(reg.read(), damaged);
}

TEST(RegistryFile, FailedChangeWritesNothing) {
    comtest::TempRegistry reg;
    reg.write("[HKCR\\A]\n");
    const std::string before = reg.read();
    EXPECT_EQ(com::updateRegistry([](Registry& r) {
                  r.deleteTree("HKCR\\A");
                  return com::E_FAIL;
              }),
              com::E_FAIL);
    EXPECT_EQ(reg.read(), before);
}

TEST(RegistryFile, LivesWhereTheProgramSaysAndElseWhereTheModuleSuggests) {
    comtest::TempRegistry reg;  // its folder stands in for the configuration folder
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    ::unsetenv("COM_REGISTRY_FILE");
    ::setenv("XDG_CONFIG_HOME", reg.folder().c_str(), 1);

    // Nobody named one: nothing is registered, and nothing can be.
    EXPECT_EQ(com::registryPath(), "");
    EXPECT_TRUE(reg.load().empty());
    std::string why;
    EXPECT_EQ(com::updateRegistry([](Registry&) { return com::S_OK; }, &why), com::REGDB_E_WRITEREGDB);
    EXPECT_NE(why.find("no registry file"), std::string::npos) << why;

    com::suggestRegistryFolder("module");
    EXPECT_EQ(com::registryPath(), reg.folder() + "/module/registry");
    com::setRegistryFolder("program");
    com::suggestRegistryFolder("other");
    EXPECT_EQ(com::registryPath(), reg.folder() + "/program/registry") << "the program's choice wins";
    ASSERT_EQ(com::updateRegistry([](Registry& r) {
                  r.setValue("HKCR\\K", "", RegValue::string("v"));
                  return com::S_OK;
              }),
              com::S_OK);
    EXPECT_TRUE(std::filesystem::exists(reg.folder() + "/program/registry"));
    // The environment still overrides both (every other test relies on it).
    ::setenv("COM_REGISTRY_FILE", reg.path().c_str(), 1);
    EXPECT_EQ(com::registryPath(), reg.path());

    if (saved)
        ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace

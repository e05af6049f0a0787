#include <com/activation.h>
#include <com/apartment.h>
#include <com/dispatch.h>
#include <com/errorinfo.h>
#include <com/text.h>
#include <gtest/gtest.h>

#include "com_support.h"
#include "module/counter.h"

using namespace com;
using comtest::CLSID_Counter;

namespace {

std::string lastError() {
    auto e = getErrorInfo();
    return e ? narrow(e->description) : std::string();
}

class Activation : public ::testing::Test {
protected:
    comtest::TempRegistry reg;
    comtest::ApartmentScope apartment;
};

TEST_F(Activation, RegistersExactlyTheScriptAndTheTypeLibrary) {
    ASSERT_EQ(comtest::callExport(comtest::counterModule(), "DllRegisterServer"), S_OK);
    Registry r = reg.load();
    const std::string cls = "HKCR\\CLSID\\" + CLSID_Counter.toString();
    EXPECT_EQ(r.text(cls + "\\InprocServer32"), comtest::counterModule());
    EXPECT_EQ(r.text("HKCR\\ComTest.Counter\\CurVer"), "ComTest.Counter.1");
    const std::string lib = "HKCR\\TypeLib\\" + comtest::LIBID_ComTestLib.toString() + "\\1.0";
    EXPECT_EQ(r.text(lib), "Counter 1.0");
    EXPECT_EQ(r.text(lib + "\\409\\linux64"), comtest::counterModule());
    EXPECT_EQ(r.text("HKCR\\Interface\\" + comtest::IID_ICounter.toString()), "ICounter");

    ASSERT_EQ(comtest::callExport(comtest::counterModule(), "DllUnregisterServer"), S_OK);
    r = reg.load();
    EXPECT_FALSE(r.hasKey(cls));
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID"));
    EXPECT_FALSE(r.hasKey("HKCR\\ComTest.Counter.1"));
    EXPECT_FALSE(r.hasKey("HKCR\\TypeLib\\" + comtest::LIBID_ComTestLib.toString()));
    EXPECT_FALSE(r.hasKey("HKCR\\Interface\\" + comtest::IID_ICounter.toString()));
}

TEST_F(Activation, CreatesByEitherProgIDOrClassIdentifier) {
    ASSERT_EQ(comtest::callExport(comtest::counterModule(), "DllRegisterServer"), S_OK);
    for (const char* name : {"ComTest.Counter.1", "ComTest.Counter", "comtest.counter",
                             "{5D1C7A40-2B6E-4C11-9A31-6E0F4412A701}"}) {
        ComPtr<IDispatch> d;
        ASSERT_EQ(createInstance(name, IID_IDispatch, d), S_OK) << name << ": " << lastError();
        EXPECT_EQ(invoke(d.get(), comtest::DISPID_Add, DISPATCH_METHOD, 5).value.i4, 5) << name;
    }
    CLSID c;
    ASSERT_EQ(clsidFromProgID("ComTest.Counter", &c), S_OK);
    EXPECT_EQ(c, CLSID_Counter);
    std::string progID;
    ASSERT_EQ(progIDFromCLSID(CLSID_Counter, &progID), S_OK);
    EXPECT_EQ(progID, "ComTest.Counter.1");
}

TEST_F(Activation, WithoutRegistrationTheModuleBesideTheProgramServes) {
    EXPECT_TRUE(reg.load().empty());
    ComPtr<IDispatch> byName, byClass;
    ASSERT_EQ(createInstance("ComTest.Counter", IID_IDispatch, byName), S_OK) << lastError();
    ASSERT_EQ(createInstance(CLSID_Counter, nullptr, IID_IDispatch, byClass.putVoid()), S_OK) << lastError();
    EXPECT_TRUE(reg.load().empty()) << "activation must not register anything";
}

TEST_F(Activation, StaleRegistrationFallsBackToTheModuleBesideTheProgram) {
    ASSERT_EQ(updateRegistry([](Registry& r) {
                  r.setValue("HKCR\\CLSID\\" + CLSID_Counter.toString() + "\\InprocServer32", "",
                             RegValue::string("/nonexistent/libComTest.so"));
                  return S_OK;
              }),
              S_OK);
    ComPtr<IDispatch> d;
    EXPECT_EQ(createInstance(CLSID_Counter, nullptr, IID_IDispatch, d.putVoid()), S_OK) << lastError();
}

TEST_F(Activation, FailuresGiveClearCodesAndDescriptions) {
    const CLSID ghost = *GUID::parse("{0BADF00D-0000-4000-8000-000000000001}");
    ASSERT_EQ(updateRegistry([&](Registry& r) {
                  r.setValue("HKCR\\Ghost.Thing\\CLSID", "", RegValue::string(ghost.toString()));
                  r.setValue("HKCR\\CLSID\\" + ghost.toString() + "\\InprocServer32", "",
                             RegValue::string("/nonexistent/libGhost.so"));
                  r.setValue("HKCR\\Bent.Thing\\CLSID", "", RegValue::string("not a guid"));
                  r.setValue("HKCR\\Broken.Thing\\CLSID", "", RegValue::string(ghost.toString()));
                  return S_OK;
              }),
              S_OK);
    ComPtr<IUnknown> u;
    EXPECT_EQ(createInstance("Ghost.Thing", IID_IUnknown, u), CO_E_DLLNOTFOUND);
    EXPECT_NE(lastError().find("/nonexistent/libGhost.so"), std::string::npos);
    EXPECT_EQ(createInstance("Nobody.Here", IID_IUnknown, u), REGDB_E_CLASSNOTREG);
    EXPECT_NE(lastError().find("Nobody.Here is not registered"), std::string::npos);
    EXPECT_EQ(createInstance("Bent.Thing", IID_IUnknown, u), CO_E_CLASSSTRING);
    EXPECT_EQ(createInstance("{0BADF00D-0000-4000-8000-000000000002}", IID_IUnknown, u), REGDB_E_CLASSNOTREG);
    // A module that exists but is no component.
    ASSERT_EQ(updateRegistry([&](Registry& r) {
                  r.setValue("HKCR\\CLSID\\" + ghost.toString() + "\\InprocServer32", "",
                             RegValue::string(programFolder() + "/libcomrt.so"));
                  return S_OK;
              }),
              S_OK);
    EXPECT_EQ(createInstance("Broken.Thing", IID_IUnknown, u), CO_E_ERRORINDLL);
    EXPECT_NE(lastError().find("does not export DllGetClassObject"), std::string::npos);
    // The object answers only what it implements.
    EXPECT_EQ(createInstance("ComTest.Counter", IID_IConnectionPoint, u), E_NOINTERFACE);
}

TEST_F(Activation, DamagedRegistryIsReportedWhenNothingElseHelps) {
    reg.write("[HKCR\\x]\ngarbage\n");
    ComPtr<IUnknown> u;
    EXPECT_EQ(createInstance("ComTest.Counter", IID_IUnknown, u), S_OK)
        << "the module beside the program still serves";
    u.reset();
    EXPECT_EQ(createInstance("Nobody.Here", IID_IUnknown, u), REGDB_E_READREGDB);
    EXPECT_NE(lastError().find("line 2"), std::string::npos);
}

TEST(ActivationThread, NeedsAnApartment) {
    comtest::TempRegistry reg;
    ComPtr<IUnknown> u;
    EXPECT_EQ(createInstance("ComTest.Counter", IID_IUnknown, u), CO_E_NOTINITIALIZED);
}

TEST_F(Activation, ModuleUnloadsOnlyAfterItsLastObjectAndLock) {
    const std::string module = comtest::counterModule();
    freeUnusedLibraries();
    ComPtr<IDispatch> d;
    ASSERT_EQ(createInstance("ComTest.Counter", IID_IDispatch, d), S_OK);
    ASSERT_TRUE(isModuleLoaded(module));
    freeUnusedLibraries();
    EXPECT_TRUE(isModuleLoaded(module)) << "an object is alive";

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_Counter, IID_IClassFactory, factory.putVoid()), S_OK);
    d.reset();
    freeUnusedLibraries();
    EXPECT_TRUE(isModuleLoaded(module)) << "a class object is held";
    factory->LockServer(true);
    factory.reset();
    freeUnusedLibraries();
    EXPECT_TRUE(isModuleLoaded(module)) << "the server is locked";
    ASSERT_EQ(getClassObject(CLSID_Counter, IID_IClassFactory, factory.putVoid()), S_OK);
    factory->LockServer(false);
    factory.reset();
    freeUnusedLibraries();
    EXPECT_FALSE(isModuleLoaded(module));

    // And loads again on demand.
    ASSERT_EQ(createInstance("ComTest.Counter", IID_IDispatch, d), S_OK);
    EXPECT_TRUE(isModuleLoaded(module));
}

TEST_F(Activation, TypeLibraryKeepsItsModuleLoaded) {
    const std::string module = comtest::counterModule();
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(loadTypeLib(module, lib.put()), S_OK);
    freeUnusedLibraries();
    EXPECT_TRUE(isModuleLoaded(module));
    EXPECT_STREQ(lib->GetLibDesc().name, "ComTestLib");
    lib.reset();
    freeUnusedLibraries();
    EXPECT_FALSE(isModuleLoaded(module));
    ASSERT_EQ(loadRegTypeLib(comtest::LIBID_ComTestLib, 1, 0, lib.put()), S_OK) << "found beside the program";
    EXPECT_EQ(loadRegTypeLib(comtest::LIBID_ComTestLib, 2, 0, lib.put()), TYPE_E_LIBNOTREGISTERED);
}

}  // namespace

// libVeskorMod.so as hosts see it: its exports, what it registers, its type library, and
// the Veskor control created by ProgID and called by dispatch identifier.
#include <com/activation.h>
#include <com/dispatch.h>
#include <com/module.h>
#include <com/registrar.h>
#include <com/taskmem.h>
#include <com/text.h>
#include <com/typelib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "module_support.h"

using namespace com;
using namespace veskor;
using moduletest::ApartmentScope;
using moduletest::TempRegistry;

namespace {

using EntryFn = HRESULT (*)();

HRESULT callEntry(const char* name) {
    auto fn = reinterpret_cast<EntryFn>(moduletest::moduleExport(name));
    return fn ? fn() : E_NOTIMPL;
}

// Every value below a key, as "path|name=value" lines (path relative to `root`).
std::vector<std::string> dump(const Registry& r, const std::string& root) {
    std::vector<std::string> out;
    for (const std::string& k : r.keys()) {
        if (k.size() < root.size() || k.compare(0, root.size(), root) != 0) continue;
        if (k.size() > root.size() && k[root.size()] != '\\') continue;
        std::string rel = k.substr(root.size());
        auto names = r.valueNames(k);
        if (names.empty()) out.push_back(rel + "|");
        for (const std::string& n : names) out.push_back(rel + "|" + n + "=" + r.text(k, n).value_or("?"));
    }
    return out;
}

class Module : public ::testing::Test {
protected:
    TempRegistry reg;
    ApartmentScope apartment;
};

TEST_F(Module, RegistrationWritesExactlyTheScriptsKeys) {
    ASSERT_EQ(callEntry("DllRegisterServer"), S_OK);
    const Registry r = reg.load();
    const std::string m = moduletest::modulePath();
    const std::string clsid = CLSID_Veskor.toString();
    EXPECT_EQ(dump(r, "HKCR\\VeskorMod.Veskor.1"),
              (std::vector<std::string>{"|=Veskor Class", "\\CLSID|=" + clsid}));
    EXPECT_EQ(
        dump(r, "HKCR\\VeskorMod.Veskor"),
        (std::vector<std::string>{"|=Veskor Class", "\\CLSID|=" + clsid, "\\CurVer|=VeskorMod.Veskor.1"}));
    std::vector<std::string> expected = {
        "|=Veskor Class",
        "\\Control|",
        "\\InprocServer32|=" + m,
        "\\InprocServer32|ThreadingModel=Apartment",
        "\\Insertable|",
        "\\MiscStatus|=0",
        "\\MiscStatus\\1|=132497",
        "\\ProgID|=VeskorMod.Veskor.1",
        "\\Programmable|",
        "\\ToolboxBitmap32|=" + m + ", 101",
        "\\TypeLib|=" + LIBID_VESKORMODLib.toString(),
        "\\Version|=1.0",
        "\\VersionIndependentProgID|=VeskorMod.Veskor",
    };
    EXPECT_EQ(dump(r, "HKCR\\CLSID\\" + clsid), expected);
    const std::string lib = "HKCR\\TypeLib\\" + LIBID_VESKORMODLib.toString() + "\\1.0";
    EXPECT_EQ(r.text(lib), "Veskor 2.01");
    EXPECT_EQ(r.text(lib + "\\409\\linux64"), m);
    EXPECT_EQ(r.text("HKCR\\Interface\\" + IID_IVeskor.toString()), "IVeskor");
    EXPECT_EQ(r.text("HKCR\\Interface\\" + IID__IVeskorEvents.toString()), "_IVeskorEvents");
}

TEST_F(Module, UnregistrationRemovesTheClassAndKeepsCLSID) {
    ASSERT_EQ(updateRegistry([](Registry& r) {
                  r.setValue("HKCR\\CLSID\\{00000000-0000-0000-0000-000000000001}", "",
                             RegValue::string("other"));
                  return S_OK;
              }),
              S_OK);
    ASSERT_EQ(callEntry("DllRegisterServer"), S_OK);
    ASSERT_EQ(callEntry("DllUnregisterServer"), S_OK);
    const Registry r = reg.load();
    EXPECT_FALSE(r.hasKey("HKCR\\CLSID\\" + CLSID_Veskor.toString()));
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID\\{00000000-0000-0000-0000-000000000001}"));
    EXPECT_FALSE(r.hasKey("HKCR\\VeskorMod.Veskor"));
    EXPECT_FALSE(r.hasKey("HKCR\\VeskorMod.Veskor.1"));
    EXPECT_FALSE(r.hasKey("HKCR\\TypeLib\\" + LIBID_VESKORMODLib.toString()));
    EXPECT_FALSE(r.hasKey("HKCR\\Interface\\" + IID_IVeskor.toString()));
}

TEST_F(Module, ResourcesCarryTheVersionBlockAndProjectName) {
    auto fn = reinterpret_cast<ComModuleResourcesFn>(moduletest::moduleExport("ComModuleResources"));
    ASSERT_TRUE(fn);
    const ModuleResources* res = fn();
    ASSERT_TRUE(res && res->version);
    EXPECT_EQ(versionText(res->version->fileVersion), "2.0.2.1");
    EXPECT_EQ(versionText(res->version->productVersion), "2.0.2.1");
    EXPECT_STREQ(versionString(*res->version, "FileDescription"), "VeskorMod Module");
    EXPECT_STREQ(versionString(*res->version, "ProductName"), "VeskorMod Module");
    EXPECT_STREQ(versionString(*res->version, "InternalName"), "VeskorMod");
    EXPECT_NE(versionString(*res->version, "OLESelfRegister"), nullptr);
    ASSERT_EQ(res->strings.size(), 1u);
    EXPECT_EQ(res->strings[0].id, 100u);
    EXPECT_STREQ(res->strings[0].text, "VeskorMod");
    ASSERT_EQ(res->scripts.size(), 1u);
    EXPECT_EQ(res->scripts[0].id, 102u);
    // The identifiers in the script are those of the public header.
    Registry r;
    ASSERT_EQ(applyScript(r, res->scripts[0].text, {{"MODULE", "/m"}}), S_OK);
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID\\" + CLSID_Veskor.toString()));
    EXPECT_EQ(r.text("HKCR\\CLSID\\" + CLSID_Veskor.toString() + "\\TypeLib"), LIBID_VESKORMODLib.toString());
}

TEST_F(Module, CreatedByEitherProgIDRegisteredOrNot) {
    for (bool registered : {false, true}) {
        if (registered) {
            ASSERT_EQ(callEntry("DllRegisterServer"), S_OK);
        }
        for (const char16_t* progID : {kProgIdVersioned, kProgId}) {
            ComPtr<IVeskor> v;
            ASSERT_EQ(createInstance(narrow(progID), IID_IVeskor, v), S_OK) << registered;
            std::int32_t baud = 0;
            EXPECT_EQ(v->get_BaudRate(&baud), S_OK);
            EXPECT_EQ(baud, 9600);
        }
    }
}

TEST_F(Module, ClassObjectOnlyForVeskorAndUnloadAfterTheLastObject) {
    auto get = reinterpret_cast<DllGetClassObjectFn>(moduletest::moduleExport("DllGetClassObject"));
    ASSERT_TRUE(get);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(get(IID_IVeskor, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);

    ComPtr<IDispatch> v;
    ASSERT_EQ(createInstance("VeskorMod.Veskor", IID_IDispatch, v), S_OK);
    EXPECT_EQ(callEntry("DllCanUnloadNow"), S_FALSE);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(v->GetTypeInfo(0, 0, info.put()), S_OK);
    v.reset();
    EXPECT_EQ(callEntry("DllCanUnloadNow"), S_FALSE) << "type information still in use";
    info.reset();
    EXPECT_EQ(callEntry("DllCanUnloadNow"), S_OK);
    freeUnusedLibraries();
    EXPECT_FALSE(isModuleLoaded(moduletest::modulePath()));
}

TEST_F(Module, TypeLibraryDeclaresTheInterfacesInOrder) {
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(loadTypeLib(moduletest::modulePath(), lib.put()), S_OK);
    const TypeLibDesc& d = lib->GetLibDesc();
    EXPECT_STREQ(d.name, "VESKORMODLib");
    EXPECT_EQ(d.libid, LIBID_VESKORMODLib);
    EXPECT_EQ(std::tie(d.major, d.minor, d.lcid),
              std::make_tuple(std::uint16_t{1}, std::uint16_t{0}, LCID{0x409}));
    EXPECT_STREQ(d.help, "Veskor 2.01");

    ComPtr<ITypeInfo> iface;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IVeskor, iface.put()), S_OK);
    const TypeDesc& t = iface->GetTypeDesc();
    EXPECT_EQ(t.kind, TypeKind::Dual);
    EXPECT_STREQ(t.help, "IVeskor Interface");
    std::string members;
    for (const FuncDesc& f : t.funcs) {
        members += f.name;
        members += f.invokeKind == DISPATCH_PROPERTYGET   ? "<"
                   : f.invokeKind == DISPATCH_PROPERTYPUT ? ">"
                                                          : "()";
        members += ' ';
        const std::string help =
            std::string(f.invokeKind == DISPATCH_METHOD ? "method " : "property ") + f.name;
        EXPECT_EQ(f.help, help);
    }
    EXPECT_EQ(t.funcs.size(), 46u);
    EXPECT_EQ(
        members,
        "BaudRate< BaudRate> DataBits< DataBits> Parity< Parity> StopBits< StopBits> PortName< Cd< Cts< "
        "Dsr< Dtr< Dtr> DtrDsr< DtrDsr> RtsCts< RtsCts> Rts< Rts> XonXoff< XonXoff> PortHandle< Break< "
        "Break> BytesUsedRQ< BytesUsedTQ< Ring< EventChar< EventChar> FireOnEventChar< FireOnEventChar> "
        "EnableReadOnEventChar< EnableReadOnEventChar> Open() Close() Write() Read() ClearRQ() ClearTQ() "
        "GetErrorStatus() SendXon() SendXoff() WriteBinary() ReadBinary() IsOpen< ");
    // Dispids 1 to 33 in order of first appearance.
    DISPID last = 0;
    for (const FuncDesc& f : t.funcs)
        if (f.id != last) {
            EXPECT_EQ(f.id, ++last) << f.name;
        }
    EXPECT_EQ(last, 33);
    // Optional arguments, per method.
    std::string optional;
    for (const FuncDesc& f : t.funcs)
        for (const ParamDesc& p : f.params)
            if (p.flags & PARAMFLAG_FOPT) optional += std::string(f.name) + "." + p.name + " ";
    EXPECT_EQ(optional,
              "Open.Settings Write.NumBytesToWrite Write.Timeout Read.NumBytesToRead Read.Timeout "
              "Read.pNumBytesRead WriteBinary.NumBytesToWrite WriteBinary.Timeout ReadBinary.NumBytesToRead "
              "ReadBinary.Timeout ReadBinary.pNumBytesRead ");

    ComPtr<ITypeInfo> events;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID__IVeskorEvents, events.put()), S_OK);
    const TypeDesc& e = events->GetTypeDesc();
    EXPECT_EQ(e.kind, TypeKind::Dispatch);
    EXPECT_STREQ(e.help, "_IVeskorEvents Interface");
    const char* names[] = {"DataReceived", "CtsToggle",   "DsrToggle", "CdToggle",       "Error",
                           "Ring",         "BreakSignal", "TQEmpty",   "EvtCharReceived"};
    ASSERT_EQ(e.funcs.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_STREQ(e.funcs[i].name, names[i]);
        EXPECT_EQ(e.funcs[i].id, static_cast<DISPID>(i + 1));
        EXPECT_EQ(e.funcs[i].help, std::string("method ") + names[i]);
    }

    ComPtr<ITypeInfo> cls;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Veskor, cls.put()), S_OK);
    EXPECT_STREQ(cls->GetTypeDesc().help, "Veskor Class");
    GUID g;
    EXPECT_TRUE(implementedInterface(cls->GetTypeDesc(), IMPLTYPEFLAG_FDEFAULT, &g));
    EXPECT_EQ(g, IID_IVeskor);
    EXPECT_TRUE(implementedInterface(cls->GetTypeDesc(), IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, &g));
    EXPECT_EQ(g, IID__IVeskorEvents);
}

TEST_F(Module, ControlAnswersTheStandardInterfaces) {
    ComPtr<IUnknown> v;
    ASSERT_EQ(createInstance("VeskorMod.Veskor", IID_IUnknown, v), S_OK);
    auto support = v.as<ISupportErrorInfo>(IID_ISupportErrorInfo);
    ASSERT_TRUE(support);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IVeskor), S_OK);
    auto cpc = v.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ASSERT_TRUE(cpc);
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(cpc->FindConnectionPoint(IID__IVeskorEvents, cp.put()), S_OK);

    auto pci = v.as<IProvideClassInfo2>(IID_IProvideClassInfo2);
    ASSERT_TRUE(pci);
    GUID source;
    ASSERT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, IID__IVeskorEvents);
    ComPtr<ITypeInfo> cls;
    ASSERT_EQ(pci->GetClassInfo(cls.put()), S_OK);
    EXPECT_EQ(cls->GetTypeDesc().guid, CLSID_Veskor);
    // The tear-off keeps the object's identity.
    ComPtr<IUnknown> same;
    ASSERT_EQ(pci->QueryInterface(IID_IUnknown, same.putVoid()), S_OK);
    EXPECT_EQ(same.get(), v.get());
    auto pci1 = v.as<IProvideClassInfo>(IID_IProvideClassInfo);
    EXPECT_TRUE(pci1);
}

}  // namespace

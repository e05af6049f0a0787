#include <com/activation.h>
#include <com/dispatch.h>
#include <com/errorinfo.h>
#include <com/typelib.h>
#include <gtest/gtest.h>

#include "com_support.h"
#include "module/counter.h"

using namespace com;
using namespace comtest;

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(createInstance("ComTest.Counter", IID_IDispatch, obj), S_OK); }
    TempRegistry reg;
    ApartmentScope apartment;
    ComPtr<IDispatch> obj;
};

TEST_F(Dispatch, PropertyGetAndPut) {
    EXPECT_EQ(invoke(obj.get(), DISPID_Value, DISPATCH_PROPERTYPUT, 41).hr, S_OK);
    auto r = invoke(obj.get(), DISPID_Value, DISPATCH_PROPERTYGET);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.vt, VT_I4);
    EXPECT_EQ(r.value.i4, 41);
    // A text that reads as a number converts; one that does not is a type mismatch.
    EXPECT_EQ(invoke(obj.get(), DISPID_Value, DISPATCH_PROPERTYPUT, u"7").hr, S_OK);
    EXPECT_EQ(invoke(obj.get(), DISPID_Value, DISPATCH_PROPERTYGET | DISPATCH_METHOD).value.i4, 7);
    EXPECT_EQ(invoke(obj.get(), DISPID_Value, DISPATCH_PROPERTYPUT, u"seven").hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(invoke(obj.get(), DISPID_Label, DISPATCH_PROPERTYPUT, u"name").hr, S_OK);
    EXPECT_EQ(invoke(obj.get(), DISPID_Label, DISPATCH_PROPERTYGET).value.str, u"name");
}

TEST_F(Dispatch, OptionalArgumentsMayBeLeftOutEitherWay) {
    EXPECT_EQ(invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, 2).value.i4, 2);  // not passed
    EXPECT_EQ(invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, 2, Variant::missing()).value.i4,
              4);  // marked missing
    EXPECT_EQ(invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, 2, 3).value.i4, 10);
}

TEST_F(Dispatch, OutArgumentsAreWrittenThroughTheirReference) {
    Variant head, tail;
    ASSERT_EQ(
        invoke(obj.get(), DISPID_Split, DISPATCH_METHOD, u"ab,cd", Variant::byRef(head), Variant::byRef(tail))
            .hr,
        S_OK);
    EXPECT_EQ(head.str, u"ab");
    EXPECT_EQ(tail.str, u"cd");
    Variant only;
    ASSERT_EQ(invoke(obj.get(), DISPID_Split, DISPATCH_METHOD, u"x", Variant::byRef(only)).hr, S_OK);
    EXPECT_EQ(only.str, u"x");
}

TEST_F(Dispatch, CallsThatDoNotFitTheMemberAreRefused) {
    struct Case {
        const char* what;
        InvokeResult result;
        HRESULT expected;
    } cases[] = {
        {"unknown dispid", invoke(obj.get(), 99, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND},
        {"put of a method", invoke(obj.get(), DISPID_Add, DISPATCH_PROPERTYPUT, 1), DISP_E_MEMBERNOTFOUND},
        {"required left out", invoke(obj.get(), DISPID_Add, DISPATCH_METHOD), DISP_E_BADPARAMCOUNT},
        {"required missing", invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, Variant::missing()),
         DISP_E_PARAMNOTOPTIONAL},
        {"too many", invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, 1, 2, 3), DISP_E_BADPARAMCOUNT},
        {"out not by reference", invoke(obj.get(), DISPID_Split, DISPATCH_METHOD, u"a", u"b"),
         DISP_E_TYPEMISMATCH},
        {"overflowing number", invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, std::int64_t{1} << 40),
         DISP_E_OVERFLOW},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result.hr, c.expected) << c.what;
}

TEST_F(Dispatch, ArgErrNamesTheArgumentThatDidNotConvert) {
    auto r = invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, 1, u"many");
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 0u);  // the last argument sits first in the reversed list
    r = invoke(obj.get(), DISPID_Add, DISPATCH_METHOD, u"one", 2);
    EXPECT_EQ(r.argErr, 1u);
}

TEST_F(Dispatch, FailingMemberReportsItsCodeAndDescription) {
    auto r = invoke(obj.get(), DISPID_Fail, DISPATCH_METHOD, 0);
    EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(r.code(), COUNTER_E_PURPOSE);
    EXPECT_EQ(r.excep.description, u"failed on purpose");
    EXPECT_EQ(r.excep.source, u"ComTest.Counter.1");
    auto info = getErrorInfo();
    ASSERT_TRUE(info) << "the thread's error information stays set";
    EXPECT_EQ(info->description, u"failed on purpose");
}

TEST_F(Dispatch, NamesToDispidsFromTheTypeLibrary) {
    struct Case {
        const char16_t* name;
        DISPID id;
    } cases[] = {
        {u"Value", DISPID_Value}, {u"ADD", DISPID_Add}, {u"split", DISPID_Split}, {u"Label", DISPID_Label}};
    for (const Case& c : cases) {
        DISPID id = 0;
        EXPECT_EQ(dispidOf(obj.get(), c.name, &id), S_OK);
        EXPECT_EQ(id, c.id);
    }
    DISPID id = 0;
    EXPECT_EQ(dispidOf(obj.get(), u"Subtract", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    const std::u16string names[] = {u"Split", u"tail", u"Text", u"Nope"};
    DISPID ids[4];
    EXPECT_EQ(obj->GetIDsOfNames(IID_NULL, names, 4, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_Split);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(ids[3], DISPID_UNKNOWN);
}

TEST_F(Dispatch, ClassInfoDescribesTheCoclassAndItsEventSource) {
    auto pci = obj.as<IProvideClassInfo2>(IID_IProvideClassInfo2);
    ASSERT_TRUE(pci);
    GUID source;
    ASSERT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, IID_ICounterEvents);
    EXPECT_EQ(pci->GetGUID(7, &source), E_INVALIDARG);
    ComPtr<ITypeInfo> cls;
    ASSERT_EQ(pci->GetClassInfo(cls.put()), S_OK);
    EXPECT_EQ(cls->GetTypeDesc().kind, TypeKind::CoClass);
    std::int32_t flags = 0;
    ComPtr<ITypeInfo> iface;
    ASSERT_EQ(cls->GetRefTypeOfImplType(0, iface.put()), S_OK);
    ASSERT_EQ(cls->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_STREQ(iface->GetTypeDesc().name, "ICounter");
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    ComPtr<ITypeInfo> none;
    EXPECT_EQ(cls->GetRefTypeOfImplType(2, none.put()), TYPE_E_ELEMENTNOTFOUND);
    ComPtr<ITypeLib> lib;
    std::uint32_t index = 99;
    ASSERT_EQ(cls->GetContainingTypeLib(lib.put(), &index), S_OK);
    EXPECT_EQ(lib->GetLibDesc().libid, LIBID_ComTestLib);
    EXPECT_EQ(index, 1u);
    std::u16string name, help;
    ASSERT_EQ(iface->GetDocumentation(DISPID_Add, &name, &help), S_OK);
    EXPECT_EQ(help, u"method Add");
}

}  // namespace

// The object helpers: QueryInterface from a list, reference counts shared between threads,
// IDispatch from a type description, and sinks that describe nothing.
#include <com/object.h>
#include <gtest/gtest.h>

#include <new>
#include <thread>
#include <vector>

using namespace com;

namespace {

const IID IID_IAlias{0x7a1e0001, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};

// Two interfaces, one extending another, and an alias; notes its own destruction.
class Thing final : public Object<As<IProvideClassInfo2, IID_IAlias>, ISupportErrorInfo> {
public:
    explicit Thing(bool& destroyed) : destroyed_(destroyed) {}
    HRESULT GetClassInfo(ITypeInfo** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetGUID(std::uint32_t, GUID*) override { return E_NOTIMPL; }
    HRESULT InterfaceSupportsErrorInfo(const IID&) override { return S_OK; }

private:
    ~Thing() override { destroyed_ = true; }
    bool& destroyed_;
};

// The interface `object` answers for `iid` (one reference added), or nullptr.
template <class I>
I* query(IUnknown* object, const IID& iid) {
    void* out = reinterpret_cast<void*>(1);
    object->QueryInterface(iid, &out);
    return static_cast<I*>(out);
}

TEST(Object, AnswersEachListedInterfaceAndWhatItExtends) {
    bool destroyed = false;
    auto thing = ComPtr<Thing>::attach(new Thing(destroyed));
    IUnknown* identity = query<IUnknown>(static_cast<IProvideClassInfo2*>(thing.get()), IID_IUnknown);
    ASSERT_NE(identity, nullptr);
    // IUnknown is the first interface's, whichever interface it is asked through.
    EXPECT_EQ(query<IUnknown>(static_cast<ISupportErrorInfo*>(thing.get()), IID_IUnknown), identity);
    EXPECT_EQ(query<IProvideClassInfo2>(identity, IID_IProvideClassInfo2),
              static_cast<IProvideClassInfo2*>(thing.get()));
    EXPECT_EQ(query<IProvideClassInfo>(identity, IID_IProvideClassInfo),
              static_cast<IProvideClassInfo*>(thing.get()));
    EXPECT_EQ(query<IProvideClassInfo2>(identity, IID_IAlias), static_cast<IProvideClassInfo2*>(thing.get()));
    EXPECT_EQ(query<ISupportErrorInfo>(identity, IID_ISupportErrorInfo),
              static_cast<ISupportErrorInfo*>(thing.get()));
    EXPECT_EQ(thing->Release(), 6u) << "each answer added one reference";
    for (int i = 0; i < 5; ++i) thing->Release();

    // Anything else: no interface, and the out-pointer cleared.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(thing->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(thing->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_FALSE(destroyed);
    thing.reset();
    EXPECT_TRUE(destroyed) << "the last release deletes the object";
}

TEST(Object, CountsReferencesTakenOnSeveralThreads) {
    bool destroyed = false;
    auto thing = ComPtr<Thing>::attach(new Thing(destroyed));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                thing->AddRef();
                thing->Release();
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(thing->AddRef(), 2u);
    thing->Release();
}

// A property Value and a method Fail whose body throws what it is told.
constexpr ParamDesc kValue[] = {{"Value", VT_I4, PARAMFLAG_FIN}};
constexpr FuncDesc kFuncs[] = {
    {"Value", 1, DISPATCH_PROPERTYGET, VT_I4, "property Value", {}},
    {"Value", 1, DISPATCH_PROPERTYPUT, VT_EMPTY, "property Value", kValue},
    {"Throw", 2, DISPATCH_METHOD, VT_EMPTY, "method Throw", kValue},
};
const IID IID_IValue{0x7a1e0002, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 2}};
const TypeDesc kType{TypeKind::Dual, "IValue", IID_IValue, "IValue Interface", kFuncs, {}};

class Valued final : public Dispatch<Object<As<IDispatch, IID_IValue>>> {
    const TypeDesc& typeDesc() override { return kType; }
    HRESULT typeInfo(ITypeInfo** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT invokeMember(const FuncDesc& f, CallArgs& args, Variant* result) override {
        if (f.id == 2) {
            std::int32_t what = 0;
            args.get(0, what);
            if (what == 1) throw std::bad_alloc();
            throw 42;
        }
        if (f.invokeKind == DISPATCH_PROPERTYPUT) return args.get(0, value_);
        *result = Variant(value_);
        return S_OK;
    }
    std::int32_t value_ = 0;
};

TEST(Dispatch, NamesAndCallsGoThroughTheDescription) {
    auto v = ComPtr<Valued>::attach(new Valued);
    std::u16string name = u"value";
    DISPID id = 0;
    EXPECT_EQ(v->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(v->GetIDsOfNames(IID_IValue, &name, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(invoke(v.get(), 1, DISPATCH_PROPERTYPUT, 7).hr, S_OK);
    EXPECT_EQ(invoke(v.get(), 1, DISPATCH_PROPERTYGET).value.i4, 7);
    EXPECT_EQ(invoke(v.get(), 9, DISPATCH_METHOD).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(v.get(), 1, DISPATCH_PROPERTYPUT).hr, DISP_E_PARAMNOTOPTIONAL);
    std::uint32_t count = 0;
    EXPECT_EQ(v->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(v->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
}

TEST(Dispatch, NothingThrownInAMemberCrossesInvoke) {
    auto v = ComPtr<Valued>::attach(new Valued);
    EXPECT_EQ(invoke(v.get(), 2, DISPATCH_METHOD, 1).hr, E_OUTOFMEMORY);
    EXPECT_EQ(invoke(v.get(), 2, DISPATCH_METHOD, 2).hr, E_UNEXPECTED);
}

class Sink final : public DispatchSink<IID_IAlias> {
public:
    HRESULT Invoke(DISPID, const IID&, LCID, std::uint16_t, DispParams*, Variant*, ExcepInfo*,
                   std::uint32_t*) override {
        return S_OK;
    }
};

TEST(DispatchSink, AnswersItsEventInterfaceAsIDispatchAndDescribesNothing) {
    auto sink = ComPtr<Sink>::attach(new Sink);
    EXPECT_EQ(query<IDispatch>(sink.get(), IID_IAlias), static_cast<IDispatch*>(sink.get()));
    sink->Release();
    std::uint32_t count = 1;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    std::u16string name = u"x";
    DISPID id;
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), E_NOTIMPL);
}

}  // namespace

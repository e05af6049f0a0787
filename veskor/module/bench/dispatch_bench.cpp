// The cost of late binding: a property get by dispatch identifier against the same get
// through the C++ interface, on one Veskor object created through the runtime.
#include <benchmark/benchmark.h>
#include <com/activation.h>
#include <com/apartment.h>
#include <com/dispatch.h>
#include <veskor/veskor.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Control {
    Control() {
        com::initializeApartment();
        if (com::failed(com::createInstance("VeskorMod.Veskor", veskor::IID_IVeskor, veskor))) {
            std::fprintf(stderr, "dispatch_bench: cannot create VeskorMod.Veskor\n");
            std::exit(1);
        }
    }
    com::ComPtr<veskor::IVeskor> veskor;
};

Control& control() {
    static Control c;
    return c;
}

void BM_BaudRate_Interface(benchmark::State& state) {
    veskor::IVeskor* v = control().veskor.get();
    std::int32_t value = 0;
    for (auto _ : state) {
        v->get_BaudRate(&value);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_BaudRate_Interface);

// Invoke itself, as a host that holds its DispParams does.
void BM_BaudRate_Invoke(benchmark::State& state) {
    veskor::IVeskor* v = control().veskor.get();
    com::DispParams none;
    com::Variant result;
    for (auto _ : state) {
        v->Invoke(veskor::DISPID_BaudRate, com::IID_NULL, com::LOCALE_USER_DEFAULT, com::DISPATCH_PROPERTYGET,
                  &none, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.i4);
    }
}
BENCHMARK(BM_BaudRate_Invoke);

// The console's way: com::invoke, which also builds the argument list and the result.
void BM_BaudRate_ComInvoke(benchmark::State& state) {
    veskor::IVeskor* v = control().veskor.get();
    for (auto _ : state) {
        com::InvokeResult r = com::invoke(v, veskor::DISPID_BaudRate, com::DISPATCH_PROPERTYGET);
        benchmark::DoNotOptimize(r.value.i4);
    }
}
BENCHMARK(BM_BaudRate_ComInvoke);

// A put with one argument, for comparison.
void BM_BaudRate_ComInvokePut(benchmark::State& state) {
    veskor::IVeskor* v = control().veskor.get();
    for (auto _ : state) {
        com::InvokeResult r = com::invoke(v, veskor::DISPID_BaudRate, com::DISPATCH_PROPERTYPUT, 115200);
        benchmark::DoNotOptimize(r.hr);
    }
}
BENCHMARK(BM_BaudRate_ComInvokePut);

void BM_GetIDsOfNames(benchmark::State& state) {
    veskor::IVeskor* v = control().veskor.get();
    const std::u16string name = u"EnableReadOnEventChar";
    com::DISPID id = 0;
    for (auto _ : state) {
        v->GetIDsOfNames(com::IID_NULL, &name, 1, com::LOCALE_USER_DEFAULT, &id);
        benchmark::DoNotOptimize(id);
    }
}
BENCHMARK(BM_GetIDsOfNames);

}  // namespace

BENCHMARK_MAIN();

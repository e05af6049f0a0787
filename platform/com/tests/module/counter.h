// A small component for the runtime's own tests: the class ComTest.Counter with a dual
// interface ICounter, built as libComTest.so beside the test programs.
#pragma once

#include <com/base.h>

namespace comtest {

inline constexpr com::CLSID CLSID_Counter{
    0x5d1c7a40, 0x2b6e, 0x4c11, {0x9a, 0x31, 0x6e, 0x0f, 0x44, 0x12, 0xa7, 0x01}};
inline constexpr com::IID IID_ICounter{
    0x5d1c7a41, 0x2b6e, 0x4c11, {0x9a, 0x31, 0x6e, 0x0f, 0x44, 0x12, 0xa7, 0x01}};
inline constexpr com::IID IID_ICounterEvents{
    0x5d1c7a42, 0x2b6e, 0x4c11, {0x9a, 0x31, 0x6e, 0x0f, 0x44, 0x12, 0xa7, 0x01}};
inline constexpr com::GUID LIBID_ComTestLib{
    0x5d1c7a43, 0x2b6e, 0x4c11, {0x9a, 0x31, 0x6e, 0x0f, 0x44, 0x12, 0xa7, 0x01}};

// Dispids of ICounter.
enum : int {
    DISPID_Value = 1,  // property, 32-bit
    DISPID_Add = 2,    // Add(Amount, optional Times) -> new value
    DISPID_Split = 3,  // Split(Text, out Head, optional out Tail): Text cut at its first ','
    DISPID_Fail = 4,   // Fail(Code): fails with Code and the description "failed on purpose"
    DISPID_Label = 5,  // property, text
};

// The failure code Fail reports when called with 0.
inline constexpr com::HRESULT COUNTER_E_PURPOSE = com::hresult(0x80040299);

}  // namespace comtest

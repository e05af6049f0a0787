// IVeskor's members, one row each, in interface order (dispids 1 to 33). This list is the one
// description of each member's name, dispid, kind and argument types: the dispid enum
// (veskor.h), the type library and the component's dispatch are generated from it, and the
// component's own declarations of the members are checked against the manual's in veskor.h.
//
// VESKOR_MEMBERS(PROPERTY, READONLY, METHOD, IN, OPT, OUT, OPTOUT) expands each row with the
// macros it is given for the seven names:
//   PROPERTY(Name, dispid, Type)            get_Name(T*) and put_Name(T); a put's value is "newVal"
//   READONLY(Name, dispid, Type)            get_Name(T*)
//   METHOD(Name, dispid, Result, (params))  Name(params..., Result*); Result EMPTY: none. A method
//                                           with a result has parameters.
// Parameters of a method, in order:
//   IN(Name, Type)      required
//   OPT(Name, Type)     optional: a com::Variant, com::Variant::missing() when left out
//   OUT(Name, Type)     an out-pointer the member fills
//   OPTOUT(Name, Type)  an optional out-argument: a by-reference com::Variant, or missing
// Types: I2 (std::int16_t), I4 (std::int32_t), I8 (std::int64_t: an address in this process),
// BSTR (std::u16string).
#pragma once

// clang-format off
#define VESKOR_MEMBERS(PROPERTY, READONLY, METHOD, IN, OPT, OUT, OPTOUT)                                      \
    PROPERTY(BaudRate, 1, I4)                                                                                 \
    PROPERTY(DataBits, 2, I2)                                                                                 \
    PROPERTY(Parity, 3, I2)                                                                                   \
    PROPERTY(StopBits, 4, I2)                                                                                 \
    READONLY(PortName, 5, BSTR)                                                                               \
    READONLY(Cd, 6, I4)                                                                                       \
    READONLY(Cts, 7, I4)                                                                                      \
    READONLY(Dsr, 8, I4)                                                                                      \
    PROPERTY(Dtr, 9, I4)                                                                                      \
    PROPERTY(DtrDsr, 10, I4)                                                                                  \
    PROPERTY(RtsCts, 11, I4)                                                                                  \
    PROPERTY(Rts, 12, I4)                                                                                     \
    PROPERTY(XonXoff, 13, I4)                                                                                 \
    READONLY(PortHandle, 14, I4)                                                                              \
    PROPERTY(Break, 15, I4)                                                                                   \
    READONLY(BytesUsedRQ, 16, I4)                                                                             \
    READONLY(BytesUsedTQ, 17, I4)                                                                             \
    READONLY(Ring, 18, I4)                                                                                    \
    PROPERTY(EventChar, 19, BSTR)                                                                             \
    PROPERTY(FireOnEventChar, 20, I4)                                                                         \
    PROPERTY(EnableReadOnEventChar, 21, I4)                                                                   \
    METHOD(Open, 22, EMPTY, (IN(PortName, BSTR), OPT(Settings, BSTR)))                                        \
    METHOD(Close, 23, EMPTY, ())                                                                              \
    METHOD(Write, 24, I4, (IN(WriteBuffer, BSTR), OPT(NumBytesToWrite, I4), OPT(Timeout, I4)))                \
    METHOD(Read, 25, BSTR, (OPT(NumBytesToRead, I4), OPT(Timeout, I4), OPTOUT(pNumBytesRead, I4)))            \
    METHOD(ClearRQ, 26, EMPTY, ())                                                                            \
    METHOD(ClearTQ, 27, EMPTY, ())                                                                            \
    METHOD(GetErrorStatus, 28, EMPTY, (OUT(ParityError, I4), OUT(FramingError, I4), OUT(OverrunError, I4)))   \
    METHOD(SendXon, 29, EMPTY, ())                                                                            \
    METHOD(SendXoff, 30, EMPTY, ())                                                                           \
    METHOD(WriteBinary, 31, I4, (IN(pWriteBuffer, I8), OPT(NumBytesToWrite, I4), OPT(Timeout, I4)))           \
    METHOD(ReadBinary, 32, I8, (OPT(NumBytesToRead, I4), OPT(Timeout, I4), OPTOUT(pNumBytesRead, I4)))        \
    READONLY(IsOpen, 33, I4)
// clang-format on

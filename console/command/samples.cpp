// The built-in sample scripts. The walking pulse sample shows the three ways to write a
// delay of ten.
#include "console/command/samples.h"

#include <array>

namespace sarnel {

namespace {

constexpr std::array<std::string_view, 2> kSetV{";Set Slave interface voltage to 5.0V", "SetV    5.0"};
constexpr std::array<std::string_view, 6> kLm75Read{
    ";LM75 2Byte Read, [PresetPointer]", "Start", "Write  0x91", "Read   ack", "Read   Nack", "Stop"};
constexpr std::array<std::string_view, 9> kLm75PointerRead{";LM75 Pointer Set, 2Byte Read",
                                                           "Start",
                                                           "Write  0x90",
                                                           "Write  0x02",
                                                           "Start",
                                                           "Write  0x91",
                                                           "Read   ack",
                                                           "Read   Nack",
                                                           "Stop"};
constexpr std::array<std::string_view, 5> kLm75ConfigRead{";LM75 1Byte Config Read, [PresetPointer]", "Start",
                                                          "Write  0x91", "Read   Nack", "Stop"};
constexpr std::array<std::string_view, 8> kLm75PointerConfig{";LM75 Pointer Set, Config Read",
                                                             "Start",
                                                             "Write  0x90",
                                                             "Write  0x01",
                                                             "Start",
                                                             "Write  0x91",
                                                             "Read   Nack",
                                                             "Stop"};
constexpr std::array<std::string_view, 6> kLm75ConfigWrite{
    ";LM75 Config Register Write", "Start", "Write  0x90", "Write  0x01", "Write  0x12", "Stop"};
constexpr std::array<std::string_view, 7> kLm75Limits{
    ";LM75 Tos / Thyst Write", "Start", "Write  0x90", "Write  0x02", "Write  0x34", "Write  0x52", "Stop"};
constexpr std::array<std::string_view, 12> kWalkingPulse{";Walking Pulse Generator",
                                                         "GP0hi",
                                                         "Delayu 10",
                                                         "GP0lo",
                                                         "GP1hi",
                                                         "Delayu 0x0a",
                                                         "GP1lo",
                                                         "GP2hi",
                                                         "Delayu 010",
                                                         "GP2lo",
                                                         "GP3hi",
                                                         "GP3lo"};

constexpr std::array<SampleScript, kSampleCount> kSamples{{
    {"Set Slave interface voltage to 5.0V", kSetV},
    {"LM75 2Byte Read, [PresetPointer]", kLm75Read},
    {"LM75 Pointer Set, 2Byte Read", kLm75PointerRead},
    {"LM75 1Byte Config Read, [PresetPointer]", kLm75ConfigRead},
    {"LM75 Pointer Set, Config Read", kLm75PointerConfig},
    {"LM75 Config Register Write", kLm75ConfigWrite},
    {"LM75 Tos / Thyst Write", kLm75Limits},
    {"Walking Pulse Generator", kWalkingPulse},
}};

}  // namespace

std::span<const SampleScript> samplescripts() {
    return kSamples;
}

std::string sampletext(int index) {
    if (index < 0 || index >= kSampleCount) return "";
    std::string text;
    for (std::string_view line : kSamples[static_cast<std::size_t>(index)].lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace sarnel

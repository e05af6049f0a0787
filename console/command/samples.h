// The catalogue of built-in sample scripts (the `Combo1` list of the workspace).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace sarnel {

struct SampleScript {
    std::string_view title;                   // the list entry
    std::span<const std::string_view> lines;  // the queue lines; the first is the title as a comment
};

inline constexpr int kSampleCount = 8;

// The eight samples in list order.
std::span<const SampleScript> samplescripts();

// The command queue text of sample `index`: each line followed by CR LF; "" outside 0..7.
std::string sampletext(int index);

}  // namespace sarnel

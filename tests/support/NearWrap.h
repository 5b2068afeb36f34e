// Clock starts just before the 32-bit millisecond clock wraps, for tables of tests whose
// timers must run across the wrap: ten seconds before the count passes 2^31 (where a signed
// sum overflows) and ten seconds before it passes 2^32 (where it returns to 0).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace nearwrap {

constexpr uint32_t kLead = 10000; // milliseconds from the start to the wrap

constexpr uint32_t kBefore2To31 = 0x80000000u - kLead;
constexpr uint32_t kBefore2To32 = 0u - kLead;

inline const auto kStarts = ::testing::Values(kBefore2To31, kBefore2To32);

// The clock's value at a start, as chTime gives it.
constexpr int32_t Clock(uint32_t start) { return static_cast<int32_t>(start); }
// The clock's value at the wrap that follows a start.
constexpr int32_t WrapAfter(uint32_t start) { return static_cast<int32_t>(start + kLead); }

// Test names for the starts: "Before2To31", "Before2To32".
inline std::string StartName(const ::testing::TestParamInfo<uint32_t>& info) {
    return info.param == kBefore2To31 ? "Before2To31" : "Before2To32";
}

} // namespace nearwrap

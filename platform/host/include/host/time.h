#pragma once
#include <cstdint>

namespace host {

/// Virtual time in nanoseconds since the runtime started.
using Nanos = std::uint64_t;

inline constexpr Nanos kMicrosecond = 1'000;
inline constexpr Nanos kMillisecond = 1'000'000;
inline constexpr Nanos kSecond = 1'000'000'000;

constexpr Nanos us(std::uint64_t n) {
    return n * kMicrosecond;
}
constexpr Nanos ms(std::uint64_t n) {
    return n * kMillisecond;
}
constexpr Nanos seconds(std::uint64_t n) {
    return n * kSecond;
}

/// The device's core clock: the cycle counter runs at 64 MHz.
inline constexpr std::uint64_t kCpuHz = 64'000'000;

} // namespace host

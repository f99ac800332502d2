// How long characters take on an asynchronous serial line. Pure arithmetic; the
// back ends use it to keep a write from returning before its bytes can have left.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace zentor {

// The character frame of a line: one start bit, the data bits, an optional
// parity bit and the stop bits (1, 1.5 or 2, kept in halves).
struct FrameFormat {
    int dataBits = 8;
    bool parity = false;
    int stopHalfBits = 2;

    // Bit times of one character, in halves (8N1: 20).
    int HalfBitsPerCharacter() const { return 2 + 2 * dataBits + (parity ? 2 : 0) + stopHalfBits; }
};

// Line time of `bytes` characters at `baud` bit/s, rounded up to whole
// microseconds; zero for a rate of zero or less.
inline std::chrono::microseconds FrameTime(std::size_t bytes, const FrameFormat& format,
                                           long baud) {
    if (baud <= 0 || bytes == 0) return std::chrono::microseconds(0);
    const std::uint64_t halfBits = static_cast<std::uint64_t>(bytes) *
                                   static_cast<std::uint64_t>(format.HalfBitsPerCharacter());
    const std::uint64_t perSecondHalves = 2ULL * static_cast<std::uint64_t>(baud);
    const std::uint64_t us = (halfBits * 1'000'000ULL + perSecondHalves - 1) / perSecondHalves;
    return std::chrono::microseconds(static_cast<std::int64_t>(us));
}

}  // namespace zentor

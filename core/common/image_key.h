// The built-in image key. Program images (prog_c.bin) and update packages are
// scrambled with it; its value is part of the file formats and never changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zentor {

inline constexpr std::size_t ImageKeyLength = 397;
extern const std::array<std::uint8_t, ImageKeyLength> ImageKey;

// Byte i of data (counted from 0) ^= ImageKey[i mod 397]; its own inverse.
void ScrambleImage(std::span<std::uint8_t> data);

}  // namespace zentor

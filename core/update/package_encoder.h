// Serial-number-bound update packages n.bin, p.bin, d.bin.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/image_file.h"
#include "station/job.h"

namespace zentor {

// Largest input image the encoder takes.
inline constexpr std::size_t kMaxPackageImage = kMaxImage;

// The five fixed filler texts of the serial record (Windows-1251 bytes). They are
// part of the package format: a reader of n.bin needs exactly these values.
inline constexpr std::array<std::uint8_t, 3> kSerialFiller1 = {0x51, 0x37, 0xE6};  // "Q7ж"
inline constexpr std::array<std::uint8_t, 3> kSerialFiller2 = {0xFC, 0x3B, 0x4D};  // "ь;M"
inline constexpr std::array<std::uint8_t, 3> kSerialFiller3 = {0x20, 0xC4, 0x32};  // " Д2"
inline constexpr std::array<std::uint8_t, 3> kSerialFiller4 = {0x78, 0x21, 0xDF};  // "x!Я"
inline constexpr std::array<std::uint8_t, 6> kSerialFiller5 = {0xC2, 0x6B, 0x2D,
                                                               0x39, 0x20, 0xF4};  // "Вk-9 ф"

// The plain serial record of n.bin: two-digit length, then the serial number five
// times, each followed by a filler (5 * length + 20 bytes). `serial` is
// Windows-1251 text of 9..99 bytes.
std::vector<std::uint8_t> SerialRecord(const std::string& serial);

// Encoder face: checks the serial number (UTF-8 that has a Windows-1251 form;
// anything else is refused with its own line before any file is written),
// then writes n.bin, p.bin (prog.bin) and d.bin (data.bin) of s.workDir, each
// scrambled from index 0, in that order, each written to a temporary name and
// renamed into place. An input image above 65536 bytes is refused before any
// file is written. True when all three were written.
bool EncodePackage(Job& s, const std::string& serialNumber);

}  // namespace zentor

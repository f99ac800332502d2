// Intel HEX records as the boot ROM takes them, and hexadecimal text reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentor {

inline constexpr std::size_t kRecordDataSize = 128;
// ":80" + address + "00" + 256 data digits + checksum + CR LF.
inline constexpr std::size_t kDataRecordLength = 9 + 2 * kRecordDataSize + 2 + 2;

// Value of text read as a hexadecimal number: leading blanks skipped, optional
// "0x", digits in either case, reading stops at the first non-digit. nullopt
// when the text does not begin with a hexadecimal number.
std::optional<int> HexTextToInt(std::string_view text);

// True for exactly two hexadecimal digits (either case).
bool IsHexByteText(std::string_view text);

// Writes the 128-byte data record for load address addr into out (at least
// kDataRecordLength bytes); returns the number of bytes written.
std::size_t ComposeDataRecord(std::uint8_t* out, std::uint16_t addr, const std::uint8_t* data);

// The configuration record for 807Eh: ":02807E00", hcr1 and hcr0 as they stand,
// the checksum of their values, CR LF. nullopt when either is not a hex number.
std::optional<std::string> ComposeConfigRecord(std::string_view hcr1, std::string_view hcr0);

}  // namespace zentor

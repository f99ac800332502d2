// Intel HEX records as the boot ROM receives them, one line at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zentor::sim {

struct HexRecord {
    std::uint8_t type = 0;
    std::uint16_t address = 0;
    std::vector<std::uint8_t> data;
};

// Parses one record without its line end (":LLAAAATT<data>CC"). Digits may be
// of either case. Returns false with a short reason for a malformed record.
bool ParseHexRecord(std::string_view line, HexRecord* record, std::string* why);

}  // namespace zentor::sim

#include "hex.h"

namespace zentor::sim {
namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool ParseHexRecord(std::string_view line, HexRecord* record, std::string* why) {
    if (line.empty() || line[0] != ':') {
        *why = "no start colon";
        return false;
    }
    std::string_view digits = line.substr(1);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (DigitValue(digits[i]) < 0) {
            *why = "not a hex digit at column " + std::to_string(i + 2);
            return false;
        }
    }
    if (digits.size() % 2 != 0) {
        *why = "odd number of digits";
        return false;
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(DigitValue(digits[i]) * 16 + DigitValue(digits[i + 1])));
    }
    if (bytes.size() < 5 || bytes.size() != static_cast<std::size_t>(bytes[0]) + 5) {
        *why = "length does not match the byte count";
        return false;
    }
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    if (sum != 0) {
        *why = "bad checksum";
        return false;
    }
    record->address = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
    record->type = bytes[3];
    record->data.assign(bytes.begin() + 4, bytes.end() - 1);
    return true;
}

}  // namespace zentor::sim

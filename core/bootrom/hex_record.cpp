#include "bootrom/hex_record.h"

namespace zentor {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void PutHexByte(std::uint8_t*& out, unsigned value) {
    *out++ = static_cast<std::uint8_t>(kHexDigits[(value >> 4) & 0x0F]);
    *out++ = static_cast<std::uint8_t>(kHexDigits[value & 0x0F]);
}

}  // namespace

std::optional<int> HexTextToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    // "0x" counts as a prefix only when a digit follows; otherwise the "0" is the number.
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2]) >= 0) {
        i += 2;
    }
    if (i >= text.size() || DigitValue(text[i]) < 0) return std::nullopt;
    long long value = 0;
    for (; i < text.size() && DigitValue(text[i]) >= 0; ++i) {
        value = value * 16 + DigitValue(text[i]);
        if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;  // saturate instead of overflowing
    }
    return static_cast<int>(value);
}

bool IsHexByteText(std::string_view text) {
    return text.size() == 2 && DigitValue(text[0]) >= 0 && DigitValue(text[1]) >= 0;
}

std::size_t ComposeDataRecord(std::uint8_t* out, std::uint16_t addr, const std::uint8_t* data) {
    std::uint8_t* p = out;
    unsigned sum = (addr >> 8) + (addr & 0xFFu) + 0x80u;
    *p++ = ':';
    PutHexByte(p, 0x80);
    PutHexByte(p, addr >> 8);
    PutHexByte(p, addr & 0xFFu);
    PutHexByte(p, 0x00);
    for (std::size_t i = 0; i < kRecordDataSize; ++i) {
        PutHexByte(p, data[i]);
        sum += data[i];
    }
    PutHexByte(p, (0x100u - (sum & 0xFFu)) & 0xFFu);
    *p++ = '\r';
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

std::optional<std::string> ComposeConfigRecord(std::string_view hcr1, std::string_view hcr0) {
    const std::optional<int> v1 = HexTextToInt(hcr1);
    const std::optional<int> v0 = HexTextToInt(hcr0);
    if (!v1 || !v0) return std::nullopt;
    const unsigned sum =
        0x02u + 0x80u + 0x7Eu + 0x00u + static_cast<unsigned>(*v1) + static_cast<unsigned>(*v0);
    std::string record = ":02807E00";
    record.append(hcr1);
    record.append(hcr0);
    const unsigned checksum = (0x100u - (sum & 0xFFu)) & 0xFFu;
    record += kHexDigits[checksum >> 4];
    record += kHexDigits[checksum & 0x0F];
    record += "\r\n";
    return record;
}

}  // namespace zentor

// Intel HEX records as the tool writes them, read back by a reader written here:
// data records round-trip address and bytes, configuration records carry the two
// register texts, and hexadecimal text reads as strtol would read it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bootrom/hex_record.h"
#include "fuzz_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using zentor::fuzz::Check;

struct Record {
    int count = 0;
    int address = 0;
    int type = 0;
    Bytes data;
};

int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // the tool writes upper case only
}

// ":" count address type data checksum CR LF, every field upper-case hex, the
// byte sum of the fields including the checksum 0 modulo 256.
std::optional<Record> ReadRecord(const std::string& text) {
    if (text.size() < 13 || text[0] != ':' || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return std::nullopt;
    const std::string body = text.substr(1, text.size() - 3);
    if (body.size() % 2 != 0) return std::nullopt;
    Bytes bytes;
    for (std::size_t i = 0; i < body.size(); i += 2) {
        const int hi = Digit(body[i]), lo = Digit(body[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    unsigned sum = 0;
    for (auto b : bytes) sum += b;
    if (sum % 256 != 0) return std::nullopt;
    Record r;
    r.count = bytes[0];
    r.address = bytes[1] << 8 | bytes[2];
    r.type = bytes[3];
    if (bytes.size() != static_cast<std::size_t>(r.count) + 5) return std::nullopt;
    r.data.assign(bytes.begin() + 4, bytes.end() - 1);
    return r;
}

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentor;
    FuzzedDataProvider in(data, size);

    // A data record for any address and any 128 bytes.
    const auto address = in.ConsumeIntegral<std::uint16_t>();
    Bytes payload = in.ConsumeBytes<std::uint8_t>(kRecordDataSize);
    payload.resize(kRecordDataSize, 0xA5);
    std::uint8_t out[kDataRecordLength + 16];
    std::fill(std::begin(out), std::end(out), 0xCC);
    const std::size_t n = ComposeDataRecord(out, address, payload.data());
    Check(n == kDataRecordLength);
    Check(out[n] == 0xCC);  // nothing written past the record
    const auto record = ReadRecord(std::string(out, out + n));
    Check(record.has_value());
    Check(record->count == 0x80 && record->address == address && record->type == 0);
    Check(record->data == payload);

    // The configuration record for two register texts.
    const std::string hcr1 = in.ConsumeRandomLengthString(6);
    const std::string hcr0 = in.ConsumeRandomLengthString(6);
    const auto config = ComposeConfigRecord(hcr1, hcr0);
    const auto v1 = HexTextToInt(hcr1);
    const auto v0 = HexTextToInt(hcr0);
    Check(config.has_value() == (v1.has_value() && v0.has_value()));
    if (IsHexByteText(hcr1) && IsHexByteText(hcr0)) {
        Check(config.has_value() && config->size() == 17);
        // The texts stand as typed; the reader takes upper case only.
        std::string upper = *config;
        for (std::size_t i = 9; i < 13; ++i)
            upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
        const auto r = ReadRecord(upper);
        Check(r.has_value() && r->address == 0x807E && r->type == 0 && r->count == 2);
        Check(r->data[0] == std::strtol(hcr1.c_str(), nullptr, 16));
        Check(r->data[1] == std::strtol(hcr0.c_str(), nullptr, 16));
        Check(config->compare(9, 2, hcr1) == 0 && config->compare(11, 2, hcr0) == 0);
    }

    // Hexadecimal text: blanks, an optional 0x before a digit, digits up to the
    // first other character, saturated at the largest int.
    const std::string text = in.ConsumeRandomLengthString(24);
    const auto value = HexTextToInt(text);
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        IsHexDigit(text[i + 2]))
        i += 2;
    if (i >= text.size() || !IsHexDigit(text[i])) {
        Check(!value.has_value());
    } else {
        std::size_t end = i;
        while (end < text.size() && IsHexDigit(text[end])) ++end;
        const std::string digits = text.substr(i, end - i);
        const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, 16);
        const bool overflow = digits.find_first_not_of('0') != std::string::npos &&
                              digits.size() - digits.find_first_not_of('0') > 8;
        const long long expected =
            overflow || parsed > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long long>(parsed);
        Check(value.has_value() && *value == expected);
    }
    return 0;
}

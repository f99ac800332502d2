#include "common/cp1251.h"

#include <array>
#include <cstdint>

namespace zentor {
namespace {

// Unicode code points of bytes 0x80..0xBF (0xC0..0xFF are U+0410..U+044F).
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t ToUnicode(unsigned char b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return 0x0410 + (b - 0xC0);
    return kHigh[b - 0x80];
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int FromUnicode(char32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == cp) return 0x80 + i;
    return -1;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) AppendUtf8(out, ToUnicode(b));
    return out;
}

namespace {

// Decodes one UTF-8 sequence at s[i]; its length in *len. -1 for a malformed,
// overlong or surrogate sequence (*len then 1, or what is left of s).
long DecodeUtf8(std::string_view s, std::size_t i, std::size_t* len) {
    const auto c = static_cast<unsigned char>(s[i]);
    char32_t cp = 0;
    char32_t least = 0;
    *len = 1;
    if (c < 0x80) return c;
    if ((c & 0xE0) == 0xC0) {
        cp = c & 0x1F;
        *len = 2;
        least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        cp = c & 0x0F;
        *len = 3;
        least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        cp = c & 0x07;
        *len = 4;
        least = 0x10000;
    } else {
        return -1;
    }
    if (i + *len > s.size()) {
        *len = s.size() - i;
        return -1;
    }
    for (std::size_t k = 1; k < *len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
            *len = 1;
            return -1;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return static_cast<long>(cp);
}

// Converts s sequence by sequence. A sequence without a Windows-1251 form (or
// invalid UTF-8, cp < 0) goes to unmapped(sequence, cp), which appends its
// stand-in to out and returns true, or returns false to end the conversion.
template <class Unmapped>
bool ConvertUtf8(std::string_view s, std::string& out, Unmapped unmapped) {
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = 1;
        const long cp = DecodeUtf8(s, i, &len);
        const int b = cp < 0 ? -1 : FromUnicode(static_cast<char32_t>(cp));
        if (b >= 0)
            out += static_cast<char>(b);
        else if (!unmapped(s.substr(i, len), cp))
            return false;
        i += len;
    }
    return true;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view s) {
    std::string out;
    ConvertUtf8(s, out, [&out](std::string_view, long) {
        out += '?';
        return true;
    });
    return out;
}

std::optional<std::string> Utf8ToCp1251Exact(std::string_view s, std::string* offending) {
    std::string out;
    const bool whole = ConvertUtf8(s, out, [offending](std::string_view sequence, long cp) {
        if (offending) *offending = cp < 0 ? std::string() : std::string(sequence);
        return false;
    });
    if (!whole) return std::nullopt;
    return out;
}

unsigned char Cp1251ToUpper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0) return static_cast<unsigned char>(c - 32);  // а..я -> А..Я
    switch (c) {
        case 0xB8:
            return 0xA8;  // ё
        case 0x90:
            return 0x80;  // ђ
        case 0x83:
            return 0x81;  // ѓ
        case 0x9A:
            return 0x8A;  // љ
        case 0x9C:
            return 0x8C;  // њ
        case 0x9D:
            return 0x8D;  // ќ
        case 0x9E:
            return 0x8E;  // ћ
        case 0x9F:
            return 0x8F;  // џ
        case 0xA2:
            return 0xA1;  // ў
        case 0xBC:
            return 0xA3;  // ј
        case 0xB4:
            return 0xA5;  // ґ
        case 0xBA:
            return 0xAA;  // є
        case 0xBF:
            return 0xAF;  // ї
        case 0xB3:
            return 0xB2;  // і
        case 0xBE:
            return 0xBD;  // ѕ
        default:
            return c;
    }
}

}  // namespace zentor

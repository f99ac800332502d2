// Windows-1251 <-> UTF-8 conversion for the configuration file and fixed
// single-byte texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zentor {

std::string Cp1251ToUtf8(std::string_view bytes);
// Characters with no Windows-1251 form become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
// The Windows-1251 form of `utf8`, or nullopt when it is not valid UTF-8 or
// holds a character with no Windows-1251 form; *offending then gets that
// character (empty for invalid UTF-8).
std::optional<std::string> Utf8ToCp1251Exact(std::string_view utf8,
                                             std::string* offending = nullptr);
// Upper-case fold of one Windows-1251 byte (Latin and Cyrillic letters).
unsigned char Cp1251ToUpper(unsigned char c);

}  // namespace zentor

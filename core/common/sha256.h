// SHA-256 (FIPS 180-4) of a byte string or a file, as 64 lower-case hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zentor {

std::string Sha256Hex(const std::uint8_t* data, std::size_t size);
inline std::string Sha256Hex(const std::vector<std::uint8_t>& bytes) {
    return Sha256Hex(bytes.data(), bytes.size());
}
// nullopt when the file cannot be read.
std::optional<std::string> Sha256OfFile(const std::filesystem::path& path);

}  // namespace zentor

// File helpers for the bare-named image files of the working folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zentor {

// Equal apart from the letter case of ASCII letters (file names as Windows compares them).
bool EqualNoCase(const std::string& a, const std::string& b);

// The path of the file named `name` in `dir`, matching the name without regard
// to letter case (as on Windows). When no such file exists, dir / name.
std::filesystem::path ResolveNoCase(const std::filesystem::path& dir, const std::string& name);
bool ExistsNoCase(const std::filesystem::path& dir, const std::string& name);

// Whole file, or nullopt when it cannot be opened.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path);

// Writes to a temporary name in the same folder, flushes, and renames into
// place, so readers never see a partial file. False when any step failed (then
// the old file, if any, is untouched). An existing file keeps its owner, group
// and mode. It is rewritten in place instead (a crash may then leave it partly
// written) when it has more than one hard link, or when the replacement could
// not be given the old owner (a writer that is neither root nor the owner).
// A symbolic link (a reparse point) at the name is replaced like an absent
// file, never written through.
bool WriteFileAtomic(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);
inline bool WriteFileAtomic(const std::filesystem::path& path, const std::vector<std::uint8_t>& d) {
    return WriteFileAtomic(path, d.data(), d.size());
}

}  // namespace zentor

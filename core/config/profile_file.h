// Reader and writer of the Windows profile ("ini") format. Names and values are
// Windows-1251 bytes; lookups fold letter case (Latin and Cyrillic). Writes change
// only the line of the key concerned and keep every other byte of the file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zentor {

// Longest value a lookup returns, in bytes.
inline constexpr std::size_t kProfileValueMax = 2047;

// The parsed text of one profile file.
class ProfileText {
public:
    ProfileText() = default;
    // Any bytes are accepted; lines end with LF or CR LF, the last may have none.
    explicit ProfileText(std::string_view bytes);

    // True when `section` (its first occurrence) holds a line "key=...".
    bool HasKey(std::string_view section, std::string_view key) const;
    // The value, trimmed, with one pair of surrounding matching quotes removed,
    // cut at a NUL and at kProfileValueMax bytes; `def` when the key is absent.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def) const;
    // Replaces the first "key=" line of the first such section, or adds the key
    // at the end of the section, or adds the section at the end of the text.
    // A line break in `value` ends it.
    void SetString(std::string_view section, std::string_view key, std::string_view value);

    std::string Bytes() const;

private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        std::string text;  // without its line end
        std::string eol;   // "\r\n", "\n" or "" (last line only)
        Kind kind = Kind::Other;
        std::string name;   // section name or key, trimmed
        std::string value;  // entry value, trimmed
    };

    static Line Classify(std::string text, std::string eol);
    // Index of the header of the first section named `section`, or npos.
    std::size_t FindSection(std::string_view section) const;
    // Index of the first entry `key` after the header at `header`, or npos.
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    void InsertAfter(std::size_t index, std::string text);

    std::vector<Line> lines_;
};

// Writes the whole new content of `path`; false on failure.
using ProfileWriter =
    std::function<bool(const std::filesystem::path& path, const std::string& bytes)>;

// Atomic replace of the file (see WriteFileAtomic: owner, group, mode and hard
// links are kept); refuses a file without write permission.
bool WriteProfileBytes(const std::filesystem::path& path, const std::string& bytes);

// One pass over a profile file: read once when opened, every write sent to disk
// at once.
class ProfileFile {
public:
    explicit ProfileFile(std::filesystem::path path, ProfileWriter writer = WriteProfileBytes);

    const std::filesystem::path& Path() const { return path_; }
    const ProfileText& Text() const { return text_; }

    bool HasKey(std::string_view section, std::string_view key) const {
        return text_.HasKey(section, key);
    }
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def) const {
        return text_.GetString(section, key, def);
    }
    // False when the file could not be written (or existed but could not be
    // read: it is then never overwritten); *error gets "Unable to write to " + path.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                     std::string* error = nullptr);

private:
    std::filesystem::path path_;
    ProfileWriter writer_;
    ProfileText text_;
    bool unreadable_ = false;
};

}  // namespace zentor

#include "config/profile_file.h"

#include <optional>
#include <system_error>
#include <utility>

#include "common/cp1251.h"
#include "common/files.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zentor {
namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Cp1251ToUpper(static_cast<unsigned char>(a[i])) !=
            Cp1251ToUpper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

ProfileText::ProfileText(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t nl = bytes.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines_.push_back(Classify(std::string(bytes.substr(pos)), ""));
            break;
        }
        std::size_t end = nl;
        std::string eol = "\n";
        if (end > pos && bytes[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        lines_.push_back(Classify(std::string(bytes.substr(pos, end - pos)), std::move(eol)));
        pos = nl + 1;
    }
}

ProfileText::Line ProfileText::Classify(std::string text, std::string eol) {
    Line line;
    std::string_view t = Trim(text);
    if (!t.empty() && t.front() == '[') {
        std::size_t close = t.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = std::string(Trim(t.substr(1, close - 1)));
        }
    }
    if (line.kind == Kind::Other && !t.empty() && t.front() != ';') {
        std::size_t eq = t.find('=');
        if (eq != std::string_view::npos) {
            line.kind = Kind::Entry;
            line.name = std::string(Trim(t.substr(0, eq)));
            line.value = std::string(Trim(t.substr(eq + 1)));
        }
    }
    line.text = std::move(text);
    line.eol = std::move(eol);
    return line;
}

std::size_t ProfileText::FindSection(std::string_view section) const {
    std::string_view want = Trim(section);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && SameName(lines_[i].name, want)) return i;
    }
    return std::string::npos;
}

std::size_t ProfileText::FindKey(std::size_t header, std::string_view key) const {
    std::string_view want = Trim(key);
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section) break;
        if (lines_[i].kind == Kind::Entry && SameName(lines_[i].name, want)) return i;
    }
    return std::string::npos;
}

bool ProfileText::HasKey(std::string_view section, std::string_view key) const {
    std::size_t s = FindSection(section);
    return s != std::string::npos && FindKey(s, key) != std::string::npos;
}

std::string ProfileText::GetString(std::string_view section, std::string_view key,
                                   std::string_view def) const {
    std::size_t s = FindSection(section);
    std::size_t k = s == std::string::npos ? s : FindKey(s, key);
    if (k == std::string::npos) return std::string(def.substr(0, kProfileValueMax));
    std::string_view v = lines_[k].value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    v = v.substr(0, v.find('\0'));
    return std::string(v.substr(0, kProfileValueMax));
}

void ProfileText::InsertAfter(std::size_t index, std::string text) {
    if (!lines_.empty() && index < lines_.size() && lines_[index].eol.empty()) {
        lines_[index].eol = "\r\n";
    }
    std::size_t at = lines_.empty() ? 0 : index + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  Classify(std::move(text), "\r\n"));
}

void ProfileText::SetString(std::string_view section, std::string_view key,
                            std::string_view value) {
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    std::string_view sec = Trim(section);
    std::string_view k = Trim(key);
    std::size_t s = FindSection(sec);
    if (s == std::string::npos) {
        std::size_t last = lines_.empty() ? 0 : lines_.size() - 1;
        InsertAfter(last, "[" + std::string(sec) + "]");
        InsertAfter(lines_.size() - 1, std::string(k) + "=" + std::string(value));
        return;
    }
    std::size_t found = FindKey(s, k);
    if (found != std::string::npos) {
        // Keep the key as the file spells it.
        Line& line = lines_[found];
        line = Classify(line.name + "=" + std::string(value), std::move(line.eol));
        return;
    }
    // After the last entry of the section (comments and blank lines before the
    // next header stay with that header).
    std::size_t after = s;
    for (std::size_t i = s + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i) {
        std::string_view t = Trim(lines_[i].text);
        if (!t.empty() && t.front() != ';') after = i;
    }
    InsertAfter(after, std::string(k) + "=" + std::string(value));
}

std::string ProfileText::Bytes() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.eol;
    }
    return out;
}

bool WriteProfileBytes(const fs::path& path, const std::string& bytes) {
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    const bool exists = st.type() != fs::file_type::not_found;
    if (exists && ec) return false;
    // Replace the file a link points to, not the link.
    fs::path target = path;
    if (exists && fs::is_symlink(fs::symlink_status(path, ec))) {
        target = fs::canonical(path, ec);
        if (ec) return false;
    }
    if (exists) {
        if (!fs::is_regular_file(st)) return false;
        // A read-only file stays as it is, even for a user who could replace it.
        constexpr fs::perms kWrite =
            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        if ((st.permissions() & kWrite) == fs::perms::none) return false;
#ifndef _WIN32
        if (::access(path.c_str(), W_OK) != 0) return false;
#endif
    }
    // Owner, group and mode of an existing file are kept.
    return WriteFileAtomic(target, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           bytes.size());
}

ProfileFile::ProfileFile(fs::path path, ProfileWriter writer)
    : path_(std::move(path)), writer_(std::move(writer)) {
    std::error_code ec;
    fs::file_status st = fs::status(path_, ec);
    if (st.type() == fs::file_type::not_found) return;
    if (ec) {
        unreadable_ = true;
        return;
    }
    std::optional<std::vector<std::uint8_t>> data;
    if (fs::is_regular_file(st)) data = ReadWholeFile(path_);
    if (!data) {
        unreadable_ = true;
        return;
    }
    text_ =
        ProfileText(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value, std::string* error) {
    ProfileText next = text_;
    next.SetString(section, key, value);
    if (unreadable_ || !writer_ || !writer_(path_, next.Bytes())) {
        if (error) *error = "Unable to write to " + path_.string();
        return false;
    }
    text_ = std::move(next);
    return true;
}

}  // namespace zentor

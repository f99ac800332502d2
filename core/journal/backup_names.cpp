#include "journal/backup_names.h"

#include <algorithm>
#include <regex>
#include <system_error>

namespace zentor {
namespace fs = std::filesystem;

namespace {

const std::regex& BackupPattern() {
    static const std::regex pattern(
        R"(^([0-9]{2,3}v[0-9]{6,9})_([0-9]{8}-[0-9]{6})(-[0-9]+)?_data\.bin$)", std::regex::icase);
    return pattern;
}

}  // namespace

std::optional<std::string> BackupSerial(const fs::path& file) {
    std::smatch m;
    const std::string name = file.filename().string();
    if (!std::regex_match(name, m, BackupPattern())) return std::nullopt;
    std::string serial = m[1].str();
    serial[serial.find_first_of("vV")] = 'v';
    return serial;
}

std::optional<std::string> BackupTime(const fs::path& file) {
    std::smatch m;
    const std::string name = file.filename().string();
    if (!std::regex_match(name, m, BackupPattern())) return std::nullopt;
    return m[2].str();
}

namespace {

// The newest by the time in the name (then the -n of a second backup within the
// same second) among those whose serial `wanted` accepts.
template <typename Wanted>
std::optional<fs::path> Newest(const fs::path& folder, Wanted wanted) {
    std::optional<fs::path> best;
    std::string bestKey;
    std::error_code ec;
    for (fs::directory_iterator it(folder / "backup", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::smatch m;
        const std::string name = it->path().filename().string();
        if (!std::regex_match(name, m, BackupPattern()) || !wanted(*BackupSerial(name))) continue;
        const std::string n = m[3].matched ? m[3].str().substr(1) : "1";
        const std::string key =
            m[2].str() + std::string(8 - std::min<std::size_t>(n.size(), 8), '0') + n;
        if (!best || key > bestKey) {
            best = it->path();
            bestKey = key;
        }
    }
    return best;
}

}  // namespace

std::optional<fs::path> NewestBackup(const fs::path& folder, const std::string& serial) {
    return Newest(folder, [&](const std::string& s) { return s == serial; });
}

std::optional<fs::path> NewestBackupOfAny(const fs::path& folder) {
    return Newest(folder, [](const std::string&) { return true; });
}

}  // namespace zentor

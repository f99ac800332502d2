#include "update/update_files.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <regex>
#include <system_error>

#include "common/files.h"
#include "journal/backup_names.h"
#include "text/message.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

// dir/stem + suffix, or with "-2", "-3", ... after the stem when that name is taken;
// with `first` above 1 the numbered names start there.
fs::path FreeName(const fs::path& dir, const std::string& stem, const std::string& suffix,
                  long first = 1) {
    auto name = [&](long n) {
        return dir / (stem + (n > 1 ? "-" + std::to_string(n) : std::string()) + suffix);
    };
    std::error_code ec;
    fs::path candidate = name(first);
    for (long n = std::max(first, 1L) + 1; fs::exists(candidate, ec) || ec; ++n) {
        candidate = name(n);
        if (n > first + 999) break;
    }
    return candidate;
}

// A set-aside reading data_rd.<time>[-n].bak of backup/: its time and number.
struct SetAside {
    std::string time;
    long number = 1;
    fs::path file;
    bool operator<(const SetAside& o) const {
        return time != o.time ? time < o.time : number < o.number;
    }
};

// The set-aside readings in `dir`, oldest first; every other file is left out.
std::vector<SetAside> SetAsideReadings(const fs::path& dir) {
    static const std::regex pattern(R"(^data_rd\.([0-9]{8}-[0-9]{6})(?:-([0-9]{1,9}))?\.bak$)",
                                    std::regex::icase);
    std::vector<SetAside> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::smatch m;
        const std::string name = it->path().filename().string();
        if (!std::regex_match(name, m, pattern)) continue;
        out.push_back({m[1].str(), m[2].matched ? std::stol(m[2].str()) : 1, it->path()});
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A name in `dir` newer than every set-aside reading of this second, so that it
// is never the one the pruning takes first.
fs::path SetAsideName(const fs::path& dir) {
    const std::string time = UpdateTimeStamp();
    long number = 1;
    for (const auto& r : SetAsideReadings(dir))
        if (r.time == time) number = std::max(number, r.number + 1);
    return FreeName(dir, "data_rd." + time, ".bak", number);
}

// Removes all but the newest `keep` set-aside readings in `dir`.
void PruneSetAside(const fs::path& dir, std::size_t keep) {
    const auto readings = SetAsideReadings(dir);
    std::error_code ec;
    for (std::size_t i = 0; i + keep < readings.size(); ++i) fs::remove(readings[i].file, ec);
}

}  // namespace

std::string UpdateTimeStamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

std::string RelativeText(const fs::path& path, const fs::path& base) {
    std::error_code ec;
    fs::path rel = fs::relative(path, base, ec);
    const bool below = !ec && !rel.empty() && *rel.begin() != "..";
    return (below ? rel : path).generic_string();
}

Message BackupLine(const Job& s, const fs::path& backup) {
    return ZT("update.backup", "Резервная копия DATA FLASH: {0}", RelativeText(backup, s.workDir));
}

bool SetAsideOldReading(Job& s) {
    const fs::path dir = s.workDir / "backup";
    for (int guard = 0; guard < 16 && ExistsNoCase(s.workDir, "data_rd.bin"); ++guard) {
        const fs::path old = ResolveNoCase(s.workDir, "data_rd.bin");
        std::error_code ec;
        fs::create_directories(dir, ec);
        const fs::path target = SetAsideName(dir);
        if (!ec) fs::rename(old, target, ec);
        if (ec) {
            s.ui.Say(ZT("file.cannot_rename", "Невозможно переименовать файл {0}",
                        old.filename().string()));
            return false;
        }
        s.ui.Say(ZT("update.reading_set_aside", "Файл {0} прежнего чтения переименован в {1}",
                    old.filename().string(), RelativeText(target, s.workDir)));
        PruneSetAside(dir, kKeptReadings);
    }
    if (ExistsNoCase(s.workDir, "data_rd.bin")) {
        s.ui.Say(ZT("file.cannot_rename", "Невозможно переименовать файл {0}", "data_rd.bin"));
        return false;
    }
    return true;
}

std::optional<fs::path> BackUpReading(Job& s, const std::vector<std::uint8_t>& data) {
    // A re-run reads what the last run read: its backup already holds these bytes.
    if (auto newest = NewestBackup(s.workDir, s.SerialText);
        newest && ReadWholeFile(*newest) == std::optional<std::vector<std::uint8_t>>(data)) {
        s.ui.Say(BackupLine(s, *newest));
        return newest;
    }
    const fs::path dir = s.workDir / "backup";
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path target = FreeName(dir, s.SerialText + "_" + UpdateTimeStamp(), "_data.bin");
    if (ec || !WriteFileAtomic(target, data)) {
        s.ui.Say(ZT("update.backup_failed", "Невозможно сохранить резервную копию DATA FLASH: {0}",
                    RelativeText(target, s.workDir)));
        return std::nullopt;
    }
    s.ui.Say(BackupLine(s, target));
    return target;
}

}  // namespace zentor

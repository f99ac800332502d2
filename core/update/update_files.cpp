#include "update/update_files.h"

#include <chrono>
#include <ctime>
#include <system_error>

#include "common/files.h"
#include "update/backup_names.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

// dir/stem + suffix, or with "-2", "-3", ... after the stem when that name is taken.
fs::path FreeName(const fs::path& dir, const std::string& stem, const std::string& suffix) {
    std::error_code ec;
    fs::path candidate = dir / (stem + suffix);
    for (int n = 2; fs::exists(candidate, ec) || ec; ++n) {
        candidate = dir / (stem + "-" + std::to_string(n) + suffix);
        if (n > 1000) break;
    }
    return candidate;
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

std::string BackupLine(const Session& s, const fs::path& backup) {
    return "Резервная копия DATA FLASH: " + RelativeText(backup, s.workDir);
}

bool SetAsideOldReading(Session& s) {
    for (int guard = 0; guard < 16 && ExistsNoCase(s.workDir, "data_rd.bin"); ++guard) {
        const fs::path old = ResolveNoCase(s.workDir, "data_rd.bin");
        const fs::path target = FreeName(s.workDir, "data_rd." + UpdateTimeStamp(), ".bak");
        std::error_code ec;
        fs::rename(old, target, ec);
        if (ec) {
            s.ui.AppendLine("Невозможно переименовать файл " + old.filename().string());
            return false;
        }
        s.ui.AppendLine("Файл " + old.filename().string() + " прежнего чтения переименован в " +
                        target.filename().string());
    }
    if (ExistsNoCase(s.workDir, "data_rd.bin")) {
        s.ui.AppendLine("Невозможно переименовать файл data_rd.bin");
        return false;
    }
    return true;
}

std::optional<fs::path> BackUpReading(Session& s, const std::vector<std::uint8_t>& data) {
    // A re-run reads what the last run read: its backup already holds these bytes.
    if (auto newest = NewestBackup(s.workDir, s.SerialText);
        newest && ReadWholeFile(*newest) == std::optional<std::vector<std::uint8_t>>(data)) {
        s.ui.AppendLine(BackupLine(s, *newest));
        return newest;
    }
    const fs::path dir = s.workDir / "backup";
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path target = FreeName(dir, s.SerialText + "_" + UpdateTimeStamp(), "_data.bin");
    if (ec || !WriteFileAtomic(target, data)) {
        s.ui.AppendLine("Невозможно сохранить резервную копию DATA FLASH: " +
                        RelativeText(target, s.workDir));
        return std::nullopt;
    }
    s.ui.AppendLine(BackupLine(s, target));
    return target;
}

}  // namespace zentor

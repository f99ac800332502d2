#include "update/update_keep.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "bootrom/program_chip.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "journal/instrument_run.h"
#include "journal/journal_runs.h"
#include "update/update_files.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

constexpr int kDataLooks = 6;
constexpr std::uintmax_t kMaxSourceSize = 65536;
// The backup is the only copy of the calibration: one unconfirmed reading never is.
constexpr int kMinKeepReadings = 2;

// What the read accepted, with MaxKolReadings raised to kMinKeepReadings for the
// call. Empty when it failed or wrote no data_rd.bin.
std::optional<std::vector<std::uint8_t>> ReadForKeeping(Session& s) {
    struct ReadingsGuard {
        Session& s;
        int saved;
        ~ReadingsGuard() { s.settings.MaxKolReadings = saved; }
    } guard{s, s.settings.MaxKolReadings};
    s.settings.MaxKolReadings = std::max(kMinKeepReadings, guard.saved);
    const std::optional<std::vector<std::uint8_t>> bytes =
        ReadDataFlash(s, {.restartAfterwards = false});
    bool found = false;
    for (int look = 0; look < kDataLooks && !found; ++look) {
        s.clock.SleepMs(1000);
        found = bytes && ExistsNoCase(s.workDir, "data_rd.bin");
    }
    if (!found) {
        s.ui.AppendLine("Файл data_rd.bin не обнаружен!");
        return std::nullopt;
    }
    return bytes;
}

// The serial's last update reached the erase and did not end well: what its
// DATA FLASH holds now may be partial, so that run's backup is written back.
// Empty optional: no such run. Inner empty: there is one, but no usable backup.
std::optional<std::optional<KeepData>> FailedRunBackup(Session& s) {
    auto failed = LatestUnfinishedUpdate(JournalPathFor(s), s.SerialText);
    if (!failed) return std::nullopt;
    s.ui.AppendLine("Прежнее обновление прибора " + s.SerialText + " (" + failed->run.startTime +
                    "): " + failed->reason + " - DATA FLASH прибора может быть неполной");
    if (!failed->backup) {
        s.ui.AppendLine(
            "Резервной копии DATA FLASH того обновления нет - сохранить текущие настройки "
            "нельзя, обновление отменено");
        return std::optional<KeepData>{};
    }
    auto bytes = LoadDataSource(s, *failed->backup);
    if (!bytes) return std::optional<KeepData>{};
    s.ui.AppendLine("Вместо нового чтения записывается его резервная копия: " +
                    RelativeText(*failed->backup, s.workDir));
    return std::optional<KeepData>{
        KeepData{std::move(*bytes), *failed->backup, RelativeText(*failed->backup, s.workDir)}};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> LoadDataSource(Session& s, const fs::path& path) {
    const std::string shown = path.filename().string();
    std::error_code ec;
    const bool file = fs::is_regular_file(path, ec);
    const auto size = file ? fs::file_size(path, ec) : 0;
    std::optional<std::vector<std::uint8_t>> bytes;
    if (file && !ec && size <= kMaxSourceSize) bytes = ReadWholeFile(path);
    if (!file || ec || (size <= kMaxSourceSize && !bytes)) {
        s.ui.AppendLine("Невозможно открыть файл " + path.generic_string());
        return std::nullopt;
    }
    if (!bytes || bytes->empty()) {
        const char* why = bytes ? " пуст" : " больше 65536 байт";
        s.ui.AppendLine("Файл " + shown + why + " - запись отменена");
        return std::nullopt;
    }
    if (!CheckProgramChipInputs(s,
                                UpdateProgramOptions(s.settings.TypeController, UpdateMode::Keep),
                                static_cast<int>(bytes->size())))
        return std::nullopt;
    return bytes;
}

std::optional<KeepData> PrepareKeepData(Session& s, const UpdateOptions& options,
                                        const std::function<void()>& enterBusy) {
    if (options.dataFrom) {
        auto bytes = LoadDataSource(s, *options.dataFrom);
        if (!bytes) return std::nullopt;
        const std::string shown = RelativeText(*options.dataFrom, s.workDir);
        s.ui.AppendLine("DATA FLASH из файла " + shown);
        return KeepData{std::move(*bytes), *options.dataFrom, shown};
    }
    if (auto failed = FailedRunBackup(s)) return *failed;
    // What the read gets is written back: a size it refuses, or nothing read at
    // all, must not lead to an erase of the instrument's settings.
    const int size = s.settings.SizeData;
    std::optional<std::string> refusal = DataSizeRefusal(size);
    if (!refusal && size == 0)
        refusal = "Размер данных 0 байт - сохранить текущие настройки нельзя";
    if (refusal) {
        s.ui.AppendLine(*refusal);
        return std::nullopt;
    }
    if (!CheckProgramChipInputs(
            s, UpdateProgramOptions(s.settings.TypeController, UpdateMode::Keep), size))
        return std::nullopt;
    enterBusy();
    if (!SetAsideOldReading(s)) return std::nullopt;
    auto reading = ReadForKeeping(s);
    if (!reading) return std::nullopt;
    // The calibration is on disk under its own name before the chip is touched.
    auto backup = BackUpReading(s, *reading);
    if (!backup) return std::nullopt;
    return KeepData{std::move(*reading), *backup, "data_rd.bin (чтение)"};
}

}  // namespace zentor

#include "update/update_keep.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "bootrom/program_chip.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "journal/backup_names.h"
#include "journal/journal_runs.h"
#include "station/backup_offer.h"
#include "station/instrument_run.h"
#include "update/update_files.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

constexpr int kDataLooks = 6;
constexpr std::uintmax_t kMaxSourceSize = 65536;
// The backup is the only copy of the calibration: one unconfirmed reading never is.
constexpr int kMinKeepReadings = 2;

// What the read accepted, at least kMinKeepReadings agreeing. Empty when it
// failed or wrote no data_rd.bin.
std::optional<std::vector<std::uint8_t>> ReadForKeeping(Job& s) {
    const std::optional<std::vector<std::uint8_t>> bytes =
        ReadDataFlash(s, {.restartAfterwards = false, .minReadings = kMinKeepReadings});
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

std::string Hex(std::size_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04zXh", value);
    return text;
}

// The journal holds an open failure of this instrument: its backup is a
// candidate, weighed against the reading this run just made. Returns the bytes to
// write, or empty (after its log lines) when the run must stop before Prog.
std::optional<KeepData> WeighOpenFailure(Job& s, const UpdateOptions& options,
                                         const ProgramPlan& plan, const UnfinishedUpdate& failed,
                                         KeepData reading) {
    s.ui.AppendLine("Прежнее обновление прибора " + s.SerialText + " (" + failed.run.startTime +
                    "): " + failed.reason + " - DATA FLASH прибора может быть неполной");
    std::optional<std::vector<std::uint8_t>> candidate;
    if (failed.backup) candidate = LoadDataSource(s, plan, *failed.backup);
    if (candidate && *candidate == reading.bytes) {
        s.ui.AppendLine("Чтение совпадает с его резервной копией: " +
                        RelativeText(*failed.backup, s.workDir));
        return reading;
    }
    std::string differs;
    if (candidate) {
        std::size_t first = std::string::npos, count = 0;
        const std::size_t n = std::max(candidate->size(), reading.bytes.size());
        for (std::size_t i = 0; i < n; ++i) {
            const bool same = i < candidate->size() && i < reading.bytes.size() &&
                              (*candidate)[i] == reading.bytes[i];
            if (same) continue;
            if (first == std::string::npos) first = i;
            ++count;
        }
        differs = "Резервная копия того обновления (" + failed.run.startTime +
                  "): " + RelativeText(*failed.backup, s.workDir) +
                  "\nНовое чтение отличается от неё: байт " + std::to_string(count) +
                  ", первое отличие по смещению " + Hex(first);
    } else {
        differs = "Резервной копии DATA FLASH того обновления нет";
    }
    s.ui.AppendLine(differs);
    using Choice = UpdateOptions::OpenFailure;
    Choice choice = options.openFailure;
    if (choice == Choice::Ask) {
        if (candidate && s.ui.AskYesNo(differs + "\n\nЗаписать в DATA FLASH резервную копию?",
                                       s.caption, MessageIcon::Question)) {
            s.ui.AppendLine("Вместо нового чтения записывается его резервная копия: " +
                            RelativeText(*failed.backup, s.workDir));
            return KeepData{std::move(*candidate), *failed.backup,
                            RelativeText(*failed.backup, s.workDir)};
        }
        if (s.ui.AskYesNo(differs + "\n\nЗаписать в DATA FLASH новое чтение?", s.caption,
                          MessageIcon::Question))
            choice = Choice::TakeReading;
    }
    if (choice == Choice::TakeReading) {
        s.ui.AppendLine("Записывается новое чтение");
        return reading;
    }
    if (!candidate)
        s.ui.AppendLine(
            "Резервной копии DATA FLASH того обновления нет - сохранить текущие настройки "
            "нельзя, обновление отменено");
    else
        s.ui.AppendLine("Обновление отменено: устройство не изменено");
    if (options.openFailure == Choice::Refuse) {
        s.ui.AppendLine("Выберите, что записать в DATA FLASH:");
        if (candidate)
            s.ui.AppendLine("  резервную копию: " + DataFromCommandLine(s, *failed.backup));
        s.ui.AppendLine("  новое чтение:    " + UseReadingCommandLine(s));
    }
    return std::nullopt;
}

// A --data-from file named for another instrument than the one connected.
bool NamedForAnother(Job& s, const UpdateOptions& options) {
    const auto named = BackupSerial(*options.dataFrom);
    if (!named || *named == s.SerialText || options.force) return false;
    s.ui.AppendLine("Файл " + RelativeText(*options.dataFrom, s.workDir) +
                    " - резервная копия прибора " + *named + ", подключено s/n " + s.SerialText +
                    ". Обновление отменено (--force: записать всё равно)");
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> LoadDataSource(Job& s, const ProgramPlan& plan,
                                                        const fs::path& path) {
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
    if (!DataFits(s, plan, static_cast<int>(bytes->size()), "data_rd.bin")) return std::nullopt;
    return bytes;
}

std::optional<KeepInputs> CheckKeepInputs(Job& s, const UpdateOptions& options,
                                          const ProgramPlan& plan) {
    KeepInputs inputs;
    if (options.dataFrom) {
        if (NamedForAnother(s, options)) return std::nullopt;
        inputs.named = LoadDataSource(s, plan, *options.dataFrom);
        if (!inputs.named) return std::nullopt;
    }
    // The instrument's own DATA FLASH is read and backed up whatever is written
    // back: what it holds now must be in a file before anything is erased.
    const int size = s.settings.SizeData;
    std::optional<std::string> refusal = DataSizeRefusal(size);
    if (!refusal && size == 0)
        refusal = "Размер данных 0 байт - сохранить текущие настройки нельзя";
    if (refusal) {
        s.ui.AppendLine(*refusal);
        return std::nullopt;
    }
    if (!DataFits(s, plan, size, "data_rd.bin")) return std::nullopt;
    return inputs;
}

std::optional<KeepData> PrepareKeepData(Job& s, const UpdateOptions& options,
                                        const ProgramPlan& plan,
                                        const std::function<void()>& enterBusy) {
    auto inputs = CheckKeepInputs(s, options, plan);
    if (!inputs) return std::nullopt;
    std::optional<std::vector<std::uint8_t>>& named = inputs->named;
    enterBusy();
    if (!SetAsideOldReading(s)) return std::nullopt;
    std::optional<UnfinishedUpdate> failed;
    if (auto lines = ReadJournalsFor(s))
        failed = LatestUnfinishedUpdate(MergeRuns(*lines), s.SerialText);
    auto reading = ReadForKeeping(s);
    if (!reading) {
        if (failed && failed->backup && !named)
            s.ui.AppendLine("Резервная копия прежнего обновления: " +
                            DataFromCommandLine(s, *failed->backup));
        return std::nullopt;
    }
    // The calibration is on disk under its own name before the chip is touched.
    auto backup = BackUpReading(s, *reading);
    if (!backup) return std::nullopt;
    if (named) {
        const std::string shown = RelativeText(*options.dataFrom, s.workDir);
        s.ui.AppendLine("DATA FLASH из файла " + shown);
        return KeepData{std::move(*named), *backup, shown};
    }
    KeepData fromReading{std::move(*reading), *backup, "data_rd.bin (чтение)"};
    if (!failed) return fromReading;
    return WeighOpenFailure(s, options, plan, *failed, std::move(fromReading));
}

}  // namespace zentor

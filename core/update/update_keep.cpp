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
#include "text/message.h"
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
        s.ui.Say(ZT("file.not_found", "Файл {0} не обнаружен!", "data_rd.bin"));
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
    s.ui.Say(
        ZT("keep.earlier_update",
           "Прежнее обновление прибора {0} ({1}): {2} - DATA FLASH прибора может быть неполной",
           s.SerialText, failed.run.startTime, failed.reason));
    std::optional<std::vector<std::uint8_t>> candidate;
    if (failed.backup) candidate = LoadDataSource(s, plan, *failed.backup);
    if (candidate && *candidate == reading.bytes) {
        s.ui.Say(ZT("keep.reading_equals_backup", "Чтение совпадает с его резервной копией: {0}",
                    RelativeText(*failed.backup, s.workDir)));
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
        differs = Render(ZT("keep.backup_differs",
                            "Резервная копия того обновления ({0}): {1}\nНовое чтение отличается "
                            "от неё: байт {2}, первое отличие по смещению {3}",
                            failed.run.startTime, RelativeText(*failed.backup, s.workDir), count,
                            Hex(first)));
    } else {
        differs = Render(ZT("keep.no_backup", "Резервной копии DATA FLASH того обновления нет"));
    }
    s.ui.AppendLine(differs);
    using Choice = UpdateOptions::OpenFailure;
    Choice choice = options.openFailure;
    if (choice == Choice::Ask) {
        if (candidate && s.ui.AskYesNo(differs + "\n\n" +
                                           Render(ZT("keep.ask_backup",
                                                     "Записать в DATA FLASH резервную копию?")),
                                       s.caption, MessageIcon::Question)) {
            s.ui.Say(ZT("keep.writing_backup",
                        "Вместо нового чтения записывается его резервная копия: {0}",
                        RelativeText(*failed.backup, s.workDir)));
            return KeepData{std::move(*candidate), *failed.backup,
                            RelativeText(*failed.backup, s.workDir)};
        }
        if (s.ui.AskYesNo(differs + "\n\n" +
                              Render(ZT("keep.ask_reading", "Записать в DATA FLASH новое чтение?")),
                          s.caption, MessageIcon::Question))
            choice = Choice::TakeReading;
    }
    if (choice == Choice::TakeReading) {
        s.ui.Say(ZT("keep.writing_reading", "Записывается новое чтение"));
        return reading;
    }
    if (!candidate)
        s.ui.Say(ZT("keep.no_backup_cancelled",
                    "Резервной копии DATA FLASH того обновления нет - сохранить текущие настройки "
                    "нельзя, обновление отменено"));
    else
        s.ui.Say(ZT("keep.cancelled", "Обновление отменено: устройство не изменено"));
    if (options.openFailure == Choice::Refuse) {
        s.ui.Say(ZT("keep.choose", "Выберите, что записать в DATA FLASH:"));
        if (candidate)
            s.ui.Say(ZT("keep.choose_backup", "  резервную копию: {0}",
                        DataFromCommandLine(s, *failed.backup)));
        s.ui.Say(ZT("keep.choose_reading", "  новое чтение:    {0}", UseReadingCommandLine(s)));
    }
    return std::nullopt;
}

// A --data-from file named for another instrument than the one connected.
bool NamedForAnother(Job& s, const UpdateOptions& options) {
    const auto named = BackupSerial(*options.dataFrom);
    if (!named || *named == s.SerialText || options.force) return false;
    s.ui.Say(ZT("keep.other_serial",
                "Файл {0} - резервная копия прибора {1}, подключено s/n {2}. Обновление отменено "
                "(--force: записать всё равно)",
                RelativeText(*options.dataFrom, s.workDir), *named, s.SerialText));
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
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", path.generic_string()));
        return std::nullopt;
    }
    if (!bytes || bytes->empty()) {
        s.ui.Say(bytes ? ZT("keep.source_empty", "Файл {0} пуст - запись отменена", shown)
                       : ZT("keep.source_too_large", "Файл {0} больше 65536 байт - запись отменена",
                            shown));
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
        refusal = Render(
            ZT("keep.size_zero", "Размер данных 0 байт - сохранить текущие настройки нельзя"));
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
            s.ui.Say(ZT("keep.earlier_backup", "Резервная копия прежнего обновления: {0}",
                        DataFromCommandLine(s, *failed->backup)));
        return std::nullopt;
    }
    // The calibration is on disk under its own name before the chip is touched.
    auto backup = BackUpReading(s, *reading);
    if (!backup) return std::nullopt;
    if (named) {
        const std::string shown = RelativeText(*options.dataFrom, s.workDir);
        s.ui.Say(ZT("keep.data_from", "DATA FLASH из файла {0}", shown));
        return KeepData{std::move(*named), *backup, shown};
    }
    KeepData fromReading{std::move(*reading), *backup, "data_rd.bin (чтение)"};
    if (!failed) return fromReading;
    return WeighOpenFailure(s, options, plan, *failed, std::move(fromReading));
}

}  // namespace zentor

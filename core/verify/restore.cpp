#include "verify/restore.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "common/files.h"
#include "common/image_file.h"
#include "common/sha256.h"
#include "instrument/identify.h"
#include "instrument/instrument_commands.h"
#include "journal/journal.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

RunResult ResultOf(RestoreOutcome outcome) {
    switch (outcome) {
        case RestoreOutcome::Equal:
            return RunResult::Ok;
        case RestoreOutcome::Refused:
            return RunResult::Refused;
        default:
            return RunResult::Failed;
    }
}

RestoreReport Ends(Job& s, RestoreOutcome outcome, const std::string& line) {
    RestoreReport r;
    r.outcome = outcome;
    r.verdict = line;
    s.ui.AppendLine(line);
    s.run.result = ResultOf(outcome);
    if (s.run.result != RunResult::Refused || s.run.note.empty()) s.run.note = line;
    return r;
}

// The whole file when its size is whole pages within 64 KiB and exactly the
// instrument's DATA FLASH (SizeData): a shorter file would leave the rest of the
// old calibration in place, a longer one writes pages the instrument lacks.
// Logs why not.
std::optional<std::vector<std::uint8_t>> LoadBackup(Job& s, const fs::path& file) {
    const std::string name = file.filename().string();
    ImageLoad image = LoadImageFile(file);
    if (image.error == ImageError::TooLarge) {
        s.ui.AppendLine("Файл " + name + " больше 65536 байт");
        return std::nullopt;
    }
    if (!image.Loaded()) {
        s.ui.AppendLine("Невозможно открыть файл " + name);
        return std::nullopt;
    }
    if (image.bytes.empty() || image.bytes.size() % kPageSize != 0) {
        s.ui.AppendLine("Размер файла " + name + " (" + std::to_string(image.bytes.size()) +
                        " байт) - не целое число страниц по 256 байт");
        return std::nullopt;
    }
    const int size = s.settings.SizeData;
    if (image.bytes.size() != static_cast<std::size_t>(std::max(size, 0))) {
        s.ui.AppendLine("Размер файла " + name + " (" + std::to_string(image.bytes.size()) +
                        " байт) не равен размеру DATA FLASH устройства (" + std::to_string(size) +
                        " байт, настройка \"Размер данных (чтение), байт\")");
        return std::nullopt;
    }
    return std::move(image.bytes);
}

}  // namespace

RestoreReport RestoreDataFlash(Job& s, const RestoreRequest& request) {
    const std::string name = request.file.filename().string();
    s.run.dataSource = PathToUtf8(request.file);
    s.run.backupPath = s.run.dataSource;
    s.run.serial = BackupSerial(request.file).value_or("");
    const auto image = LoadBackup(s, request.file);
    if (!image) return Ends(s, RestoreOutcome::Refused, "Восстановление DATA FLASH отменено");
    s.run.dataSha256 = Sha256Hex(*image);
    s.run.phase = RunPhase::Link;
    s.ui.AppendLine("Восстановление DATA FLASH из " + name + " (" + std::to_string(image->size()) +
                    " байт)");

    if (!IdentifyInstrument(s)) {
        s.ui.AppendLine("Устройство не определено!");
        return Ends(s, RestoreOutcome::NoInstrument,
                    "Устройство, оставшееся в режиме загрузчика (boot ROM), на команды не "
                    "отвечает: его DATA FLASH восстанавливает обновление прошивки с этим файлом "
                    "в качестве данных");
    }
    const std::string serial = s.SerialText;
    s.run.serial = serial;
    s.run.model = std::to_string(s.identity.model);
    s.ui.AppendLine("Подключено устройство Velmar " + std::to_string(s.identity.model) +
                    "  s/n: " + serial);
    const auto named = BackupSerial(request.file);
    std::string mismatch;
    if (!named)
        mismatch = "В имени файла " + name + " нет серийного номера устройства.";
    else if (*named != serial)
        mismatch = "Файл " + name + " - резервная копия устройства s/n " + *named +
                   ", подключено s/n " + serial + ".";
    if (!mismatch.empty() && !request.force) {
        const bool yes =
            request.askOnMismatch && s.ui.AskYesNo(mismatch + "\n\nЗаписать всё равно?", s.caption,
                                                   MessageIcon::Exclamation);
        if (!yes) {
            s.ui.AppendLine(mismatch);
            s.run.note = mismatch;
            RestoreReport r =
                Ends(s, RestoreOutcome::Refused, "Восстановление DATA FLASH отменено");
            r.mismatch = true;
            return r;
        }
    }
    if (!mismatch.empty()) s.ui.AppendLine(mismatch + " Записывается по требованию.");

    s.run.phase = RunPhase::Data;
    if (!WriteDataFlashImage(s, *image))
        return Ends(s, RestoreOutcome::WriteFailed,
                    "Восстановление DATA FLASH не выполнено: ошибка записи");

    RestoreReport r;
    r.mismatch = !mismatch.empty();
    if (WaitForInstrument(s, request.answerSeconds) != WaitEnd::Answered)
        return Ends(s, RestoreOutcome::Unverified,
                    "Восстановление DATA FLASH: записано, но не проверено");
    if (s.SerialText != serial)
        return Ends(s, RestoreOutcome::Unverified,
                    "Восстановление DATA FLASH: записано, но ответило другое устройство s/n " +
                        s.SerialText);
    r.check = ReadBackAndCompare(s, *image, {});
    switch (r.check.outcome) {
        case VerifyOutcome::Equal:
            r.outcome = RestoreOutcome::Equal;
            r.verdict = "Восстановление DATA FLASH - Ok";
            break;
        case VerifyOutcome::Different:
            r.outcome = RestoreOutcome::Different;
            r.verdict = "Восстановление DATA FLASH не выполнено: прочитанное отличается от файла";
            break;
        default:
            r.outcome = RestoreOutcome::Unverified;
            r.verdict = "Восстановление DATA FLASH: записано, но не проверено";
            break;
    }
    s.ui.AppendLine(r.verdict);
    s.run.result = ResultOf(r.outcome);
    s.run.note = r.outcome == RestoreOutcome::Different ? r.check.verdict : r.verdict;
    return r;
}

const char* RestoreOutcomeText(RestoreOutcome outcome) {
    switch (outcome) {
        case RestoreOutcome::Equal:
            return "equal";
        case RestoreOutcome::Different:
            return "different";
        case RestoreOutcome::Refused:
            return "refused";
        case RestoreOutcome::NoInstrument:
            return "no-instrument";
        case RestoreOutcome::WriteFailed:
            return "write-failed";
        case RestoreOutcome::Unverified:
            return "unverified";
    }
    return "";
}

}  // namespace zentor

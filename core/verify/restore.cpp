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
#include "text/message.h"

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

RestoreReport Ends(Job& s, RestoreOutcome outcome, const Message& message) {
    const std::string line = Render(message);
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
        s.ui.Say(ZT("file.too_large", "Файл {0} больше 65536 байт", name));
        return std::nullopt;
    }
    if (!image.Loaded()) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", name));
        return std::nullopt;
    }
    if (image.bytes.empty() || image.bytes.size() % kPageSize != 0) {
        s.ui.Say(ZT("restore.not_pages",
                    "Размер файла {0} ({1} байт) - не целое число страниц по 256 байт", name,
                    image.bytes.size()));
        return std::nullopt;
    }
    const int size = s.settings.SizeData;
    if (image.bytes.size() != static_cast<std::size_t>(std::max(size, 0))) {
        s.ui.Say(ZT("restore.size_differs",
                    "Размер файла {0} ({1} байт) не равен размеру DATA FLASH устройства ({2} байт, "
                    "настройка \"Размер данных (чтение), байт\")",
                    name, image.bytes.size(), size));
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
    if (!image)
        return Ends(s, RestoreOutcome::Refused,
                    ZT("restore.cancelled", "Восстановление DATA FLASH отменено"));
    s.run.dataSha256 = Sha256Hex(*image);
    s.run.phase = RunPhase::Link;
    s.ui.Say(
        ZT("restore.start", "Восстановление DATA FLASH из {0} ({1} байт)", name, image->size()));

    if (!IdentifyInstrument(s)) {
        s.ui.Say(ZT("identify.failed", "Устройство не определено!"));
        return Ends(s, RestoreOutcome::NoInstrument,
                    ZT("restore.in_boot_rom",
                       "Устройство, оставшееся в режиме загрузчика (boot ROM), на команды не "
                       "отвечает: его DATA FLASH восстанавливает обновление прошивки с этим "
                       "файлом в качестве данных"));
    }
    const std::string serial = s.SerialText;
    s.run.serial = serial;
    s.run.model = std::to_string(s.identity.model);
    s.ui.Say(ZT("restore.connected", "Подключено устройство Velmar {0}  s/n: {1}", s.identity.model,
                serial));
    const auto named = BackupSerial(request.file);
    std::string mismatch;
    if (!named)
        mismatch = Render(
            ZT("restore.no_serial", "В имени файла {0} нет серийного номера устройства.", name));
    else if (*named != serial)
        mismatch = Render(ZT("restore.other_serial",
                             "Файл {0} - резервная копия устройства s/n {1}, подключено s/n {2}.",
                             name, *named, serial));
    if (!mismatch.empty() && !request.force) {
        const bool yes =
            request.askOnMismatch &&
            s.ui.AskYesNo(mismatch + "\n\n" + Render(ZT("restore.ask", "Записать всё равно?")),
                          s.caption, MessageIcon::Exclamation);
        if (!yes) {
            s.ui.AppendLine(mismatch);
            s.run.note = mismatch;
            RestoreReport r = Ends(s, RestoreOutcome::Refused,
                                   ZT("restore.cancelled", "Восстановление DATA FLASH отменено"));
            r.mismatch = true;
            return r;
        }
    }
    if (!mismatch.empty())
        s.ui.Say(ZT("restore.forced", "{0} Записывается по требованию.", mismatch));

    s.run.phase = RunPhase::Data;
    if (!WriteDataFlashImage(s, *image))
        return Ends(
            s, RestoreOutcome::WriteFailed,
            ZT("restore.write_failed", "Восстановление DATA FLASH не выполнено: ошибка записи"));

    RestoreReport r;
    r.mismatch = !mismatch.empty();
    if (WaitForInstrument(s, request.answerSeconds) != WaitEnd::Answered)
        return Ends(
            s, RestoreOutcome::Unverified,
            ZT("restore.unverified", "Восстановление DATA FLASH: записано, но не проверено"));
    if (s.SerialText != serial)
        return Ends(s, RestoreOutcome::Unverified,
                    ZT("restore.other_answered",
                       "Восстановление DATA FLASH: записано, но ответило другое устройство s/n {0}",
                       s.SerialText));
    r.check = ReadBackAndCompare(s, *image, {});
    switch (r.check.outcome) {
        case VerifyOutcome::Equal:
            r.outcome = RestoreOutcome::Equal;
            r.verdict = Render(ZT("restore.ok", "Восстановление DATA FLASH - Ok"));
            break;
        case VerifyOutcome::Different:
            r.outcome = RestoreOutcome::Different;
            r.verdict = Render(ZT("restore.different",
                                  "Восстановление DATA FLASH не выполнено: прочитанное отличается "
                                  "от файла"));
            break;
        default:
            r.outcome = RestoreOutcome::Unverified;
            r.verdict = Render(
                ZT("restore.unverified", "Восстановление DATA FLASH: записано, но не проверено"));
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

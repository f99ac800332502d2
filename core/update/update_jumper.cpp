// The jumper path: an instrument that does not identify is reflashed after the
// user closed the jumper, with data.bin or a named DATA FLASH image.
#include "bootrom/program_chip.h"
#include "common/files.h"
#include "journal/backup_names.h"
#include "journal/journal.h"
#include "station/backup_offer.h"
#include "text/message.h"
#include "update/update_files.h"
#include "update/update_keep.h"
#include "update/update_run.h"

namespace zentor {

namespace {

Message JumperQuestion() {
    return ZT("jumper.question", "Устройство не определено!\n\nПроизвести прошивку?");
}
Message FactoryDataWarning() {
    return ZT("jumper.factory_data",
              "DATA FLASH будет записана заводскими данными data.bin: калибровка устройства "
              "будет заменена.");
}
Message JumperSteps() {
    return ZT("jumper.steps",
              "Внимание! Выполните следующие действия:\n1. Отключите питание устройства (не "
              "меньше 30 секунд).\n2. Закоротите перемычку на плате устройства.\n3. Не размыкая "
              "перемычку включите его питание.\n4. Нажмите кнопку \"OK\"\n");
}

}  // namespace

UpdateResult UpdateRun::Unidentified() {
    s_.SerialText.clear();
    s_.identity = {};
    if (!options_.expectSerial.empty()) {
        s_.ui.Say(ZT("jumper.serial_unconfirmed",
                     "Устройство не определено: s/n {0} не подтверждён - обновление отменено",
                     options_.expectSerial));
        return UpdateResult::WrongInstrument;
    }
    if (!options_.jumperPath) {
        s_.ui.Say(ZT("identify.failed", "Устройство не определено!"));
        s_.ui.Say(ZT("jumper.refused",
                     "Прошивка через перемычку записала бы в DATA FLASH заводские данные data.bin "
                     "вместо калибровки устройства - обновление отменено"));
        return UpdateResult::Unidentified;
    }
    std::optional<std::filesystem::path> source = options_.dataFrom;
    if (!source && options_.offerBackup && !options_.dryRun) {
        if (auto offer = OfferBackupForPort(s_);
            offer &&
            s_.ui.AskYesNo(BackupOfferQuestion(*offer), s_.caption, MessageIcon::Question)) {
            source = offer->backup;
            s_.run.serial = offer->serial;
        }
    }
    if (source) {
        const auto bytes = LoadDataSource(s_, plan_, *source);
        if (!bytes || !PlanData(s_, plan_,
                                DataFlashSource::FromBytes(*bytes, PathToUtf8(source->filename()))))
            return UpdateResult::Failed;
    } else if (!PlanFactoryData()) {
        return UpdateResult::Failed;
    }
    if (options_.dryRun)
        return ShowDryRun(source ? RelativeText(*source, s_.workDir) + " (через перемычку)"
                                 : "data.bin (заводские данные, через перемычку)");
    // Without a backup the calibration is replaced: said in the question, and "Нет"
    // is what Enter answers.
    const bool asked =
        source ? s_.ui.AskYesNo(Render(JumperQuestion()), s_.caption, MessageIcon::Exclamation)
               : s_.ui.AskYesNoDefaultNo(
                     Render(JumperQuestion()) + "\n\n" + Render(FactoryDataWarning()), s_.caption,
                     MessageIcon::Exclamation);
    if (!asked) return UpdateResult::Failed;
    if (!s_.ui.AskOkCancel(Render(JumperSteps()), s_.caption, MessageIcon::Exclamation))
        return UpdateResult::Failed;
    // A silent instrument is what this path starts from, not how the run went.
    s_.run.linkError = LinkError::None;
    s_.run.mode = source ? "keep" : "factory";
    if (source) {
        s_.UpdateMode = UpdateMode::Keep;
        backup_ = *source;
        // The instrument cannot say who it is: the backup's name does, so that a
        // later identification of that serial can close its open failure.
        if (s_.run.serial.empty()) s_.run.serial = BackupSerial(*source).value_or("");
        NoteDataSource(RelativeText(*source, s_.workDir));
        dataLine_ = ZT("update.data_from_file", "DATA FLASH записана из файла {0}",
                       RelativeText(*source, s_.workDir));
    } else {
        NoteDataSource("data.bin");
        dataLine_ =
            ZT("update.data_factory", "DATA FLASH записана из файла data.bin (заводские данные)");
    }
    PlanStages(false);
    return Reflash();
}

}  // namespace zentor

#include "update/update_run.h"

#include "bootrom/program_chip.h"
#include "common/files.h"
#include "common/sha256.h"
#include "instrument/identify.h"
#include "instrument/instrument_commands.h"
#include "station/backup_offer.h"
#include "station/com_port.h"
#include "station/instrument_run.h"
#include "text/message.h"
#include "update/update_files.h"
#include "update/update_keep.h"

namespace zentor {

Message PowerCycleText() {
    return ZT("update.power_cycle",
              "Отключите питание устройства и через 30 секунд включите его снова.");
}

namespace {

std::string DeviceText(const Job& s) {
    return Render(ZT("update.device", "Velmar {0}  s/n: {1}.", s.identity.model, s.SerialText));
}

}  // namespace

UpdateResult UpdateRun::Run() {
    if (!IdentifyInstrument(s_)) return Unidentified();
    s_.run.model = std::to_string(s_.identity.model);
    s_.run.serial = s_.SerialText;
    if (options_.logIdentity) s_.ui.Say(ZT("update.identified", "Устройство: {0}", DeviceText(s_)));
    if (!options_.expectSerial.empty() && s_.SerialText != options_.expectSerial) {
        s_.ui.Say(ZT("update.wrong_serial",
                     "Подключено устройство s/n: {0}, ожидалось {1} - обновление отменено",
                     s_.SerialText, options_.expectSerial));
        return UpdateResult::WrongInstrument;
    }
    const UpdateChoice choice = s_.ui.ConfirmUpdate(s_.caption, DeviceText(s_));
    s_.UpdateMode = choice.mode;
    if (choice.answer != "Да" || s_.UpdateMode == UpdateMode::None) return UpdateResult::Failed;
    const bool factory = s_.UpdateMode == UpdateMode::Factory;
    s_.run.mode = factory ? "factory" : "keep";
    return factory ? Factory() : Keep();
}

void UpdateRun::SetBusy(bool on) {
    if (!on) s_.EndStages();
    if (busy_ == on) return;
    busy_ = on;
    s_.ui.SetUpdateBusy(on);
}

// Prog, 1 s, restart, 2 s: the chip restarts into its boot ROM.

bool UpdateRun::RestartIntoBootRom() {
    // A stop asked before Prog sends nothing more.
    if (Aborted()) return false;
    s_.EnterPhase(RunPhase::Boot);
    EnterBootRom(s_);
    s_.clock.SleepMs(1000);
    Restart(s_);
    s_.clock.SleepMs(2000);
    inBootRom_ = true;
    return true;
}

void UpdateRun::PlanStages(bool read) {
    s_.stages.clear();
    if (read) s_.stages.push_back(RunPhase::Read);
    s_.stages.insert(s_.stages.end(),
                     {RunPhase::Boot, RunPhase::Erase, RunPhase::Code, RunPhase::Data});
    // The programmer writes no configuration record.
    if (s_.settings.TypeController != 0) s_.stages.push_back(RunPhase::Config);
}

UpdateResult UpdateRun::Factory() {
    if (!ExistsNoCase(s_.workDir, "data.bin")) {
        s_.ui.Say(ZT("file.not_found", "Файл {0} не обнаружен!", "data.bin"));
        return UpdateResult::Failed;
    }
    if (!CheckProgramChipInputs(s_,
                                UpdateProgramOptions(s_.settings.TypeController, s_.UpdateMode)))
        return UpdateResult::Failed;
    NoteDataSource("data.bin", std::nullopt);
    PlanStages(false);
    SetBusy(true);
    s_.clock.SleepMs(1000);
    if (!RestartIntoBootRom()) return UpdateResult::Interrupted;
    return Reflash();
}

UpdateResult UpdateRun::Keep() {
    PlanStages(true);
    auto keep = PrepareKeepData(s_, options_, [this] {
        SetBusy(true);
        s_.EnterPhase(RunPhase::Read);
    });
    if (keep) {
        backup_ = keep->backup;
        NoteDataSource(keep->source, keep->bytes);
    }
    if (Aborted()) return UpdateResult::Interrupted;
    if (!keep) return UpdateResult::Failed;
    data_ = keep->bytes;
    dataShown_ = "data_rd.bin";
    SetBusy(true);
    if (!RestartIntoBootRom()) return UpdateResult::Interrupted;
    return Reflash();
}

bool UpdateRun::Aborted() {
    if (!s_.AbortRequested) return false;
    s_.ui.Say(ZT("update.interrupted", "Обновление прервано - устройство не изменено"));
    if (backup_) s_.ui.Say(BackupLine(s_, *backup_));
    return true;
}

void UpdateRun::NoteDataSource(const std::string& source,
                               const std::optional<std::vector<std::uint8_t>>& bytes) {
    s_.run.dataSource = source;
    s_.run.dataSha256 =
        bytes ? Sha256Hex(*bytes) : Sha256OfFile(ResolveNoCase(s_.workDir, source)).value_or("");
    s_.run.programName = "prog_c.bin";
    s_.run.programSha256 = Sha256OfFile(ResolveNoCase(s_.workDir, "prog_c.bin")).value_or("");
    if (backup_) s_.run.backupPath = RelativeText(*backup_, s_.workDir);
}

UpdateResult UpdateRun::Reflash() {
    SetBusy(true);
    s_.ui.SetProgressPosition(0);
    s_.EnterPhase(RunPhase::Boot);
    if (StoppedInBootRom()) return UpdateResult::Interrupted;
    ProgramOptions program = UpdateProgramOptions(s_.settings.TypeController, s_.UpdateMode);
    program.beforeErase = [this] { JournalReachedErase(s_); };
    // The bytes chosen for this run, never a file that could have changed since.
    if (data_) program.data = DataFlashSource::FromBytes(*data_, dataShown_);
    const ProgramResult result = ProgramChip(s_, program);
    SetBusy(false);
    if (s_.port && s_.port->Gone()) return PortGone(result);
    if (result.interrupted && !result.ChipTouched() && StoppedInBootRom())
        return UpdateResult::Interrupted;
    if (dataLine_ && result.ChipTouched()) s_.ui.Say(*dataLine_);
    if (backup_) s_.ui.Say(BackupLine(s_, *backup_));
    s_.ui.AppendLine("");
    s_.ui.Say(PowerCycleText());
    if (result.interrupted) {
        s_.run.result = RunResult::Interrupted;
        return UpdateResult::Interrupted;
    }
    if (!result.Ok()) return UpdateResult::Failed;
    return result.unconfirmed > 0 ? UpdateResult::Unconfirmed : UpdateResult::Done;
}

bool UpdateRun::StoppedInBootRom() {
    if (!s_.AbortRequested) return false;
    if (inBootRom_) {
        s_.ui.Say(ZT("update.interrupted_in_boot_rom",
                     "Обновление прервано до стирания: устройство ждёт в загрузчике. Отключите "
                     "питание устройства и через 30 секунд включите его снова - вернётся прежняя "
                     "прошивка с прежними настройками"));
    } else {
        s_.ui.Say(ZT("update.interrupted", "Обновление прервано - устройство не изменено"));
    }
    if (backup_) s_.ui.Say(BackupLine(s_, *backup_));
    s_.run.result = RunResult::Interrupted;
    return true;
}

UpdateResult UpdateRun::PortGone(const ProgramResult& result) {
    ReportPortGone(s_);
    s_.run.result = RunResult::Failed;
    s_.run.note = "порт пропал: " + RunPhaseName(s_.run.phase);
    if (!result.ChipTouched()) {
        s_.ui.Say(ZT("update.gone_before_erase",
                     "Стирание не началось. Отключите питание устройства и через 30 секунд "
                     "включите его снова - вернётся прежняя прошивка с прежними настройками"));
        if (backup_) s_.ui.Say(BackupLine(s_, *backup_));
        return UpdateResult::Failed;
    }
    s_.ui.Say(ZT("update.gone_after_erase",
                 "Устройство может быть стёрто или записано не полностью. Не выключайте его, пока "
                 "оно не будет восстановлено."));
    if (backup_) s_.ui.Say(BackupLine(s_, *backup_));
    if (options_.offerBackup) {
        s_.ui.Say(ZT("update.reconnect_window",
                     "Подключите адаптер снова и нажмите \"Обновление прошивки\": устройство не "
                     "определится, и будет предложена его резервная копия"));
    } else {
        s_.ui.Say(ZT("update.reconnect_cli",
                     "Подключите адаптер снова и восстановите устройство командой:"));
        s_.ui.AppendLine(
            "  " + (backup_ ? DataFromCommandLine(s_, *backup_) : FactoryUpdateCommandLine(s_)));
    }
    return UpdateResult::Failed;
}

}  // namespace zentor

#include "update/update_run.h"

#include "bootrom/plan_report.h"
#include "bootrom/program_chip.h"
#include "common/files.h"
#include "common/sha256.h"
#include "instrument/identify.h"
#include "instrument/instrument_commands.h"
#include "journal/journal_runs.h"
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
    // The identification may have chosen another HCR1.
    if (!PlanConfig(s_, plan_)) return UpdateResult::Failed;
    if (options_.dryRun) return DryRun(*options_.dryRun);
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
    // Neither answer decides: the boot ROM's banner does. Their link errors are not the run's.
    const LinkError said = s_.run.linkError;
    EnterBootRom(s_);
    s_.clock.SleepMs(1000);
    Restart(s_);
    s_.clock.SleepMs(2000);
    s_.run.linkError = said;
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

bool UpdateRun::PlanFactoryData() {
    if (!ExistsNoCase(s_.workDir, "data.bin")) {
        s_.ui.Say(ZT("file.not_found", "Файл {0} не обнаружен!", "data.bin"));
        return false;
    }
    return PlanData(s_, plan_, DataFlashSource::Factory());
}

UpdateResult UpdateRun::Factory() {
    if (!PlanFactoryData()) return UpdateResult::Failed;
    NoteDataSource("data.bin");
    PlanStages(false);
    SetBusy(true);
    s_.clock.SleepMs(1000);
    if (!RestartIntoBootRom()) return UpdateResult::Interrupted;
    return Reflash();
}

UpdateResult UpdateRun::Keep() {
    PlanStages(true);
    auto keep = PrepareKeepData(s_, options_, plan_, [this] {
        SetBusy(true);
        s_.EnterPhase(RunPhase::Read);
    });
    // The bytes chosen for this run, never a file that could have changed since.
    const bool planned =
        keep && PlanData(s_, plan_, DataFlashSource::FromBytes(keep->bytes, "data_rd.bin"));
    if (keep) {
        backup_ = keep->backup;
        NoteDataSource(keep->source);
    }
    if (Aborted()) return UpdateResult::Interrupted;
    if (!planned) return UpdateResult::Failed;
    SetBusy(true);
    if (!RestartIntoBootRom()) return UpdateResult::Interrupted;
    return Reflash();
}

UpdateResult UpdateRun::DryRun(UpdateMode mode) {
    if (mode == UpdateMode::Factory) {
        if (!PlanFactoryData()) return UpdateResult::Failed;
        return ShowDryRun("data.bin (заводские данные)");
    }
    auto inputs = CheckKeepInputs(s_, options_, plan_);
    if (!inputs) return UpdateResult::Failed;
    if (inputs->named) {
        if (!PlanData(s_, plan_, DataFlashSource::FromBytes(*inputs->named, "data_rd.bin")))
            return UpdateResult::Failed;
        return ShowDryRun(RelativeText(*options_.dataFrom, s_.workDir) +
                          " (прибор будет прочитан и сохранён в резервную копию)");
    }
    // What the reading will give: SizeData bytes, read at the run.
    const std::vector<std::uint8_t> reading(static_cast<std::size_t>(s_.settings.SizeData), 0xFF);
    if (!PlanData(s_, plan_, DataFlashSource::FromBytes(reading, "data_rd.bin")))
        return UpdateResult::Failed;
    // The run will weigh the reading against an open failure's backup: said now.
    std::optional<UnfinishedUpdate> failed;
    if (auto lines = ReadJournalsFor(s_))
        failed = LatestUnfinishedUpdate(MergeRuns(*lines), s_.SerialText);
    if (failed)
        s_.ui.AppendLine(
            "Прежнее обновление прибора " + s_.SerialText + " (" + failed->run.startTime +
            "): " + failed->reason + " - чтение будет сравнено с " +
            (failed->backup ? "его резервной копией " + RelativeText(*failed->backup, s_.workDir)
                            : std::string("его резервной копией, которой нет")));
    return ShowDryRun("data_rd.bin (будет прочитана из прибора)");
}

UpdateResult UpdateRun::ShowDryRun(const std::string& dataSource) {
    ShowPlan(s_, plan_, dataSource);
    s_.ui.AppendLine("Пробный запуск: кроме опознания, устройству ничего не отправлено");
    return UpdateResult::Done;
}

bool UpdateRun::Aborted() {
    if (!s_.AbortRequested) return false;
    s_.ui.Say(ZT("update.interrupted", "Обновление прервано - устройство не изменено"));
    if (backup_) s_.ui.Say(BackupLine(s_, *backup_));
    return true;
}

void UpdateRun::NoteDataSource(const std::string& source) {
    s_.run.dataSource = source;
    s_.run.dataSha256 = Sha256Hex(plan_.data);
    s_.run.programName = plan_.programName;
    s_.run.programSha256 = plan_.programSha256;
    if (backup_) s_.run.backupPath = RelativeText(*backup_, s_.workDir);
}

UpdateResult UpdateRun::Reflash() {
    SetBusy(true);
    s_.ui.SetProgressPosition(0);
    s_.EnterPhase(RunPhase::Boot);
    if (StoppedInBootRom()) return UpdateResult::Interrupted;
    const ProgramResult result = ProgramChip(s_, plan_, [this] { JournalReachedErase(s_); });
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

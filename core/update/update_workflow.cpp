#include "update/update_workflow.h"

#include <optional>

#include "bootrom/program_chip.h"
#include "bootrom/program_plan.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "station/com_port.h"
#include "text/message.h"
#include "update/update_run.h"

namespace zentor {

namespace {

void NoteResult(Job& s, UpdateResult result) {
    switch (result) {
        case UpdateResult::Done:
            s.run.result = RunResult::Ok;
            break;
        case UpdateResult::Unconfirmed:
            s.run.result = RunResult::Unconfirmed;
            break;
        case UpdateResult::Interrupted:
            s.run.result = RunResult::Interrupted;
            break;
        case UpdateResult::Unidentified:
        case UpdateResult::WrongInstrument:
            s.run.result = RunResult::Refused;
            break;
        case UpdateResult::Failed:
            s.run.result = RunResult::Failed;
            break;
    }
}

}  // namespace

UpdateResult RunFirmwareUpdate(Job& s, const UpdateOptions& options) {
    if (auto refusal = AddressRefusal(s.settings.AdrPribor)) {
        s.ui.AppendLine(*refusal);
        return UpdateResult::Failed;
    }

    if (!ExistsNoCase(s.workDir, "prog_c.bin")) {
        s.ui.Say(ZT("file.not_found", "Файл {0} не обнаружен!", "prog_c.bin"));
        return UpdateResult::Failed;
    }
    // The settings and the program image are planned (and refused) before the
    // instrument is asked anything; the DATA FLASH image joins the plan once the
    // mode tells which one it is, and the plan is what the reflash sends.
    s.hcr1 = s.settings.HCR1FromFile;
    std::optional<ProgramPlan> plan = PlanProgramImage(
        s, UpdateProgramOptions(s.settings.TypeController, UpdateMode::None).image);
    if (!plan || !DataFits(s, *plan, 0, "data.bin")) return UpdateResult::Failed;
    if (!OpenComPort(s)) return UpdateResult::Failed;

    s.UpdateMode = UpdateMode::None;
    s.run.phase = RunPhase::Link;
    UpdateResult result;
    {
        UpdateRun run(s, options, *plan);
        result = run.Run();
    }
    CloseComPort(s);
    NoteResult(s, result);
    return result;
}

UpdateOptions UnattendedUpdateOptions(UpdateMode mode) {
    UpdateOptions options;
    options.logIdentity = true;
    options.offerBackup = false;
    options.openFailure = UpdateOptions::OpenFailure::Refuse;
    options.jumperPath = mode == UpdateMode::Factory;
    return options;
}

bool FieldUpdate(Job& s) {
    return RunFirmwareUpdate(s) == UpdateResult::Done;
}

}  // namespace zentor

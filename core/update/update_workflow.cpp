#include "update/update_workflow.h"

#include <optional>

#include "bootrom/program_chip.h"
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
    // What the reflash would refuse about the settings and the program image is
    // refused before the instrument is asked anything; the DATA FLASH image is
    // checked once the mode tells which one it is.
    if (!CheckProgramChipInputs(
            s, UpdateProgramOptions(s.settings.TypeController, UpdateMode::None), 0))
        return UpdateResult::Failed;
    if (!OpenComPort(s)) return UpdateResult::Failed;

    s.UpdateMode = UpdateMode::None;
    s.hcr1 = s.settings.HCR1FromFile;
    s.run.phase = RunPhase::Link;
    UpdateResult result;
    {
        UpdateRun run(s, options);
        result = run.Run();
    }
    CloseComPort(s);
    NoteResult(s, result);
    return result;
}

bool FieldUpdate(Job& s) {
    return RunFirmwareUpdate(s) == UpdateResult::Done;
}

}  // namespace zentor

#include "update/update_workflow.h"

#include <optional>

#include "bootrom/program_chip.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "session/com_port.h"
#include "update/update_run.h"

namespace zentor {

namespace {

// A whole decimal number, optionally signed, that fits an int.
std::optional<int> ParsePanelNumber(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

void NoteResult(Session& s, UpdateResult result) {
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

UpdateResult RunFirmwareUpdate(Session& s, const UpdatePanel& panel, const UpdateOptions& options) {
    // The lists hold numbers only; anything else stops here, before files or port.
    const auto baud = ParsePanelNumber(panel.baud);
    if (!baud) {
        s.ui.AppendLine("Скорость порта: \"" + panel.baud + "\" - не число");
        return UpdateResult::Failed;
    }
    const auto address = ParsePanelNumber(panel.address);
    if (!address) {
        s.ui.AppendLine("Адрес устройства: \"" + panel.address + "\" - не число");
        return UpdateResult::Failed;
    }
    if (auto refusal = AddressRefusal(*address)) {
        s.ui.AppendLine(*refusal);
        return UpdateResult::Failed;
    }
    s.settings.BaudRate = *baud;
    s.settings.AdrPribor = *address;

    if (!ExistsNoCase(s.workDir, "prog_c.bin")) {
        s.ui.AppendLine("Файл prog_c.bin не обнаружен!");
        return UpdateResult::Failed;
    }
    // What the reflash would refuse about the settings and the program image is
    // refused before the instrument is asked anything; the DATA FLASH image is
    // checked once the mode tells which one it is.
    if (!CheckProgramChipInputs(
            s, UpdateProgramOptions(s.settings.TypeController, UpdateMode::None), 0))
        return UpdateResult::Failed;
    if (!panel.port.empty()) s.settings.NamePort = panel.port;
    if (!OpenComPort(s)) return UpdateResult::Failed;

    s.UpdateAnswer.clear();
    s.UpdateMode = UpdateMode::None;
    s.settings.HCR1Value = s.settings.HCR1FromFile;
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

bool FieldUpdate(Session& s, const UpdatePanel& panel) {
    return RunFirmwareUpdate(s, panel) == UpdateResult::Done;
}

}  // namespace zentor

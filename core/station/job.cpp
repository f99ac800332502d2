#include "station/job.h"

#include <algorithm>

#include "text/message.h"

namespace zentor {

namespace {

Message StageName(RunPhase phase, int typeController) {
    if (phase == RunPhase::Boot && typeController == 0)
        return ZT("stage.programmer", "связь с программатором");
    if (phase == RunPhase::Config) return ZT("stage.config", "запись конфигурации");
    return RunPhaseMessage(phase);
}

}  // namespace

Message RunPhaseMessage(RunPhase phase) {
    switch (phase) {
        case RunPhase::Read:
            return ZT("phase.read", "чтение DATA FLASH");
        case RunPhase::Boot:
            return ZT("phase.boot", "вход в загрузчик");
        case RunPhase::Erase:
            return ZT("phase.erase", "стирание");
        case RunPhase::Code:
            return ZT("phase.code", "запись CODE FLASH");
        case RunPhase::Data:
            return ZT("phase.data", "запись DATA FLASH");
        case RunPhase::Config:
            return ZT("phase.config", "запись регистров конфигурации");
        default:
            return ZT("phase.link", "связь с устройством");
    }
}

std::string RunPhaseName(RunPhase phase) {
    return Render(RunPhaseMessage(phase), Language::Ru);
}

void Job::EnterPhase(RunPhase phase) {
    const bool changed = run.phase != phase;
    run.phase = phase;
    if (!changed) return;
    const auto at = std::find(stages.begin(), stages.end(), phase);
    if (at == stages.end()) return;
    ui.ShowStage(static_cast<int>(at - stages.begin()) + 1, static_cast<int>(stages.size()),
                 Render(StageName(phase, settings.TypeController)));
}

void Job::EndStages() {
    if (stages.empty()) return;
    stages.clear();
    ui.ShowStage(0, 0, {});
}

}  // namespace zentor

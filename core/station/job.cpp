#include "station/job.h"

#include <algorithm>

namespace zentor {

namespace {

std::string StageName(RunPhase phase, int typeController) {
    if (phase == RunPhase::Boot && typeController == 0) return "связь с программатором";
    if (phase == RunPhase::Config) return "запись конфигурации";
    return RunPhaseName(phase);
}

}  // namespace

std::string RunPhaseName(RunPhase phase) {
    switch (phase) {
        case RunPhase::Read:
            return "чтение DATA FLASH";
        case RunPhase::Boot:
            return "вход в загрузчик";
        case RunPhase::Erase:
            return "стирание";
        case RunPhase::Code:
            return "запись CODE FLASH";
        case RunPhase::Data:
            return "запись DATA FLASH";
        case RunPhase::Config:
            return "запись регистров конфигурации";
        default:
            return "связь с устройством";
    }
}

void Job::EnterPhase(RunPhase phase) {
    const bool changed = run.phase != phase;
    run.phase = phase;
    if (!changed) return;
    const auto at = std::find(stages.begin(), stages.end(), phase);
    if (at == stages.end()) return;
    ui.ShowStage(static_cast<int>(at - stages.begin()) + 1, static_cast<int>(stages.size()),
                 StageName(phase, settings.TypeController));
}

void Job::EndStages() {
    if (stages.empty()) return;
    stages.clear();
    ui.ShowStage(0, 0, {});
}

}  // namespace zentor

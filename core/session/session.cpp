#include "session/session.h"

#include <algorithm>

namespace zentor {

namespace {

std::string StageName(RunPhase phase, int typeController) {
    switch (phase) {
        case RunPhase::Read:
            return "чтение DATA FLASH";
        case RunPhase::Boot:
            return typeController == 0 ? "связь с программатором" : "вход в загрузчик";
        case RunPhase::Erase:
            return "стирание";
        case RunPhase::Code:
            return "запись CODE FLASH";
        case RunPhase::Data:
            return "запись DATA FLASH";
        case RunPhase::Config:
            return "запись конфигурации";
        default:
            return {};
    }
}

}  // namespace

void Session::EnterPhase(RunPhase phase) {
    const bool changed = run.phase != phase;
    run.phase = phase;
    if (!changed) return;
    const auto at = std::find(stages.begin(), stages.end(), phase);
    if (at == stages.end()) return;
    ui.ShowStage(static_cast<int>(at - stages.begin()) + 1, static_cast<int>(stages.size()),
                 StageName(phase, settings.TypeController));
}

void Session::EndStages() {
    if (stages.empty()) return;
    stages.clear();
    ui.ShowStage(0, 0, {});
}

}  // namespace zentor

#include "journal/journal_history.h"

namespace zentor {
namespace {

std::string DurationText(std::int64_t ms) {
    if (ms < 0) return "";
    const std::int64_t tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " с";
}

std::string ShortHash(const std::string& sha) {
    return sha.size() > 12 ? sha.substr(0, 12) : sha;
}

}  // namespace

std::string RunOutcomeText(const JournalRun& run) {
    if (!run.finished) return "не завершено";
    switch (run.record.result) {
        case RunResult::Ok:
            return "успешно";
        case RunResult::Failed:
            return "ошибка";
        case RunResult::Unconfirmed:
            return "не подтверждено (" + std::to_string(run.record.unconfirmed) + ")";
        case RunResult::Interrupted:
            return "прервано";
        case RunResult::Refused:
            return "отказ";
        case RunResult::None:
            break;
    }
    return "?";
}

std::vector<std::string> JournalHistoryLines(const std::vector<JournalRun>& runs,
                                             const std::string& serial) {
    std::vector<std::string> lines;
    for (const auto& run : runs) {
        const RunRecord& r = run.record;
        if (!serial.empty() && r.serial != serial) continue;
        std::string line = run.startTime + "  " + r.command;
        if (!r.mode.empty()) line += " " + r.mode;
        line += "  " + (r.serial.empty() ? std::string("-") : r.serial);
        if (!r.model.empty()) line += " (модель " + r.model + ")";
        line += "  " + RunOutcomeText(run);
        if (r.phase != RunPhase::Unknown) line += ", этап " + std::string(RunPhaseText(r.phase));
        if (run.finished) line += ", " + DurationText(run.durationMs);
        line += "  " + (r.port.empty() ? std::string("-") : r.port);
        if (r.baud > 0) line += " " + std::to_string(r.baud);
        if (!run.computer.empty()) line += " на " + run.computer;
        if (!r.programName.empty())
            line += "  программа " + r.programName + " " + ShortHash(r.programSha256);
        if (!r.dataSource.empty())
            line += "  данные " + r.dataSource + " " + ShortHash(r.dataSha256);
        if (!r.backupPath.empty()) line += "  копия " + r.backupPath;
        if (!r.note.empty()) line += "  (" + r.note + ")";
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace zentor

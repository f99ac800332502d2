#include "journal/journal_history.h"

#include "text/message.h"

namespace zentor {
namespace {

std::string DurationText(std::int64_t ms) {
    if (ms < 0) return "";
    const std::int64_t tenths = (ms + 50) / 100;
    return Render(ZT("history.duration", "{0},{1} с", tenths / 10, tenths % 10));
}

std::string ShortHash(const std::string& sha) {
    return sha.size() > 12 ? sha.substr(0, 12) : sha;
}

}  // namespace

std::string RunOutcomeText(const JournalRun& run) {
    if (!run.finished) return Render(ZT("history.unfinished", "не завершено"));
    switch (run.record.result) {
        case RunResult::Ok:
            return Render(ZT("history.ok", "успешно"));
        case RunResult::Failed:
            return Render(ZT("history.failed", "ошибка"));
        case RunResult::Unconfirmed:
            return Render(
                ZT("history.unconfirmed", "не подтверждено ({0})", run.record.unconfirmed));
        case RunResult::Interrupted:
            return Render(ZT("history.interrupted", "прервано"));
        case RunResult::Refused:
            return Render(ZT("history.refused", "отказ"));
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
        if (!r.model.empty()) line += Render(ZT("history.model", " (модель {0})", r.model));
        line += "  " + RunOutcomeText(run);
        if (r.phase != RunPhase::Unknown)
            line += Render(ZT("history.phase", ", этап {0}", std::string(RunPhaseText(r.phase))));
        if (run.finished) line += ", " + DurationText(run.durationMs);
        line += "  " + (r.port.empty() ? std::string("-") : r.port);
        if (r.baud > 0) line += " " + std::to_string(r.baud);
        if (!run.computer.empty()) line += Render(ZT("history.computer", " на {0}", run.computer));
        if (!r.programName.empty())
            line += Render(ZT("history.program", "  программа {0} {1}", r.programName,
                              ShortHash(r.programSha256)));
        if (!r.dataSource.empty())
            line += Render(
                ZT("history.data", "  данные {0} {1}", r.dataSource, ShortHash(r.dataSha256)));
        if (!r.backupPath.empty())
            line += Render(ZT("history.backup", "  копия {0}", r.backupPath));
        if (!r.note.empty()) line += "  (" + r.note + ")";
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace zentor

#include "journal/journal_runs.h"

#include <algorithm>
#include <map>

#include "text/message.h"

namespace zentor {
namespace {

void FillIn(std::string& target, const std::string& value) {
    if (!value.empty()) target = value;
}

// Later lines know more; an empty field never erases what an earlier line said.
void Merge(RunRecord& into, const RunRecord& from) {
    FillIn(into.command, from.command);
    FillIn(into.mode, from.mode);
    FillIn(into.port, from.port);
    if (from.baud > 0) into.baud = from.baud;
    if (from.address > 0) into.address = from.address;
    FillIn(into.model, from.model);
    FillIn(into.serial, from.serial);
    FillIn(into.programName, from.programName);
    FillIn(into.programSha256, from.programSha256);
    FillIn(into.dataSource, from.dataSource);
    FillIn(into.dataSha256, from.dataSha256);
    FillIn(into.backupPath, from.backupPath);
    if (from.phase != RunPhase::Unknown) into.phase = from.phase;
    if (from.result != RunResult::None) into.result = from.result;
    into.unconfirmed = std::max(into.unconfirmed, from.unconfirmed);
    FillIn(into.note, from.note);
}

bool Succeeded(const JournalRun& run) {
    if (!run.finished || run.record.result != RunResult::Ok) return false;
    // An "ok" that says it stopped before the erase changed nothing on the chip.
    return run.record.phase == RunPhase::Unknown || run.record.phase >= RunPhase::Erase;
}

// A confirmed write of that instrument's DATA FLASH: what it holds is known good
// from here on, so an earlier failure's backup is history. A jumper recovery
// (an update whose instrument did not identify, its serial taken from the backup
// it wrote) counts only once the instrument has identified as that serial again.
bool ClosesChain(const JournalRun& run, const std::string& serial, bool identified) {
    if (!run.finished || run.record.serial != serial) return false;
    if (run.record.result != RunResult::Ok || run.record.unconfirmed > 0) return false;
    const std::string& c = run.record.command;
    if (c == "update") return Succeeded(run) && (identified || !run.record.model.empty());
    return c == "write-data" || c == "restore" || c == "verify";
}

std::string ReasonFor(const JournalRun& run) {
    if (!run.finished)
        return Render(
            ZT("journal.reason.unfinished", "обновление не завершено (нет записи об окончании)"));
    switch (run.record.result) {
        case RunResult::Unconfirmed:
            return Render(ZT("journal.reason.unconfirmed",
                             "запись не подтверждена прибором ({0} записей)",
                             run.record.unconfirmed));
        case RunResult::Interrupted:
            return Render(ZT("journal.reason.interrupted", "обновление прервано"));
        default:
            return Render(ZT("journal.reason.failed", "обновление завершилось ошибкой"));
    }
}

std::optional<std::filesystem::path> ExistingBackup(const JournalRun& run) {
    if (run.record.backupPath.empty()) return std::nullopt;
    std::filesystem::path p = PathFromUtf8(run.record.backupPath);
    if (p.is_relative() && !run.folder.empty()) p = PathFromUtf8(run.folder) / p;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec)) return std::nullopt;
    return p;
}

}  // namespace

std::vector<JournalRun> MergeRuns(const std::vector<JournalLine>& lines) {
    std::vector<JournalRun> runs;
    std::map<std::string, std::size_t> index;
    for (const auto& line : lines) {
        auto [it, added] = index.emplace(line.runId, runs.size());
        if (added) {
            JournalRun run;
            run.runId = line.runId;
            run.computer = line.computer;
            run.folder = line.folder;
            run.startTime = line.time;
            runs.push_back(std::move(run));
        }
        JournalRun& run = runs[it->second];
        FillIn(run.folder, line.folder);
        Merge(run.record, line.record);
        if (line.event == JournalEvent::Erase || line.record.phase >= RunPhase::Erase)
            run.reachedErase = true;
        if (line.event == JournalEvent::End) {
            // The end line knows best: a run that says it stopped before the erase
            // (e.g. no boot-ROM link after its erase line) left the chip intact.
            if (line.record.phase != RunPhase::Unknown && line.record.phase < RunPhase::Erase)
                run.reachedErase = false;
            run.finished = true;
            run.endTime = line.time;
            run.durationMs = line.durationMs;
        }
    }
    return runs;
}

bool EndedBadlyAfterErase(const JournalRun& run) {
    if (!run.reachedErase) return false;
    if (!run.finished) return true;
    return run.record.result != RunResult::Ok || run.record.unconfirmed > 0;
}

std::optional<UnfinishedUpdate> LatestUnfinishedUpdate(const std::vector<JournalRun>& runs,
                                                       const std::string& serial, bool identified) {
    if (serial.empty()) return std::nullopt;
    const JournalRun* chainStart = nullptr;
    const JournalRun* latest = nullptr;
    for (const auto& run : runs) {
        if (ClosesChain(run, serial, identified)) {
            chainStart = nullptr;
        } else if (run.record.command == "update" && run.record.serial == serial &&
                   EndedBadlyAfterErase(run)) {
            if (!chainStart) chainStart = &run;
            latest = &run;
        }
        // Runs that stopped before the erase changed nothing and do not count.
    }
    if (!chainStart) return std::nullopt;
    UnfinishedUpdate found;
    found.run = *chainStart;
    found.reason = ReasonFor(*latest);
    found.backup = ExistingBackup(*chainStart);
    return found;
}

std::optional<UnfinishedUpdate> LatestUnfinishedUpdate(const std::filesystem::path& journal,
                                                       const std::string& serial) {
    auto lines = ReadJournal(journal);
    if (!lines) return std::nullopt;
    return LatestUnfinishedUpdate(MergeRuns(*lines), serial);
}

std::optional<UnfinishedUpdate> LatestBackupOnPort(const std::vector<JournalRun>& runs,
                                                   const std::string& computer,
                                                   const std::string& port) {
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        if (it->record.command != "update" || it->computer != computer || it->record.port != port)
            continue;
        if (auto backup = ExistingBackup(*it)) return UnfinishedUpdate{*it, "", backup};
    }
    return std::nullopt;
}

bool AnyOpenFailure(const std::vector<JournalRun>& runs) {
    for (const auto& run : runs)
        if (run.record.command == "update" && LatestUnfinishedUpdate(runs, run.record.serial))
            return true;
    return false;
}

std::vector<UnfinishedUpdate> UnfinishedUpdatesWithBackup(const std::vector<JournalRun>& runs,
                                                          const std::string& computer,
                                                          const std::string& port) {
    std::vector<std::string> serials;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        const auto& serial = it->record.serial;
        if (it->record.command == "update" && !serial.empty() &&
            std::find(serials.begin(), serials.end(), serial) == serials.end())
            serials.push_back(serial);
    }
    std::vector<UnfinishedUpdate> found;  // most recent serial first
    for (const auto& serial : serials) {
        auto u = LatestUnfinishedUpdate(runs, serial, false);
        if (u && u->backup) found.push_back(std::move(*u));
    }
    std::stable_partition(found.begin(), found.end(), [&](const UnfinishedUpdate& u) {
        return u.run.computer == computer && u.run.record.port == port;
    });
    return found;
}

}  // namespace zentor

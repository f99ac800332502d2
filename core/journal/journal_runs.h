// Runs reassembled from journal lines, and the look-ups the update workflow
// makes in them. Pure functions over parsed lines plus a file-existence check
// of backups; no locking needed (lines are appended whole).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "journal/journal.h"

namespace zentor {

// One run: its lines merged in order (later lines fill in what earlier ones
// did not know). `finished` is false while no end line was seen. `reachedErase`
// comes from an erase line or a phase from Erase on, unless the end line names
// an earlier phase.
struct JournalRun {
    std::string runId;
    std::string computer;
    std::string folder;
    std::string startTime;
    std::string endTime;  // empty when unfinished
    RunRecord record;     // merged
    bool reachedErase = false;
    bool finished = false;
    std::int64_t durationMs = -1;
};

// In order of first appearance in the journal.
std::vector<JournalRun> MergeRuns(const std::vector<JournalLine>& lines);

// True when the run may have left the chip changed without a good end: it got as
// far as the erase and has no end line, failed, was interrupted or had
// unconfirmed writes.
bool EndedBadlyAfterErase(const JournalRun& run);

struct UnfinishedUpdate {
    JournalRun run;
    std::string reason;  // Russian, for the log: why the run did not end in success
    // The run's backup resolved against its folder, when that file exists.
    std::optional<std::filesystem::path> backup;
};

// The open failure of `serial`: when updates of that serial reached the erase
// and did not end in success, and no confirmed write of that instrument came
// after them, the first of them since then (its backup was read before any of
// those erases). What closes the chain: an update that ended ok, a write-data or
// restore that ended ok, a passing verify, each journaled with that serial; a
// jumper recovery (ok, serial from its backup, no model) only when `identified`,
// i.e. the instrument asking has identified as `serial`. nullopt when nothing is
// open. Its backup is a candidate for the caller to weigh, never a silent winner.
std::optional<UnfinishedUpdate> LatestUnfinishedUpdate(const std::vector<JournalRun>& runs,
                                                       const std::string& serial,
                                                       bool identified = true);
std::optional<UnfinishedUpdate> LatestUnfinishedUpdate(const std::filesystem::path& journal,
                                                       const std::string& serial);

// The latest update run on `port` of `computer` whose backup still exists,
// whatever its result (reason empty); nullopt when there is none.
std::optional<UnfinishedUpdate> LatestBackupOnPort(const std::vector<JournalRun>& runs,
                                                   const std::string& computer,
                                                   const std::string& port);

// True when some serial has an open failure (LatestUnfinishedUpdate).
bool AnyOpenFailure(const std::vector<JournalRun>& runs);

// Every serial with an unfinished update whose backup exists, most recent first;
// runs on `port` of `computer` come before the others. For the jumper path, where
// the instrument cannot say who it is (so a jumper recovery closes nothing here).
std::vector<UnfinishedUpdate> UnfinishedUpdatesWithBackup(const std::vector<JournalRun>& runs,
                                                          const std::string& computer,
                                                          const std::string& port);

}  // namespace zentor

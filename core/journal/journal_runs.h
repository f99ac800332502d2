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

// The update of `serial` whose backup must win over a new reading: when the
// latest updates of that serial that reached the erase did not end in success,
// the first of them since the last success (its backup was read before any of
// those erases). nullopt after a success or when the journal holds no such run.
std::optional<UnfinishedUpdate> LatestUnfinishedUpdate(const std::vector<JournalRun>& runs,
                                                       const std::string& serial);
std::optional<UnfinishedUpdate> LatestUnfinishedUpdate(const std::filesystem::path& journal,
                                                       const std::string& serial);

// Every serial with an unfinished update whose backup exists, most recent first;
// runs on `port` of `computer` come before the others. For the jumper path, where
// the instrument cannot say who it is.
std::vector<UnfinishedUpdate> UnfinishedUpdatesWithBackup(const std::vector<JournalRun>& runs,
                                                          const std::string& computer,
                                                          const std::string& port);

}  // namespace zentor

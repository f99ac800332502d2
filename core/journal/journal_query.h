// Questions put to the journal's merged runs: which instruments got a program,
// the calibration backups of one instrument, runs within a time range. Reads the
// backup files a calibration query names (their SHA-256 now, not as journaled);
// nothing else touches the disk, nothing waits.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "journal/journal_runs.h"

namespace zentor {

struct JournalQuery {
    std::string serial;         // empty: every instrument
    std::string programSha256;  // lower-case hex; empty: any program
    bool calibration = false;   // only runs that name a backup of the DATA FLASH
    std::string since;          // "2026-12-01" or a longer prefix of a start time; inclusive
    std::string until;          // the same; inclusive of the whole day or minute given
};

// The runs a query selects, in journal order.
std::vector<JournalRun> SelectRuns(const std::vector<JournalRun>& runs, const JournalQuery& query);

// A backup a run names, resolved against the run's folder, and the SHA-256 of the
// file as it is now; nullopt when the file is missing or unreadable.
struct BackupState {
    std::string path;  // as journaled
    std::optional<std::string> sha256;
};
BackupState BackupOf(const JournalRun& run);

// One JSON object (a single line) for a run; backupSha256 is added when given.
std::string RunJson(const JournalRun& run, const std::optional<BackupState>& backup);

// `text` (UTF-8) as a JSON string: quoted, with quotes, backslashes and control
// characters escaped.
std::string JsonQuoted(const std::string& text);

// True for 64 hexadecimal digits.
bool LooksLikeSha256(const std::string& text);

}  // namespace zentor

// The journal of instrument-changing runs: a CSV file (';'-separated, UTF-8 with
// a byte-order mark written once when the file is created, CRLF line ends) to
// which every run appends a start line, an "erase" line when it reaches the point
// after which the chip is no longer intact, and an end line. A run killed half-way
// leaves its start line (and maybe its erase line) without an end line.
//
// Appends are whole and serialised between processes by an OS lock on the file
// (flock / LockFileEx); an append waits for the lock as long as another process
// holds it, which is the duration of one write. Nothing here throws; failures are
// returned as text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/run_record.h"

namespace zentor {

enum class JournalEvent { Start, Erase, End };
std::string_view JournalEventText(JournalEvent e);  // "start", "erase", "end"

struct JournalLine {
    std::string time;      // ISO 8601 local time with offset, e.g. 2026-12-10T16:20:44+03:00
    std::string computer;  // host name
    JournalEvent event = JournalEvent::Start;
    std::string runId;   // the same on every line of one run
    std::string folder;  // the run's work folder, absolute
    RunRecord record;
    std::int64_t durationMs = -1;  // end lines only
};

// The header row and one line, without the line end. Fields containing ';' or
// '"' are quoted with inner quotes doubled; a line break in a field becomes a space.
std::string JournalHeader();
std::string FormatJournalLine(const JournalLine& line);

// The lines of a journal's text, one record per physical line (CR LF, LF or CR):
// BOMs, header rows, empty lines and NUL bytes at a line's start are skipped; a
// damaged line (unclosed quote, missing column, NUL inside) is skipped alone and
// counted in *malformed when given.
std::vector<JournalLine> ParseJournal(std::string_view text, int* malformed = nullptr);
// Reads and parses the file; an absent file is an empty journal. nullopt when
// the file exists but cannot be read.
std::optional<std::vector<JournalLine>> ReadJournal(const std::filesystem::path& path,
                                                    int* malformed = nullptr);

// Appends one line under the file lock, creating the file (BOM and header) when
// it is absent or empty. When the file does not end with a line break (a write
// cut short), a CR LF goes first, so the new line never joins a torn one. False with *error set
// when it could not.
bool AppendJournalLine(const std::filesystem::path& path, const JournalLine& line,
                       std::string* error);

// Current local time as ISO 8601 with offset; this computer's name; a run id
// unique to this process and call.
std::string JournalTimeNow();
// Paths in the journal are UTF-8 text on every system.
std::string PathToUtf8(const std::filesystem::path& p);
std::filesystem::path PathFromUtf8(const std::string& text);
std::string ComputerName();
std::string NewRunId();

}  // namespace zentor

// What one command run leaves in the journal. The command fills `Job::run`
// as it learns things (identity, images, backup, phase reached, result); the
// journal wrapper (instrument_run.h) writes it at the start and at the end.
// Plain data, no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/link_error.h"

namespace zentor {

// How a run ended. None: still running (or killed before its end line).
enum class RunResult { None, Ok, Failed, Unconfirmed, Interrupted, Refused };

// How far a run got with the instrument, in order. A run that reached Erase or
// later may have left the chip's flash changed.
enum class RunPhase {
    Unknown,  // not reported by the command
    Nothing,  // refused before anything was sent
    Link,     // port opened, instrument asked (identification, registers)
    Read,     // DATA FLASH being read
    Boot,     // bringing the boot ROM up (banner, echo, registers)
    Erase,    // erase sent: from here on the flash is no longer intact
    Code,     // CODE FLASH records
    Data,     // DATA FLASH records
    Config,   // configuration record
    Done      // every record sent
};

struct RunRecord {
    std::string command;  // "program", "write-data", "update", "restore", "verify"
    std::string mode;     // "keep" / "factory" for update; empty otherwise
    std::string port;
    int baud = 0;
    int address = 0;
    std::string model;   // decimal model number, empty when unknown
    std::string serial;  // SerialText, empty when unknown
    std::string programName;
    std::string programSha256;
    // Where the DATA FLASH bytes came from ("data.bin", "data_rd.bin (чтение)",
    // a backup's path) and their SHA-256.
    std::string dataSource;
    std::string dataSha256;
    // The file that holds the calibration this run would restore: this run's
    // backup, or the earlier backup it wrote back. Empty when none.
    std::string backupPath;
    RunPhase phase = RunPhase::Unknown;
    RunResult result = RunResult::None;
    int unconfirmed = 0;  // records, erases or configuration answered by nothing
    std::string note;     // one short reason line, e.g. why it failed or was refused
    // How the link failed when a step failed on the line (not journaled: the
    // report's, e.g. the --json end event's).
    LinkError linkError = LinkError::None;
};

std::string_view RunResultText(RunResult r);  // "", "ok", "failed", "unconfirmed", ...
std::optional<RunResult> ParseRunResult(std::string_view text);
std::string_view RunPhaseText(RunPhase p);  // "", "nothing", "link", ..., "done"
std::optional<RunPhase> ParseRunPhase(std::string_view text);

}  // namespace zentor

// Keep mode's DATA FLASH image: the bytes this run writes back and the file that
// holds the same bytes. Called between the confirmation and Prog, while the
// instrument still runs its firmware; blocking (the read and its looks of 1 s).
// Failure: its own log lines and an empty result; the instrument is unchanged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "bootrom/program_plan.h"
#include "station/job.h"
#include "update/update_workflow.h"

namespace zentor {

struct KeepData {
    std::vector<std::uint8_t> bytes;
    // The file that brings this instrument's calibration back after a failure:
    // this run's backup of its reading, or the earlier backup written back.
    std::filesystem::path backup;
    std::string source;  // for the journal: "data_rd.bin (чтение)" or a file
};

// What keep mode checks before it reads: a --data-from file named for another
// serial (unless options.force) is refused, the named file is loaded and must
// fit `plan`, and so must a reading of SizeData bytes. Empty after the log line
// when refused; otherwise the named file's bytes, if one was given.
struct KeepInputs {
    std::optional<std::vector<std::uint8_t>> named;
};
std::optional<KeepInputs> CheckKeepInputs(Job& s, const UpdateOptions& options,
                                          const ProgramPlan& plan);

// The instrument identified; in this order: CheckKeepInputs, set the old
// data_rd.bin aside, read the DATA FLASH until two readings agree, look for
// data_rd.bin as the update face does, and back the reading up; then write the
// named file, or, when the journal holds an open failure of this serial (an
// update that reached the erase and did not end well, no confirmed write since),
// weigh that run's backup against the reading: equal, the reading; otherwise as
// options.openFailure says (ask, refuse naming both commands, or the reading).
// The bytes are never data_rd.bin as found on disk. enterBusy is called once the
// checks passed, before the read.
std::optional<KeepData> PrepareKeepData(Job& s, const UpdateOptions& options,
                                        const ProgramPlan& plan,
                                        const std::function<void()>& enterBusy);

// The DATA FLASH image of `path` for a reflash: whole, non-empty and fitting
// `plan`. Logs and returns empty otherwise.
std::optional<std::vector<std::uint8_t>> LoadDataSource(Job& s, const ProgramPlan& plan,
                                                        const std::filesystem::path& path);

}  // namespace zentor

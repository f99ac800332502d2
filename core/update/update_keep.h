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

#include "common/session.h"
#include "update/update_workflow.h"

namespace zentor {

struct KeepData {
    std::vector<std::uint8_t> bytes;
    std::filesystem::path backup;  // holds exactly `bytes`
    std::string source;            // for the journal: "data_rd.bin (чтение)" or a file
};

// In this order: the file the caller named (--data-from); the backup of the
// serial's last update when the journal says it reached the erase and did not
// end in success (the DATA FLASH may be partial; no backup: refused); else set
// the old data_rd.bin aside, read the DATA FLASH with at least two agreeing
// readings, look for data_rd.bin as the update face does, and back the reading
// up. The bytes are the reading itself, never data_rd.bin as found on disk. enterBusy is called
// once the checks passed, before anything is read.
std::optional<KeepData> PrepareKeepData(Session& s, const UpdateOptions& options,
                                        const std::function<void()>& enterBusy);

// The DATA FLASH image of `path` for a reflash: whole, non-empty and of a size
// ProgramChip takes. Logs and returns empty otherwise.
std::optional<std::vector<std::uint8_t>> LoadDataSource(Session& s,
                                                        const std::filesystem::path& path);

}  // namespace zentor

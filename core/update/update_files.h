// Files of a keep-mode update in the work folder: the earlier reading set aside,
// the calibration backup under backup/, names relative to the folder for the log.
// Plain file-system calls, no waits; every failure is one log line and a false
// or empty result.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/session.h"

namespace zentor {

// Local time as yyyymmdd-hhmmss, for backup and set-aside names.
std::string UpdateTimeStamp();
// `path` relative to `base` with forward slashes, or `path` itself when it is not below.
std::string RelativeText(const std::filesystem::path& path, const std::filesystem::path& base);
// "Резервная копия DATA FLASH: <path relative to the work folder>".
std::string BackupLine(const Session& s, const std::filesystem::path& backup);

// Renames every data_rd.bin of the folder (any letter case) to data_rd.<time>.bak,
// so a file the read did not write can never pass for its result.
bool SetAsideOldReading(Session& s);
// Writes `data` to backup/<serial>_<time>_data.bin (a free name) and logs the
// backup line; when the serial's newest backup already holds exactly `data`, that
// file is named instead. Empty on failure, after its own log line.
std::optional<std::filesystem::path> BackUpReading(Session& s,
                                                   const std::vector<std::uint8_t>& data);

}  // namespace zentor

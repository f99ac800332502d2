// Files of a keep-mode update in the work folder: the earlier reading set aside and
// the calibration backup, both under backup/, names relative to the folder for the log.
// Plain file-system calls, no waits; every failure is one log line and a false
// or empty result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "station/job.h"
#include "text/message.h"

namespace zentor {

// Local time as yyyymmdd-hhmmss, for backup and set-aside names.
std::string UpdateTimeStamp();
// `path` relative to `base` with forward slashes, or `path` itself when it is not below.
std::string RelativeText(const std::filesystem::path& path, const std::filesystem::path& base);
// "Резервная копия DATA FLASH: <path relative to the work folder>".
Message BackupLine(const Job& s, const std::filesystem::path& backup);

// Newest set-aside readings kept in backup/; older ones are removed.
inline constexpr std::size_t kKeptReadings = 5;

// Moves every data_rd.bin of the folder (any letter case) to backup/data_rd.<time>.bak,
// so a file the read did not write can never pass for its result, then removes all
// but the newest kKeptReadings of them. Calibration backups are never touched.
bool SetAsideOldReading(Job& s);
// Writes `data` to backup/<serial>_<time>_data.bin (a free name) and logs the
// backup line; when the serial's newest backup already holds exactly `data`, that
// file is named instead. Empty on failure, after its own log line.
std::optional<std::filesystem::path> BackUpReading(Job& s, const std::vector<std::uint8_t>& data);

}  // namespace zentor

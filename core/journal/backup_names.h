// Names of calibration backups: backup/<serial>_<yyyymmdd-hhmmss>[-n]_data.bin,
// the serial as "%02uv%02u%02u%02u" prints it. Pure name parsing plus one folder
// listing; no waits, nothing thrown.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zentor {

// The serial number in a backup's name, or nullopt for any other name.
std::optional<std::string> BackupSerial(const std::filesystem::path& file);

// The time in a backup's name as yyyymmdd-hhmmss, or nullopt for any other name.
std::optional<std::string> BackupTime(const std::filesystem::path& file);

// The newest backup of `serial` in folder/backup by the time in its name, or
// nullopt when there is none.
std::optional<std::filesystem::path> NewestBackup(const std::filesystem::path& folder,
                                                  const std::string& serial);

// The newest backup of any serial in folder/backup, or nullopt.
std::optional<std::filesystem::path> NewestBackupOfAny(const std::filesystem::path& folder);

}  // namespace zentor

// The configuration file: Windows profile format in Windows-1251 beside the
// executable, with the load pass, the settings save pass and the position save pass.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "config/profile_file.h"
#include "config/settings.h"

namespace zentor {

// The executable's path with its extension replaced by ".ini" (appended when
// the name has no extension).
std::filesystem::path ConfigPathFor(const std::filesystem::path& exePath);

// Load pass. Missing file, section or key: defaults. screenWidth/Height give the
// defaults of "Left" and "Top"; designWidth/Height those of "Width"/"Height".
void LoadConfig(const std::filesystem::path& file, Settings& settings, WindowPosition& position,
                int screenWidth = 1024, int screenHeight = 768);

// Settings save pass (every key but the stop-button key). False on a failed
// write; then *error holds "Unable to write to " + path and later keys are not written.
bool SaveSettings(const std::filesystem::path& file, const Settings& settings,
                  std::string* error = nullptr);

// Position save pass: "Left", "Top", "Width", "Height".
bool SavePosition(const std::filesystem::path& file, const WindowPosition& position,
                  std::string* error = nullptr);

// The update face's firmware folder (UTF-8), "" when its key is absent. The save
// writes that key alone: every other line of the file stays as it is. False on a
// failed write, with *error as SaveSettings gives it.
std::string LoadFirmwareFolder(const std::filesystem::path& file);
bool SaveFirmwareFolder(const std::filesystem::path& file, const std::string& folder,
                        std::string* error = nullptr);

// The same passes on text already read, and on a file already opened for the pass.
void LoadConfig(const ProfileText& text, Settings& settings, WindowPosition& position,
                int screenWidth = 1024, int screenHeight = 768);
bool SaveSettings(ProfileFile& file, const Settings& settings, std::string* error = nullptr);
bool SavePosition(ProfileFile& file, const WindowPosition& position, std::string* error = nullptr);

// A stored integer: "0x"/"0X" followed by hexadecimal digits, "$" followed by
// hexadecimal digits, or signed decimal; the whole text must parse into 32 bits
// (hexadecimal wraps: "$FFFFFFFF" is -1).
std::optional<int> ParseConfigInt(std::string_view text);

}  // namespace zentor

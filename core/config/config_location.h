// Where the configuration file and the "dosdevices" folder of COM links live.
//
// Beside the executable when its folder is writable (a copied folder, a build
// folder). An installed program (/usr/bin) keeps them in the user's configuration
// folder instead: $XDG_CONFIG_HOME/zentor, or ~/.config/zentor. On Windows always
// beside the executable. No waiting; nothing fails: a folder that cannot be made
// shows up later as the configuration file's "Unable to write to" error.
#pragma once

#include <filesystem>
#include <string>

namespace zentor {

// The pure rule: exeDir when exeDirWritable; else xdgConfigHome/zentor when that is
// an absolute path; else home/.config/zentor when home is absolute; else exeDir.
std::filesystem::path ChooseSettingsFolder(const std::filesystem::path& exeDir, bool exeDirWritable,
                                           const std::string& xdgConfigHome,
                                           const std::string& home);

// False for a folder under /usr, /bin or /sbin (where packages put programs, even
// for root, whom permission bits do not stop), for a missing folder and for one
// access(W_OK) refuses.
bool FolderWritable(const std::filesystem::path& dir);

// The rule applied to this process's environment. When the user's folder is chosen
// it is created (with its parents) if missing.
std::filesystem::path SettingsFolderFor(const std::filesystem::path& exePath);

// The configuration file of an executable: its file name with the extension
// replaced by ".ini", in SettingsFolderFor(exePath).
std::filesystem::path ConfigFileFor(const std::filesystem::path& exePath);

}  // namespace zentor

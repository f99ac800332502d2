#include "config/config_location.h"

#include <cstdlib>
#include <system_error>

#include "config/config_store.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zentor {
namespace fs = std::filesystem;

fs::path ChooseSettingsFolder(const fs::path& exeDir, bool exeDirWritable,
                              const std::string& xdgConfigHome, const std::string& home) {
    if (exeDirWritable) return exeDir;
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (!xdgConfigHome.empty() && fs::path(xdgConfigHome).is_absolute())
        return fs::path(xdgConfigHome) / "zentor";
    if (!home.empty() && fs::path(home).is_absolute()) return fs::path(home) / ".config" / "zentor";
    return exeDir;
}

bool FolderWritable(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    fs::path real = fs::weakly_canonical(dir, ec);
    if (ec) real = dir;
    for (const char* system : {"/usr", "/bin", "/sbin"}) {
        auto part = real.begin();
        const fs::path top = fs::path(system);
        auto want = top.begin();
        while (want != top.end() && part != real.end() && *part == *want) {
            ++part;
            ++want;
        }
        if (want == top.end()) return false;
    }
#ifdef _WIN32
    return true;
#else
    return ::access(real.c_str(), W_OK) == 0;
#endif
}

fs::path SettingsFolderFor(const fs::path& exePath) {
    const fs::path exeDir = exePath.parent_path();
#ifdef _WIN32
    return exeDir;
#else
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    const bool writable = FolderWritable(exeDir);
    fs::path folder = ChooseSettingsFolder(exeDir, writable, env("XDG_CONFIG_HOME"), env("HOME"));
    if (folder != exeDir) {
        std::error_code ec;
        fs::create_directories(folder, ec);
    }
    return folder;
#endif
}

fs::path ConfigFileFor(const fs::path& exePath) {
    return SettingsFolderFor(exePath) / ConfigPathFor(exePath).filename();
}

}  // namespace zentor

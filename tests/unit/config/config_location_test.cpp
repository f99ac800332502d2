#include "config/config_location.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/scratch_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "serial/serial_posix.h"
#endif

namespace zentor {
namespace {
namespace fs = std::filesystem;

#ifndef _WIN32

TEST(ConfigLocation, ChooseFolder) {
    const fs::path exe = "/opt/z/bin";
    const struct {
        bool writable;
        const char* xdg;
        const char* home;
        fs::path expected;
    } cases[] = {
        {true, "/home/u/.cfg", "/home/u", exe},
        {false, "/home/u/.cfg", "/home/u", "/home/u/.cfg/zentor"},
        {false, "", "/home/u", "/home/u/.config/zentor"},
        // A relative XDG_CONFIG_HOME is invalid: the home folder's default applies.
        {false, "cfg", "/home/u", "/home/u/.config/zentor"},
        {false, "", "", exe},
        {false, "", "relative", exe},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseSettingsFolder(exe, c.writable, c.xdg, c.home), c.expected)
            << c.writable << " '" << c.xdg << "' '" << c.home << "'";
    }
}

TEST(ConfigLocation, FolderWritable) {
    test::ScratchDir dir("location");
    EXPECT_TRUE(FolderWritable(dir.path()));
    EXPECT_FALSE(FolderWritable(dir / "missing"));
    // Where packages put programs: not writable, even for root.
    for (const char* system : {"/usr/bin", "/usr/share", "/usr", "/bin"}) {
        if (fs::is_directory(system)) {
            EXPECT_FALSE(FolderWritable(system)) << system;
        }
    }
    // Reached through a link, the real place counts.
    fs::create_directory_symlink("/usr/share", dir / "share");
    EXPECT_FALSE(FolderWritable(dir / "share"));
    // A name that only begins like /usr is not under it.
    fs::create_directory(dir / "usrlocal");
    EXPECT_TRUE(FolderWritable(dir / "usrlocal"));
    // Permission bits stop everybody but root.
    if (::geteuid() != 0) {
        fs::create_directory(dir / "locked");
        ::chmod((dir / "locked").c_str(), 0555);
        EXPECT_FALSE(FolderWritable(dir / "locked"));
        ::chmod((dir / "locked").c_str(), 0755);
    }
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ConfigLocation, BesideAWritableExecutable) {
    test::ScratchDir dir("location");
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir / "cfg").string());
    EXPECT_EQ(SettingsFolderFor(dir / "zentor"), dir.path());
    EXPECT_EQ(ConfigFileFor(dir / "zentor-cli"), dir / "zentor-cli.ini");
    EXPECT_FALSE(fs::exists(dir / "cfg"));
}

TEST(ConfigLocation, InstalledProgramUsesTheUsersFolderForSettingsAndPortLinks) {
    test::ScratchDir dir("location");
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir / "cfg").string());
    const fs::path installed = "/usr/bin/zentor";
    const fs::path folder = dir / "cfg" / "zentor";
    EXPECT_EQ(SettingsFolderFor(installed), folder);
    EXPECT_TRUE(fs::is_directory(folder));  // made, so the first save can write
    EXPECT_EQ(ConfigFileFor(installed), folder / "zentor.ini");
    EXPECT_FALSE(fs::exists(folder / "zentor.ini"));

    fs::create_directory(folder / "dosdevices");
    fs::create_symlink("/dev/null", folder / "dosdevices" / "com5");
    EXPECT_EQ(PosixDevicePath(SettingsFolderFor(installed), "COM5"),
              folder / "dosdevices" / "com5");

    ScopedEnv noXdg("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", (dir / "home").string());
    EXPECT_EQ(ConfigFileFor("/usr/bin/zentor-cli"),
              dir / "home" / ".config" / "zentor" / "zentor-cli.ini");
}

#else

TEST(ConfigLocation, WindowsKeepsTheFileBesideTheExecutable) {
    test::ScratchDir dir("location");
    EXPECT_EQ(ConfigFileFor(dir / "zentor-cli.exe"), dir / "zentor-cli.ini");
}

#endif

}  // namespace
}  // namespace zentor

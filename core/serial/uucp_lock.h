// UUCP lock files, the convention terminal programs on Linux use to claim a serial
// line: LCK..<device name> in /var/lock or /run/lock, holding the owner's process
// id as ten characters and a newline. Root ignores TIOCEXCL, so these files and
// flock are what keep two programs off one line.
//
// Both folders are consulted; ours is created in the first that takes it. A file
// whose process no longer exists is stale and removed on acquiring. When no folder
// takes a file the port is used without one (flock still guards it). Nothing here
// blocks or sleeps.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zentor {

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_5" for /dev/pts/5; links are followed.
std::string UucpLockName(const std::filesystem::path& device);

// The folders looked in: $ZENTOR_LOCK_DIR alone when set (tests), else /var/lock
// and /run/lock (the same folder counted once).
std::vector<std::filesystem::path> UucpLockDirs();

// True when a lock file for `device` names a live process other than this one.
// Reads only: removes and creates nothing.
bool UucpLockHeldByOther(const std::filesystem::path& device);

class UucpLock {
public:
    // nullopt when another live process holds the device; otherwise the lock,
    // which may hold no file when no lock folder is writable.
    static std::optional<UucpLock> Acquire(const std::filesystem::path& device);

    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&& other) noexcept;
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;
    // Removes our file (only while it still names this process).
    ~UucpLock();

    const std::filesystem::path& File() const { return file_; }

private:
    explicit UucpLock(std::filesystem::path file);
    void Release();

    std::filesystem::path file_;
};

// For a signal handler that ends the process: removes every lock file this
// process holds. Async-signal-safe.
void RemoveUucpLockFilesNow();

}  // namespace zentor

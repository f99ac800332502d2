// UUCP lock files, the convention terminal programs on Linux use to claim a serial
// line: LCK..<device name> in /var/lock or /run/lock, holding the owner's process
// id as ten characters and a newline. Root ignores TIOCEXCL, so these files and
// flock are what keep two programs off one line.
//
// Both folders are consulted; ours is created in the first that takes it, in one
// atomic step (the id is written to a temporary file that is then hard-linked to
// the lock name), so no reader ever sees it half written.
//
// A lock file is judged by what it says:
// - the id of a live process (another one, or another thread of this one): held;
// - the complete id of a process that has ended: stale, removed on acquiring. A
//   stale file that cannot be removed (another user's, in a folder with the
//   sticky bit) leaves the port held: it is never opened without our own file;
// - anything else (empty, unreadable, no process id, digits without their line
//   end naming no live process, a link or a device at the name): the file may be
//   being written, so Acquire looks again every 50 ms for up to 1 s (through the
//   given Clock) and then counts the port as held.
// Only when no lock folder exists, or none takes a new file and no lock file for
// the device exists, is the port used without a file of ours (flock and TIOCEXCL
// still guard it): refusing then would make the tool unusable on systems whose
// lock folders only root may write.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"

namespace zentor {

inline constexpr int kUucpUnsureWaitMs = 1000;
inline constexpr int kUucpUnsureStepMs = 50;

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_5" for /dev/pts/5; links are followed.
std::string UucpLockName(const std::filesystem::path& device);

// The folders looked in: $ZENTOR_LOCK_DIR alone when set (tests), else /var/lock
// and /run/lock (the same folder counted once).
std::vector<std::filesystem::path> UucpLockDirs();

// True when a lock file for `device` counts as held (see above; an unreadable
// one included). Reads only, at once: removes, creates and waits for nothing.
bool UucpLockHeldByOther(const std::filesystem::path& device);

class UucpLock {
public:
    // nullopt when the device counts as held (after the wait above); otherwise
    // the lock, which holds no file only when no folder takes one.
    static std::optional<UucpLock> Acquire(const std::filesystem::path& device, Clock& clock);

    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&& other) noexcept;
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;
    // Removes our file (only while it still names this process).
    ~UucpLock();

    const std::filesystem::path& File() const { return file_; }

private:
    UucpLock(std::filesystem::path file, int slot);
    void Release();

    std::filesystem::path file_;
    int slot_ = -1;  // in the registry of files this process holds
};

// For a signal handler that ends the process: removes every lock file this
// process holds or is creating (claims on other threads are waited for, at most
// 100 ms, and no new claim starts afterwards). Async-signal-safe.
void RemoveUucpLockFilesNow();

}  // namespace zentor

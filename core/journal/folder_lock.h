// Advisory lock on a work folder for the whole of one command: the file
// "zentor.lock" in the folder, held with an OS lock (flock / LockFileEx) that
// the system drops when the process ends, however it ends, so a crashed holder
// never leaves the folder stuck. The file names its holder (process id, program,
// command, computer, start time) so a refused command can say who is in the way.
// Acquire never waits. The file itself is left in place on release.
#pragma once

#include <filesystem>
#include <string>

namespace zentor {

inline constexpr const char* kFolderLockName = "zentor.lock";

class FolderLock {
public:
    // Unwritable: the folder takes no new files and has no lock file, so no
    // command can change anything in it; commands run there unlocked.
    enum class Status { Held, Busy, Unwritable, Error };

    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock of `folder` for `program` running `command`, or reports who
    // holds it (Busy) or why the lock file could not be used (Error). A lock file
    // that cannot be written (read-only) is still locked, without the holder note.
    static FolderLock Acquire(const std::filesystem::path& folder, const std::string& program,
                              const std::string& command);

    Status status() const { return status_; }
    bool held() const { return status_ == Status::Held; }
    // Busy: the holder as the lock file describes it, e.g.
    // "zentor-cli update, процесс 1234, компьютер PC1, с 2026-12-10T16:20:44+03:00".
    // Error: the system's reason.
    const std::string& detail() const { return detail_; }
    void Release();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    Status status_ = Status::Error;
    std::string detail_;
};

// What the lock file of a held lock says: "<program>;<command>;<pid>;<computer>;<time>".
std::string FolderLockContent(const std::string& program, const std::string& command);
// The readable holder text of such content ("" fields left out).
std::string DescribeFolderLockHolder(const std::string& content);
int CurrentProcessId();

}  // namespace zentor

// LockFileEx on one byte far beyond the lock file's end: the system drops it when
// the handle closes or the process dies, and the holder note at offset 0 stays
// readable for a refused command.
#include <windows.h>

#include "common/regular_file.h"
#include "journal/folder_lock.h"
#include "journal/journal.h"

namespace zentor {
namespace {

OVERLAPPED LockRegion() {
    OVERLAPPED region{};
    region.OffsetHigh = 0x7FFFFFFF;
    return region;
}

}  // namespace

int CurrentProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

FolderLock FolderLock::Acquire(const std::filesystem::path& folder, const std::string& program,
                               const std::string& command) {
    FolderLock lock;
    const std::filesystem::path path = folder / kFolderLockName;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    bool writable = true;
    std::string why;
    HANDLE h = OpenRegularFile(path, GENERIC_READ | GENERIC_WRITE, kShare, OPEN_ALWAYS, &why);
    if (h == nullptr &&
        (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_WRITE_PROTECT)) {
        writable = false;
        h = OpenRegularFile(path, GENERIC_READ, kShare, OPEN_EXISTING, &why);
        if (h == nullptr && GetLastError() == ERROR_FILE_NOT_FOUND) {
            lock.status_ = Status::Unwritable;
            return lock;
        }
    }
    if (h == nullptr) {
        lock.detail_ = PathToUtf8(path) + ": " + why;
        return lock;
    }
    OVERLAPPED region = LockRegion();
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region)) {
        const DWORD err = GetLastError();
        if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) {
            char buffer[512] = {};
            DWORD n = 0;
            OVERLAPPED start{};
            ReadFile(h, buffer, sizeof buffer - 1, &n, &start);
            lock.status_ = Status::Busy;
            lock.detail_ = DescribeFolderLockHolder(std::string(buffer, n));
        } else {
            lock.detail_ = PathToUtf8(path) + ": error " + std::to_string(err);
        }
        CloseHandle(h);
        return lock;
    }
    const std::string content = FolderLockContent(program, command) + "\r\n";
    DWORD written = 0;
    OVERLAPPED start{};
    if (writable &&
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, &start))
        SetEndOfFile(h);
    lock.handle_ = h;
    lock.status_ = Status::Held;
    return lock;
}

void FolderLock::Release() {
    if (handle_ != nullptr) {
        HANDLE h = static_cast<HANDLE>(handle_);
        LARGE_INTEGER zero{};
        if (SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) SetEndOfFile(h);
        OVERLAPPED region = LockRegion();
        UnlockFileEx(h, 0, 1, 0, &region);
        CloseHandle(h);
        handle_ = nullptr;
    }
    if (status_ == Status::Held) status_ = Status::Error;
}

}  // namespace zentor

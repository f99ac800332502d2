// flock on the lock file: tied to the open file description, so two locks in one
// process exclude each other too, and the kernel drops it when the process dies.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/regular_file.h"
#include "journal/folder_lock.h"

namespace zentor {

int CurrentProcessId() {
    return static_cast<int>(::getpid());
}

FolderLock FolderLock::Acquire(const std::filesystem::path& folder, const std::string& program,
                               const std::string& command) {
    FolderLock lock;
    const std::filesystem::path path = folder / kFolderLockName;
    bool writable = true;
    std::string why;
    int fd = OpenRegularFile(path, O_RDWR | O_CREAT, &why);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        writable = false;
        fd = OpenRegularFile(path, O_RDONLY, &why);
        if (fd < 0 && errno == ENOENT) {
            lock.status_ = Status::Unwritable;
            return lock;
        }
    }
    if (fd < 0) {
        lock.detail_ = path.string() + ": " + why;
        return lock;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            char buffer[512] = {};
            const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
            lock.status_ = Status::Busy;
            lock.detail_ = DescribeFolderLockHolder(n > 0 ? std::string(buffer, n) : "");
        } else {
            lock.detail_ = path.string() + ": " + std::strerror(err);
        }
        ::close(fd);
        return lock;
    }
    const std::string content = FolderLockContent(program, command) + "\n";
    if (!writable || ::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) {
        // The lock holds even when the note about its holder could not be written.
    }
    lock.fd_ = fd;
    lock.status_ = Status::Held;
    return lock;
}

void FolderLock::Release() {
    if (fd_ >= 0) {
        if (::ftruncate(fd_, 0) != 0) {
            // Nothing to do: the stale note is overwritten by the next holder.
        }
        ::close(fd_);  // drops the lock
        fd_ = -1;
    }
    if (status_ == Status::Held) status_ = Status::Error;
}

}  // namespace zentor

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/regular_file.h"

namespace zentor {

int OpenRegularFile(const std::filesystem::path& path, int flags, std::string* why) {
    // O_NONBLOCK: a FIFO at the name must not hang the open; cleared below.
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st {};
    if (fd < 0) {
        const int err = errno;
        if (why) {
            if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
                *why = SymlinkNotFileText();
            else if (err != ENOENT && ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
                *why = NotRegularFileText();
            else
                *why = std::strerror(err);
        }
        errno = err;
        return -1;
    }
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!regular || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int err = regular ? errno : EINVAL;
        if (why) *why = regular ? std::strerror(err) : NotRegularFileText();
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

}  // namespace zentor

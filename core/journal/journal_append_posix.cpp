// Locked append and computer name on POSIX: flock on the journal file itself.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/regular_file.h"
#include "journal/journal.h"

namespace zentor {

bool AppendJournalLine(const std::filesystem::path& path, const JournalLine& line,
                       std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    std::string why;
    const int fd = OpenRegularFile(path, O_RDWR | O_APPEND | O_CREAT, &why);
    if (fd < 0) {
        if (error) *error = why;
        return false;
    }
    int rc;
    do rc = ::flock(fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool r = fail("flock");
        ::close(fd);
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const bool r = fail("fstat");
        ::close(fd);
        return r;
    }
    std::string text;
    if (st.st_size == 0) {
        text = "\xEF\xBB\xBF" + JournalHeader() + "\r\n";
    } else {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) != 1 || last != '\n') text = "\r\n";
    }
    text += FormatJournalLine(line) + "\r\n";
    // Under the lock nobody else writes, so a short write is simply continued.
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const bool r = fail("write");
            ::close(fd);
            return r;
        }
        done += static_cast<std::size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);  // releases the lock
    return true;
}

std::string ComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

}  // namespace zentor

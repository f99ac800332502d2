// Lock-file texts and process ids shared by the UUCP lock tests.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zentor::uucp_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A lock file's content: the pid as ten characters and a newline.
inline std::string PidText(long pid) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%10ld\n", pid);
    return buf;
}

// The id of a process that has ended.
inline long DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

}  // namespace zentor::uucp_test

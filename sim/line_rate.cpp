// The kernel's termios2 carries the rate as a number; <termios.h> would clash with
// these definitions, so this file includes only the kernel's.
#include "line_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace zentor::sim {

long TerminalRate(int masterFd) {
    termios2 tio{};
    if (::ioctl(masterFd, TCGETS2, &tio) != 0) return 0;
    return static_cast<long>(tio.c_ospeed);
}

}  // namespace zentor::sim

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "serial/custom_rate.h"

namespace zentor {

bool SetCustomBitRate(int fd, long baud) {
    if (baud <= 0) return false;
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &tio) != 0) return false;
    const long actual = ReadBackBitRate(fd);
    const long off = actual > baud ? actual - baud : baud - actual;
    return actual > 0 && off * 100 <= baud * 3;
}

long ReadBackBitRate(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return static_cast<long>(tio.c_ospeed);
}

}  // namespace zentor

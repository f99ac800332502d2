#include <sys/ioctl.h>
#include <termios.h>

#include <utility>

#include "serial/custom_rate.h"
#include "serial/line_settings.h"

namespace zentor {

namespace {

std::optional<speed_t> SpeedFor(int baud) {
    static constexpr std::pair<int, speed_t> kSpeeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& [rate, constant] : kSpeeds)
        if (rate == baud) return constant;
    return std::nullopt;
}

// The character frame the driver now holds.
FrameFormat FormatOf(const termios& tio) {
    FrameFormat f;
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            f.dataBits = 5;
            break;
        case CS6:
            f.dataBits = 6;
            break;
        case CS7:
            f.dataBits = 7;
            break;
        default:
            f.dataBits = 8;
            break;
    }
    f.parity = (tio.c_cflag & PARENB) != 0;
    f.stopHalfBits = (tio.c_cflag & CSTOPB) ? 4 : 2;
    return f;
}

}  // namespace

std::optional<FrameFormat> ConfigureLine(int fd, int baud) {
    if (baud <= 0) return std::nullopt;
    std::optional<speed_t> speed = SpeedFor(baud);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return std::nullopt;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // With VMIN 0 an empty read returns 0 instead of EAGAIN, like a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (speed && (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0))
        return std::nullopt;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return std::nullopt;
    if (!speed && !SetCustomBitRate(fd, baud)) return std::nullopt;
    if (::tcgetattr(fd, &tio) != 0) return std::nullopt;
    // Pseudo-terminals have no modem lines and refuse this.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    return FormatOf(tio);
}

}  // namespace zentor

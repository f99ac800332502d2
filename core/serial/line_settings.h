// Line settings of an open POSIX terminal: 8 data bits, no parity, one stop bit,
// raw bytes, no flow control, the bit rate asked for (any rate the driver takes),
// DTR and RTS inactive. Returns at once.
#pragma once

#include <optional>

#include "serial/frame_time.h"

namespace zentor {

// Applies the settings to `fd`; the frame the driver then holds, or nullopt when
// it refuses the rate or the settings (a rate of zero or less is refused here).
std::optional<FrameFormat> ConfigureLine(int fd, int baud);

}  // namespace zentor

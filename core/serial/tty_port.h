// The open POSIX serial port, and the devices this process holds open. A device
// is held from the port's making to its destruction; another open of it in this
// process is refused without touching it (opening a tty raises DTR and RTS, even
// when it is already open, and root is not stopped by TIOCEXCL). Timing as port.h
// says: writes return when their bytes have left the line, reads wait at most their
// deadline (1000 ms unless set lower).
#pragma once

#include <sys/types.h>

#include <memory>

#include "serial/frame_time.h"
#include "serial/port.h"
#include "serial/uucp_lock.h"

namespace zentor {

// True while a port of this process holds the character device `dev`.
bool DeviceHeldHere(dev_t dev);

// The port on `fd`, already configured for `format` at `baud`; holds `dev` until
// it is destroyed, and then closes `fd` and releases `lock`.
std::unique_ptr<Port> MakePosixPort(int fd, dev_t dev, FrameFormat format, long baud,
                                    UucpLock lock);

// Drops the exclusive mode (which outlives this descriptor while any other one is
// open) and closes `fd`.
void CloseExclusive(int fd);

}  // namespace zentor

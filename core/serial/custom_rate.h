// Bit rates that have no termios constant (14400, 28800, 56000, 128000, 256000
// and the like, as configuration files from Windows machines hold them). Linux
// only: the driver's arbitrary-rate interface, termios2 with BOTHER, kept in a
// file of its own because its header cannot meet <termios.h>. Nothing blocks.
#pragma once

namespace zentor {

// Sets input and output rate of the open terminal `fd` to `baud`, leaving every
// other setting as it is. False when the driver refuses the call or keeps a rate
// more than 3 % away (further than a UART at the other end can follow).
bool SetCustomBitRate(int fd, long baud);
// The output rate the driver reports for `fd`, in bit/s; 0 when it cannot say.
long ReadBackBitRate(int fd);

}  // namespace zentor

// The bit rate the tool has set on its end of the terminal, as the kernel reports
// it through the master side (standard and arbitrary rates alike).
#pragma once

namespace zentor::sim {

// 0 when the terminal cannot be asked.
long TerminalRate(int masterFd);

}  // namespace zentor::sim

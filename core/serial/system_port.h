// The platform's serial ports: the opener, the scan of COM names, the texts of a
// failed open and of the timeouts. Scanning probes each name once and does not wait.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "serial/port.h"

namespace zentor {

// Names "COM1".."COM256" that exist (free or busy), in increasing order.
std::vector<std::string> ScanComPorts(PortOpener& opener);

// The user-visible text for a failed open of `name`.
std::string OpenFailureText(const std::string& name, OpenStatus status, int errorCode);
// The same, with what the failure names beyond the port: the device refused and
// the group to join (AccessDenied), the adapters found (AmbiguousAdapter).
std::string OpenFailureText(const std::string& name, const OpenResult& failure);

// The timeouts readout: an empty line, the five timeouts (each as a signed
// 32-bit decimal number), an empty line.
std::vector<std::string> TimeoutsReadoutLines(const ComTimeouts& timeouts);

// The platform's serial ports. `exeDir` is the folder of the executable, in which a
// "dosdevices" folder may map COMn names to devices. `clock` (real time when null;
// it must outlive the opener) paces the wait of an open for a lock file that
// another program may be writing (POSIX, uucp_lock.h: at most 1 s).
std::unique_ptr<PortOpener> MakeSystemPortOpener(const std::filesystem::path& exeDir,
                                                 Clock* clock = nullptr);

// For a signal handler about to end the process: removes the lock files of the
// ports still open, so other programs do not find them claimed. Async-signal-safe.
void RemovePortLockFilesNow();

}  // namespace zentor

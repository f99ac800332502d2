// Opening, closing and scanning the one serial port of a session.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/session.h"
#include "serial/port.h"

namespace zentor {

// Opens session.settings.NamePort at BaudRate into session.hComPort. On failure
// shows the message box (title: session.caption, information icon) and returns
// false with no port open. Does not close a port that is already open.
bool OpenComPort(Session& session);
// Closes the port if one is open; always leaves hComPort empty.
void CloseComPort(Session& session);
// Names "COM1".."COM256" that exist (free or busy), in increasing order.
std::vector<std::string> ScanComPorts(PortOpener& opener);

// The user-visible text for a failed open of `name`.
std::string OpenFailureText(const std::string& name, OpenStatus status, int errorCode);

// The timeouts readout: an empty line, the five timeouts (each as a signed
// 32-bit decimal number), an empty line.
std::vector<std::string> TimeoutsReadoutLines(const ComTimeouts& timeouts);

// The platform's serial ports. `exeDir` is the folder of the executable, in which a
// "dosdevices" folder may map COMn names to devices.
std::unique_ptr<PortOpener> MakeSystemPortOpener(const std::filesystem::path& exeDir);

// For a signal handler about to end the process: removes the lock files of the
// ports still open, so other programs do not find them claimed. Async-signal-safe.
void RemovePortLockFilesNow();

}  // namespace zentor

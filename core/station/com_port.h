// Opening and closing the one serial port of a session. Opening is the platform
// opener's call (no waiting of its own); closing never fails.
#pragma once

#include <memory>

#include "serial/port.h"
#include "serial/system_port.h"
#include "station/job.h"
#include "station/station.h"

namespace zentor {

// Opens the station's NamePort at BaudRate. On failure shows the message box
// (title: the place's caption, information icon) and returns null.
std::unique_ptr<Port> OpenConfiguredPort(const Station& station);
// OpenConfiguredPort into session.port (and its timeouts); false with no port
// open on failure. Does not close a port that is already open.
bool OpenComPort(Job& session);
// Closes the port if one is open (saying first, as ReportPortGone does, when it
// went away); always leaves port empty.
void CloseComPort(Job& session);

// When the open port went away (a pulled adapter): logs once per opening
// "Порт X пропал (phase): адаптер отключён или неисправен" and notes it for the
// journal's end line. True when it went away.
bool ReportPortGone(Job& session);

}  // namespace zentor

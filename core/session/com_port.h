// Opening and closing the one serial port of a session. Opening is the platform
// opener's call (no waiting of its own); closing never fails.
#pragma once

#include "serial/port.h"
#include "serial/system_port.h"
#include "session/session.h"

namespace zentor {

// Opens session.settings.NamePort at BaudRate into session.hComPort. On failure
// shows the message box (title: session.caption, information icon) and returns
// false with no port open. Does not close a port that is already open.
bool OpenComPort(Session& session);
// Closes the port if one is open (saying first, as ReportPortGone does, when it
// went away); always leaves hComPort empty.
void CloseComPort(Session& session);

// When the open port went away (a pulled adapter): logs once per opening
// "Порт X пропал (phase): адаптер отключён или неисправен" and notes it for the
// journal's end line. True when it went away.
bool ReportPortGone(Session& session);

}  // namespace zentor

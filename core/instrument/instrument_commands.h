// The instrument commands of the factory face. Each returns true on success
// (the GUI ignores it, the CLI maps it to its exit status).
#pragma once

#include "common/session.h"

namespace zentor {

// Reads the DATA FLASH into data_rd.bin (repeated readings until they agree);
// restarts the instrument afterwards except in the update face.
bool BitBtnReadDataClick(Session& s);
// Writes data.bin into the DATA FLASH page by page, then restarts at once.
bool BitBtnWriteDataClick(Session& s);
// Countdown of PauseRestart seconds (one log line replaced each second), then restart.
bool BitBtnRestartClick(Session& s);
// Register 0xFD := 0xAF, then 0xFF := 0x0B.
bool BitBtnProgClick(Session& s);
// Asks a running data read to stop.
void BitBtnStopClick(Session& s);

}  // namespace zentor

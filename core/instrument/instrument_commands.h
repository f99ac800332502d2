// The instrument commands of the factory face. Each returns true on success
// (the GUI ignores it, the CLI maps it to its exit status).
#pragma once

#include <optional>
#include <string>

#include "common/session.h"

namespace zentor {

// An address outside 1..63 would put kind bits into the address byte of every
// frame: the line the commands log instead of sending anything, or nullopt.
std::optional<std::string> AddressRefusal(int address);
// Clears the log and logs the address refusal, if any; true when commands may send.
bool AddressUsable(Session& s);
// A DATA FLASH read size the images and one-byte page numbers cannot hold
// (outside 0..65536, or not whole 256-byte pages): the refusal line, or nullopt.
std::optional<std::string> DataSizeRefusal(int size);

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

// Version probe shared by the data read and the data write.
#pragma once

#include <optional>

#include "common/clock.h"
#include "instrument/frames.h"

namespace zentor {

// Reads register 0xED of the instrument at deviceAddress (three attempts, 50 ms
// and 500 ms apart): its version code, or nullopt when no attempt got an answer.
std::optional<int> ProbeDeviceVersion(InstrumentBus& bus, Clock& clock, int deviceAddress);

// Codes 100 and above move SRAM in 128-byte blocks, lower codes in 16-byte blocks.
inline int BlockSizeFor(int versionCode) {
    return versionCode >= 100 ? 128 : 16;
}

}  // namespace zentor

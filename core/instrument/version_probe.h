// Version probe shared by the data read and the data write.
#pragma once

#include "common/session.h"

namespace zentor {

// Reads register 0xED (three attempts, 50 ms and 500 ms apart) into
// s.DeviceVersionCode; on failure it is set to 0 and false returned.
bool ProbeDeviceVersion(Session& s);

// Codes 100 and above move SRAM in 128-byte blocks, lower codes in 16-byte blocks.
inline int BlockSizeFor(int versionCode) {
    return versionCode >= 100 ? 128 : 16;
}

}  // namespace zentor

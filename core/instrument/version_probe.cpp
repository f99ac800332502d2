#include "instrument/version_probe.h"

#include <array>

#include "instrument/frames.h"

namespace zentor {

bool ProbeDeviceVersion(Session& s) {
    const auto address = static_cast<std::uint8_t>(s.settings.AdrPribor | 0x80);
    const int pauses[] = {50, 500};
    std::array<std::uint8_t, 4> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (DevReadBlock(s, address, 0xED, 1, reply.data())) {
            s.DeviceVersionCode = reply[2];
            return true;
        }
        if (attempt < 2) s.clock.SleepMs(pauses[attempt]);
    }
    s.DeviceVersionCode = 0;
    return false;
}

}  // namespace zentor

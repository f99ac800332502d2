#include "instrument/version_probe.h"

namespace zentor {

std::optional<int> ProbeDeviceVersion(InstrumentBus& bus, Clock& clock, int deviceAddress) {
    const auto address = static_cast<std::uint8_t>(deviceAddress | 0x80);
    const int pauses[] = {50, 500};
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (bus.ReadBlock(address, 0xED, 1)) return bus.Reply()[2];
        if (attempt < 2) clock.SleepMs(pauses[attempt]);
    }
    return std::nullopt;
}

}  // namespace zentor

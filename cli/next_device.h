// program --loop and update --loop: one device after another on the same port.
// Waits until a device answers (the instrument's identification for update, the
// boot ROM's banner for program; probed every 500 ms, the port opened only for
// the probe), runs the command on it as a run of its own (its own job and
// journal run), prints "PASS" or "FAIL" with the running counts on standard
// error, waits until the device no longer answers (two silent probes in a row)
// and starts over.
//
// A stop asked of `master` (Ctrl-C, SIGTERM) ends the loop between devices:
// while a device is being written its run goes on to its end, then the loop
// stops. The status is 0 when no device failed, else the worst device's.
#pragma once

#include <cstdio>
#include <functional>

#include "station/station.h"

namespace zentor::cli {

enum class DeviceKind { Instrument, BootRom };

// True when the device on the station's port answers now.
bool DeviceAnswers(const Station& station, DeviceKind kind);

struct LoopCounts {
    int pass = 0;
    int fail = 0;
};

int RunDeviceLoop(const Station& station, Controls& master, DeviceKind kind,
                  const std::function<int()>& runOne, std::FILE* log = stderr,
                  LoopCounts* counts = nullptr);

}  // namespace zentor::cli

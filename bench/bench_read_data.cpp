// Times a 2048-byte (quick mode: 256-byte) DATA FLASH read from zentor-sim paced at 38400 bit/s and
// compares it with its floor: the waits the protocol makes plus the wire time of
// every byte sent and received (10 bits per byte).
//
//   bench_read_data [path/to/zentor-sim]
//
// Without an argument the simulator is taken from ../sim/zentor-sim beside this
// program. Prints one line per block size; asserts nothing.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "instrument/instrument_commands.h"
#include "station/com_port.h"
#include "station/job.h"
#include "testing/recording_frontend.h"

namespace {

using namespace zentor;
using namespace zentor::bench;
namespace fs = std::filesystem;

constexpr int kBaud = 38400;
constexpr int kSize = 2048;
constexpr int kQuickSize = 256;

bool RunOnce(const std::string& simPath, int versionCode, int size, const fs::path& workDir) {
    Simulator sim(simPath,
                  {"--address", "1", "--version-code", std::to_string(versionCode),
                   "--data-flash-size", std::to_string(size), "--baud", std::to_string(kBaud)});
    if (sim.device.empty()) return false;

    RecordingFrontend ui;
    WaitCountingClock clock;
    std::unique_ptr<PortOpener> opener = MakeSystemPortOpener(workDir);
    Station station{ui, clock, *opener, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.settings.NamePort = sim.device;
    station.settings.BaudRate = kBaud;
    station.settings.AdrPribor = 1;
    station.settings.SizeData = size;
    station.settings.MaxKolReadings = 1;
    station.place.workDir = workDir;
    const PortRun run = RunOnOwnPort(s, clock, kBaud, [](Job& session) {
        return ReadDataFlash(session, {.restartAfterwards = false}).has_value();  // no restart
    });
    sim.Stop();
    if (!run.opened) return false;
    std::printf("version %3d (%3d-byte blocks): %s  %s  %s\n", versionCode,
                versionCode >= 100 ? 128 : 16, run.ok ? "ok    " : "FAILED",
                MeasuredText(run.t).c_str(), FloorText(run.t).c_str());
    if (!run.ok) PrintLog(ui);
    return run.ok;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const std::string simPath = SimulatorPath(argc, argv);
    const BenchDir dir("zentor-bench-");
    if (dir.path().empty()) return 1;
    const int size = QuickMode() ? kQuickSize : kSize;
    bool ok = true;
    for (int version : {99, 120}) ok = RunOnce(simPath, version, size, dir.path()) && ok;
    return ok ? 0 : 1;
}

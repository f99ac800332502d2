// Times a keep-mode field update against zentor-sim paced at 38400 bit/s: the
// instrument's 2 KiB DATA FLASH read twice, Prog, restart, then a 30 KiB program
// (everything below the DATA FLASH of an MSC1210Y5) and the 2 KiB back through
// the boot ROM, with DopPause 0. Compares the wall time with its floor: every
// wait the tool makes plus the wire time of every byte sent and received (10 bits
// per byte), and reports the tool's CPU time over the wall time.
//
//   bench_update [path/to/zentor-sim]
//
// Without an argument the simulator is taken from ../sim/zentor-sim beside this
// program. ZENTOR_BENCH_QUICK=1: a 1 KiB program and 256 bytes of DATA FLASH.
// Prints; asserts nothing.
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "station/com_port.h"
#include "station/job.h"
#include "testing/recording_frontend.h"
#include "update/update_workflow.h"

namespace {

using namespace zentor;
using namespace zentor::bench;
namespace fs = std::filesystem;

constexpr int kBaud = 38400;
constexpr int kDataSize = 2048;
constexpr int kProgramSize = 32768 - kDataSize;
// Quick mode: one DATA FLASH page and a 1 KiB program.
constexpr int kQuickDataSize = 256;
constexpr int kQuickProgramSize = 1024;

double CpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    auto sec = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return sec(ru.ru_utime) + sec(ru.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const std::string simPath = SimulatorPath(argc, argv);
    const int dataSize = QuickMode() ? kQuickDataSize : kDataSize;
    const int programSize = QuickMode() ? kQuickProgramSize : kProgramSize;
    const BenchDir benchDir("zentor-bench-upd-");
    if (benchDir.path().empty()) return 1;
    const fs::path& dir = benchDir.path();
    Simulator sim(simPath, {"--chip", "Y5", "--data-flash-size", std::to_string(dataSize), "--baud",
                            std::to_string(kBaud)});
    if (sim.device.empty()) return 1;

    RecordingFrontend ui;
    WaitCountingClock clock;
    CountingOpener opener(MakeSystemPortOpener(dir));
    Station station{ui, clock, opener, {}, {}};
    Controls controls;
    Job s(station, controls);
    PrepareKeepModeUpdate(station, dir, programSize, dataSize);

    Transfer t;
    t.baud = kBaud;
    const double cpuBefore = CpuSeconds();
    const Stopwatch watch;
    station.settings.NamePort = sim.device;
    station.settings.BaudRate = kBaud;
    station.settings.AdrPribor = 1;
    const bool ok = FieldUpdate(s);
    t.measuredMs = watch.ElapsedMs();
    const double cpu = CpuSeconds() - cpuBefore;
    sim.Stop();

    t.waitedMs = clock.waitedMs;
    t.bytes = opener.counts;
    const double wallS = t.measuredMs / 1000.0;
    std::printf(
        "keep-mode update, %d-byte program, %d-byte DATA FLASH, %d bit/s: %s\n"
        "  %s\n"
        "  %s (target <= 1.03)\n"
        "  CPU %.3f s of %.3f s wall = %.2f %% (target < 5 %%)\n",
        programSize, dataSize, kBaud, ok ? "ok" : "FAILED", MeasuredText(t).c_str(),
        FloorText(t).c_str(), cpu, wallS, 100.0 * cpu / wallS);
    if (!ok) PrintLog(ui);
    return ok ? 0 : 1;
}

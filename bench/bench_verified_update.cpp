// Times a verified keep-mode field update against zentor-sim paced at 38400
// bit/s, in two parts: the update itself (2 KiB DATA FLASH read twice, Prog,
// restart, 30 KiB program and the 2 KiB back through the boot ROM, DopPause 0),
// then, after the simulator's power cycle, the verification (identification,
// 2 KiB read twice, compare). Each part against its own floor: the waits the tool
// makes plus the wire time of every byte (10 bits per byte). The user's wait for
// the power cycle is not part of either.
//
//   bench_verified_update [path/to/zentor-sim]
//
// ZENTOR_BENCH_QUICK=1: a 1 KiB program and 256 bytes of DATA FLASH. Prints;
// asserts nothing.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/files.h"
#include "station/com_port.h"
#include "station/job.h"
#include "testing/recording_frontend.h"
#include "update/update_workflow.h"
#include "verify/after_update.h"
#include "verify/verify.h"

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

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const std::string simPath = SimulatorPath(argc, argv);
    const int dataSize = QuickMode() ? kQuickDataSize : kDataSize;
    const int programSize = QuickMode() ? kQuickProgramSize : kProgramSize;
    const BenchDir benchDir("zentor-bench-vfy-");
    if (benchDir.path().empty()) return 1;
    const fs::path& dir = benchDir.path();
    std::vector<std::uint8_t> calibration(dataSize);
    for (std::size_t i = 0; i < calibration.size(); ++i)
        calibration[i] = static_cast<std::uint8_t>(i * 7 + 3);
    WriteFileAtomic(dir / "cal.bin", calibration);

    Simulator sim(simPath,
                  {"--chip", "Y5", "--data-flash-size", std::to_string(dataSize), "--data-file",
                   (dir / "cal.bin").string(), "--baud", std::to_string(kBaud)});
    if (sim.device.empty()) return 1;

    RecordingFrontend ui;
    WaitCountingClock clock;
    CountingOpener opener(MakeSystemPortOpener(dir));
    Station station{ui, clock, opener, {}, {}};
    Controls controls;
    Job s(station, controls);
    PrepareKeepModeUpdate(station, dir, programSize, dataSize);

    Transfer update;
    update.baud = kBaud;
    const Stopwatch updateWatch;
    station.settings.NamePort = sim.device;
    station.settings.BaudRate = kBaud;
    station.settings.AdrPribor = 1;
    const bool updated = FieldUpdate(s);
    update.measuredMs = updateWatch.ElapsedMs();
    update.waitedMs = clock.waitedMs;
    update.bytes = opener.counts;
    std::printf("verified keep-mode update, %d-byte program, %d-byte DATA FLASH, %d bit/s: %s\n",
                programSize, dataSize, kBaud, updated ? "ok" : "FAILED");
    std::printf("  update: %s\n  update: %s (target <= 1.03)\n", MeasuredText(update).c_str(),
                FloorText(update).c_str());
    if (!updated || !sim.PowerCycle()) {
        PrintLog(ui);
        return 1;
    }

    const auto check = CheckAfterUpdate(s);
    if (!check) return 1;
    clock.waitedMs = 0;
    VerifyRequest request{check->expected, check->serial, 10, "", "", ""};
    VerifyOutcome outcome = VerifyOutcome::BadImage;
    const PortRun run = RunOnOwnPort(s, clock, kBaud, [&](Job& session) {
        outcome = VerifyDataFlash(session, request).outcome;
        return outcome == VerifyOutcome::Equal;
    });
    std::printf("  verification: %s\n  verification: %s\n  verification: %s (target <= 1.03)\n",
                run.ok ? "equal" : VerifyOutcomeText(outcome), MeasuredText(run.t).c_str(),
                FloorText(run.t).c_str());
    sim.Stop();
    if (!run.ok) PrintLog(ui);
    return run.ok ? 0 : 1;
}

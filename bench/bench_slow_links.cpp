// Times two programming runs at low bit rates on zentor-sim paced like a real line
// and deaf while it writes flash, and compares each with its floor: the waits the
// run makes (20 ms per page written, DopPause per boot-ROM command, 1000 ms per
// erase, the programmer's fixed pauses) plus the wire time of every byte sent and
// received (10 bits per byte).
//   - hardware programmer at 9600 bit/s: 2 KiB program + 512 B data, written and
//     verified;
//   - boot ROM at 2400 bit/s, DopPause 0, ControlWrite on: 512 B program + 256 B
//     data into an MSC1210Y2.
//
//   bench_slow_links [path/to/zentor-sim]
//
// ZENTOR_BENCH_QUICK=1: the same links with 256 B + 64 B and 128 B + 128 B (data.bin
// for the boot ROM is whole 128-byte records).
// Prints the measurements; a byte the simulator loses shows on its standard error.
// Asserts nothing.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/files.h"
#include "testing/recording_frontend.h"

namespace {

using namespace zentor;
using namespace zentor::bench;
namespace fs = std::filesystem;

void WriteFile(const fs::path& path, std::size_t size, int seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9) + seed);
    WriteFileAtomic(path, bytes);
}

struct Link {
    const char* label;
    int typeController;
    int baud;
    std::size_t program, data;
    std::size_t quickProgram, quickData;
    std::vector<std::string> simArgs;
};

bool RunOnce(const std::string& simPath, const fs::path& workDir, const Link& link) {
    WriteFile(workDir / "prog.bin", QuickMode() ? link.quickProgram : link.program, 1);
    WriteFile(workDir / "data.bin", QuickMode() ? link.quickData : link.data, 2);
    std::vector<std::string> args = link.simArgs;
    args.insert(args.end(), {"--baud", std::to_string(link.baud)});
    Simulator sim(simPath, args);
    if (sim.device.empty()) return false;

    RecordingFrontend ui;
    const PortRun run =
        RunFactoryProgramming(ui, workDir, sim.device, link.typeController, link.baud);
    if (!run.opened) return false;
    std::printf("%s: %s  %s  %s\n", link.label, run.ok ? "ok    " : "FAILED",
                MeasuredText(run.t).c_str(), FloorText(run.t).c_str());
    if (!run.ok) PrintLog(ui);
    return run.ok;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const std::string simPath = SimulatorPath(argc, argv);
    const BenchDir dir("zentor-bench-slow-");
    if (dir.path().empty()) return 1;
    const Link links[] = {
        {"programmer 9600", 0, 9600, 2048, 512, 256, 64, {"--programmer"}},
        {"boot ROM 2400", 1, 2400, 512, 256, 128, 128, {"--jumper", "--chip", "Y2"}},
    };
    bool ok = true;
    for (const Link& link : links) ok = RunOnce(simPath, dir.path(), link) && ok;
    return ok ? 0 : 1;
}

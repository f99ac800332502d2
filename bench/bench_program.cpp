// Times a whole boot-ROM programming run of a 32 KiB program image into an
// MSC1210Y5 on zentor-sim paced at 38400 bit/s (DopPause 0, ControlWrite on)
// and compares it with its floor: the waits the run makes plus the wire time
// of every byte sent and received (10 bits per byte).
//
//   bench_program [path/to/zentor-sim]
//
// Without an argument the simulator is taken from ../sim/zentor-sim beside this
// program. ZENTOR_BENCH_QUICK=1: a 1 KiB program, then 768 B + 256 B of data.
// Prints the measurement; asserts nothing.
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

constexpr int kBaud = 38400;
constexpr std::size_t kProgramSize = 32768;
constexpr std::size_t kDataSize = 2048;  // of the second run, taken from the program's share
constexpr std::size_t kQuickProgramSize = 1024;
constexpr std::size_t kQuickDataSize = 256;

bool RunOnce(const std::string& simPath, const fs::path& workDir, std::size_t programSize,
             std::size_t dataSize) {
    std::vector<std::uint8_t> program(programSize), data(dataSize);
    for (std::size_t i = 0; i < program.size(); ++i)
        program[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    WriteFileAtomic(workDir / "prog.bin", program);
    WriteFileAtomic(workDir / "data.bin", data);

    Simulator sim(simPath, {"--jumper", "--chip", "Y5", "--baud", std::to_string(kBaud)});
    if (sim.device.empty()) return false;

    RecordingFrontend ui;
    const PortRun run = RunFactoryProgramming(ui, workDir, sim.device, 4, kBaud);
    if (!run.opened) return false;
    std::printf("program %5zu + data %4zu bytes: %s  %s  %s\n", programSize, dataSize,
                run.ok ? "ok    " : "FAILED", MeasuredText(run.t).c_str(),
                FloorText(run.t).c_str());
    if (!run.ok) PrintLog(ui);
    return run.ok;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const std::string simPath = SimulatorPath(argc, argv);
    const BenchDir dir("zentor-bench-program-");
    if (dir.path().empty()) return 1;
    const std::size_t size = QuickMode() ? kQuickProgramSize : kProgramSize;
    const std::size_t data = QuickMode() ? kQuickDataSize : kDataSize;
    bool ok = RunOnce(simPath, dir.path(), size, 0);
    ok = RunOnce(simPath, dir.path(), size - data, data) && ok;
    return ok ? 0 : 1;
}

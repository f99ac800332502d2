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
// program. Prints; asserts nothing.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/files.h"
#include "common/image_key.h"
#include "common/recording_frontend.h"
#include "common/session.h"
#include "serial/com_port.h"
#include "update/update_workflow.h"

namespace {

using namespace zentor;
namespace fs = std::filesystem;

constexpr int kBaud = 38400;
constexpr int kDataSize = 2048;
constexpr int kProgramSize = 32768 - kDataSize;

// Real time, with the requested waits added up.
class CountingClock final : public Clock {
public:
    void SleepMs(int ms) override {
        if (ms > 0) waitedMs += ms;
        real_.SleepMs(ms);
    }
    std::int64_t NowMs() override { return real_.NowMs(); }
    std::int64_t waitedMs = 0;

private:
    SystemClock real_;
};

struct ByteCounts {
    std::size_t sent = 0;
    std::size_t received = 0;
};

class CountingPort final : public Port {
public:
    CountingPort(std::unique_ptr<Port> inner, ByteCounts& counts)
        : inner_(std::move(inner)), counts_(counts) {}
    std::size_t Write(const std::uint8_t* d, std::size_t n) override {
        const std::size_t w = inner_->Write(d, n);
        counts_.sent += w;
        return w;
    }
    std::size_t Read(std::uint8_t* d, std::size_t n) override {
        const std::size_t r = inner_->Read(d, n);
        counts_.received += r;
        return r;
    }
    void PurgeRx() override { inner_->PurgeRx(); }
    ComTimeouts Timeouts() const override { return inner_->Timeouts(); }

private:
    std::unique_ptr<Port> inner_;
    ByteCounts& counts_;
};

// The workflow opens the port itself; every port it gets is counted.
class CountingOpener final : public PortOpener {
public:
    explicit CountingOpener(std::unique_ptr<PortOpener> inner) : inner_(std::move(inner)) {}
    OpenResult Open(const std::string& name, int baudRate) override {
        OpenResult r = inner_->Open(name, baudRate);
        if (r.port) r.port = std::make_unique<CountingPort>(std::move(r.port), counts);
        return r;
    }
    OpenStatus Probe(const std::string& name) override { return inner_->Probe(name); }
    ByteCounts counts;

private:
    std::unique_ptr<PortOpener> inner_;
};

struct Simulator {
    pid_t pid = -1;
    int out = -1;
    std::string device;
};

Simulator StartSimulator(const std::string& path, const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    Simulator sim;
    sim.pid = pid;
    sim.out = fds[0];
    char c;
    while (::read(sim.out, &c, 1) == 1 && c != '\n') sim.device += c;
    return sim;
}

void StopSimulator(Simulator& sim) {
    if (sim.pid > 0) {
        ::kill(sim.pid, SIGTERM);
        int status = 0;
        ::waitpid(sim.pid, &status, 0);
        sim.pid = -1;
    }
    if (sim.out >= 0) ::close(sim.out);
    sim.out = -1;
}

double CpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    auto sec = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return sec(ru.ru_utime) + sec(ru.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const fs::path self = fs::absolute(argv[0]);
    const std::string simPath =
        argc > 1 ? argv[1]
                 : (self.parent_path() / ".." / "sim" / "zentor-sim").lexically_normal().string();

    char tmpl[] = "/tmp/zentor-bench-upd-XXXXXX";
    const char* dirText = ::mkdtemp(tmpl);
    if (!dirText) return 1;
    const fs::path dir = dirText;
    std::vector<std::uint8_t> program(kProgramSize);
    for (std::size_t i = 0; i < program.size(); ++i)
        program[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
    ScrambleImage(program);
    WriteFileAtomic(dir / "prog_c.bin", program);

    Simulator sim =
        StartSimulator(simPath, {"--chip", "Y5", "--data-flash-size", std::to_string(kDataSize),
                                 "--baud", std::to_string(kBaud)});
    if (sim.device.empty()) {
        std::fprintf(stderr, "simulator did not report its device (%s)\n", simPath.c_str());
        StopSimulator(sim);
        return 1;
    }

    RecordingFrontend ui;
    CountingClock clock;
    CountingOpener opener(MakeSystemPortOpener(dir));
    Session s(ui, clock, opener);
    s.face = WindowFace::UpdateFace;
    s.caption = "Zentor Velmar";
    s.workDir = dir;
    s.settings.TypeController = 4;
    s.settings.DopPause = 0;
    s.settings.SizeData = kDataSize;
    s.settings.MaxKolReadings = 2;

    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = BitBtnProshivkaVelmarClick(s, {sim.device, std::to_string(kBaud), "1"});
    const auto end = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds() - cpuBefore;
    StopSimulator(sim);

    const double measuredMs = std::chrono::duration<double, std::milli>(end - start).count();
    const ByteCounts& n = opener.counts;
    const double wireMs = static_cast<double>(n.sent + n.received) * 10.0 * 1000.0 / kBaud;
    const double floorMs = static_cast<double>(clock.waitedMs) + wireMs;
    std::printf(
        "keep-mode update, %d-byte program, %d-byte DATA FLASH, %d bit/s: %s\n"
        "  measured %.1f ms  waits %lld ms  wire %.1f ms (%zu sent, %zu received)\n"
        "  floor %.1f ms  ratio %.4f (target <= 1.03)\n"
        "  CPU %.3f s of %.3f s wall = %.2f %% (target < 5 %%)\n",
        kProgramSize, kDataSize, kBaud, ok ? "ok" : "FAILED", measuredMs,
        static_cast<long long>(clock.waitedMs), wireMs, n.sent, n.received, floorMs,
        measuredMs / floorMs, cpu, measuredMs / 1000.0, 100.0 * cpu / (measuredMs / 1000.0));
    if (!ok)
        for (const auto& line : ui.history) std::printf("  | %s\n", line.c_str());

    std::error_code ec;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}

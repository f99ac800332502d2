// Times a 2048-byte DATA FLASH read from zentor-sim paced at 38400 bit/s and
// compares it with its floor: the waits the protocol makes plus the wire time of
// every byte sent and received (10 bits per byte).
//
//   bench_read_data [path/to/zentor-sim]
//
// Without an argument the simulator is taken from ../sim/zentor-sim beside this
// program. Prints one line per block size; asserts nothing.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/recording_frontend.h"
#include "common/session.h"
#include "instrument/instrument_commands.h"
#include "serial/com_port.h"

namespace {

using namespace zentor;
namespace fs = std::filesystem;

constexpr int kBaud = 38400;
constexpr int kSize = 2048;

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

// The session's port, with the bytes that went each way counted.
class CountingPort final : public Port {
public:
    explicit CountingPort(std::unique_ptr<Port> inner) : inner_(std::move(inner)) {}
    std::size_t Write(const std::uint8_t* d, std::size_t n) override {
        std::size_t w = inner_->Write(d, n);
        sent += w;
        return w;
    }
    std::size_t Read(std::uint8_t* d, std::size_t n) override {
        std::size_t r = inner_->Read(d, n);
        received += r;
        return r;
    }
    void PurgeRx() override { inner_->PurgeRx(); }
    ComTimeouts Timeouts() const override { return inner_->Timeouts(); }
    std::size_t sent = 0;
    std::size_t received = 0;

private:
    std::unique_ptr<Port> inner_;
};

struct Simulator {
    pid_t pid = -1;
    int out = -1;  // read end of its stdout, kept open while it runs
    std::string device;
};

// Starts the simulator with its stdout on a pipe and reads the pty path from
// its first line.
Simulator StartSimulator(const std::string& path, const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    pid_t pid = ::fork();
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

bool RunOnce(const std::string& simPath, int versionCode, const fs::path& workDir) {
    Simulator sim = StartSimulator(
        simPath, {"--address", "1", "--version-code", std::to_string(versionCode),
                  "--data-flash-size", std::to_string(kSize), "--baud", std::to_string(kBaud)});
    if (sim.device.empty()) {
        std::fprintf(stderr, "simulator did not report its device (%s)\n", simPath.c_str());
        StopSimulator(sim);
        return false;
    }

    RecordingFrontend ui;
    CountingClock clock;
    std::unique_ptr<PortOpener> opener = MakeSystemPortOpener(workDir);
    Session s(ui, clock, *opener);
    s.settings.NamePort = sim.device;
    s.settings.BaudRate = kBaud;
    s.settings.AdrPribor = 1;
    s.settings.SizeData = kSize;
    s.settings.MaxKolReadings = 1;
    s.face = WindowFace::UpdateFace;  // the read alone, no restart
    s.workDir = workDir;
    if (!OpenComPort(s)) {
        std::fprintf(stderr, "cannot open %s\n", sim.device.c_str());
        StopSimulator(sim);
        return false;
    }
    auto counting = std::make_unique<CountingPort>(std::move(s.hComPort));
    CountingPort* port = counting.get();
    s.hComPort = std::move(counting);

    const auto start = std::chrono::steady_clock::now();
    const bool ok = BitBtnReadDataClick(s);
    const auto end = std::chrono::steady_clock::now();
    const std::size_t sent = port->sent;
    const std::size_t received = port->received;
    CloseComPort(s);
    StopSimulator(sim);

    const double measuredMs = std::chrono::duration<double, std::milli>(end - start).count();
    const double wireMs = static_cast<double>(sent + received) * 10.0 * 1000.0 / kBaud;
    const double floorMs = static_cast<double>(clock.waitedMs) + wireMs;
    std::printf(
        "version %3d (%3d-byte blocks): %s  measured %.1f ms  waits %lld ms  wire %.1f ms "
        "(%zu sent, %zu received)  floor %.1f ms  ratio %.4f\n",
        versionCode, versionCode >= 100 ? 128 : 16, ok ? "ok    " : "FAILED", measuredMs,
        static_cast<long long>(clock.waitedMs), wireMs, sent, received, floorMs,
        measuredMs / floorMs);
    if (!ok)
        for (const auto& line : ui.history) std::printf("  | %s\n", line.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const fs::path self = fs::absolute(argv[0]);
    const std::string simPath =
        argc > 1 ? argv[1]
                 : (self.parent_path() / ".." / "sim" / "zentor-sim").lexically_normal().string();

    char tmpl[] = "/tmp/zentor-bench-XXXXXX";
    const char* dir = ::mkdtemp(tmpl);
    if (!dir) return 1;
    bool ok = true;
    for (int version : {99, 120}) ok = RunOnce(simPath, version, dir) && ok;
    std::error_code ec;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}

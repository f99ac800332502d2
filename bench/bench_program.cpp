// Times a whole boot-ROM programming run of a 32 KiB program image into an
// MSC1210Y5 on zentor-sim paced at 38400 bit/s (DopPause 0, ControlWrite on)
// and compares it with its floor: the waits the run makes plus the wire time
// of every byte sent and received (10 bits per byte).
//
//   bench_program [path/to/zentor-sim]
//
// Without an argument the simulator is taken from ../sim/zentor-sim beside this
// program. Prints the measurement; asserts nothing.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "common/clock.h"
#include "common/recording_frontend.h"
#include "common/session.h"
#include "serial/com_port.h"

namespace {

using namespace zentor;
namespace fs = std::filesystem;

constexpr int kBaud = 38400;
constexpr std::size_t kProgramSize = 32768;

class WaitCountingClock final : public Clock {
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

class ByteCountingPort final : public Port {
public:
    explicit ByteCountingPort(std::unique_ptr<Port> inner) : inner_(std::move(inner)) {}
    std::size_t Write(const std::uint8_t* d, std::size_t n) override {
        const std::size_t w = inner_->Write(d, n);
        sent += w;
        return w;
    }
    std::size_t Read(std::uint8_t* d, std::size_t n) override {
        const std::size_t r = inner_->Read(d, n);
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

// The simulator on a pipe; its first stdout line is the terminal's path.
struct Simulator {
    pid_t pid = -1;
    int out = -1;
    std::string device;

    Simulator(const std::string& path, const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
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
        out = fds[0];
        char c;
        while (::read(out, &c, 1) == 1 && c != '\n') device += c;
    }
    ~Simulator() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
        if (out >= 0) ::close(out);
    }
};

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

bool RunOnce(const std::string& simPath, const fs::path& workDir, std::size_t programSize,
             std::size_t dataSize) {
    std::vector<std::uint8_t> program(programSize), data(dataSize);
    for (std::size_t i = 0; i < program.size(); ++i)
        program[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    WriteFile(workDir / "prog.bin", program);
    WriteFile(workDir / "data.bin", data);

    Simulator sim(simPath, {"--jumper", "--chip", "Y5", "--baud", std::to_string(kBaud)});
    if (sim.device.empty()) {
        std::fprintf(stderr, "simulator did not report its device (%s)\n", simPath.c_str());
        return false;
    }

    RecordingFrontend ui;
    ui.answers.push_back(true);
    WaitCountingClock clock;
    std::unique_ptr<PortOpener> opener = MakeSystemPortOpener(workDir);
    Session s(ui, clock, *opener);
    s.face = WindowFace::FactoryFace;
    s.workDir = workDir;
    s.settings.TypeController = 4;
    s.settings.NamePort = sim.device;
    s.settings.BaudRate = kBaud;
    s.settings.DopPause = 0;
    s.settings.ControlWrite = true;
    if (!OpenComPort(s)) {
        std::fprintf(stderr, "cannot open %s\n", sim.device.c_str());
        return false;
    }
    auto counting = std::make_unique<ByteCountingPort>(std::move(s.hComPort));
    ByteCountingPort* port = counting.get();
    s.hComPort = std::move(counting);

    const auto start = std::chrono::steady_clock::now();
    const bool ok = ProgramChip(s);
    const auto end = std::chrono::steady_clock::now();
    const std::size_t sent = port->sent;
    const std::size_t received = port->received;
    CloseComPort(s);

    const double measuredMs = std::chrono::duration<double, std::milli>(end - start).count();
    const double wireMs = static_cast<double>(sent + received) * 10.0 * 1000.0 / kBaud;
    const double floorMs = static_cast<double>(clock.waitedMs) + wireMs;
    std::printf(
        "program %5zu + data %4zu bytes: %s  measured %.1f ms  waits %lld ms  wire %.1f ms "
        "(%zu sent, %zu received)  floor %.1f ms  ratio %.4f\n",
        programSize, dataSize, ok ? "ok    " : "FAILED", measuredMs,
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
    char tmpl[] = "/tmp/zentor-bench-program-XXXXXX";
    const char* dir = ::mkdtemp(tmpl);
    if (!dir) return 1;
    bool ok = RunOnce(simPath, dir, kProgramSize, 0);
    ok = RunOnce(simPath, dir, kProgramSize - 2048, 2048) && ok;
    std::error_code ec;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}

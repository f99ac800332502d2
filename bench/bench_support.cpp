#include "bench_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "bootrom/program_chip.h"
#include "common/files.h"
#include "common/image_key.h"
#include "station/com_port.h"

namespace zentor::bench {

namespace fs = std::filesystem;

std::string SimulatorPath(int argc, char** argv) {
    if (argc > 1) return argv[1];
    const fs::path self = fs::absolute(argv[0]);
    return (self.parent_path() / ".." / "sim" / "zentor-sim").lexically_normal().string();
}

bool QuickMode() {
    const char* quick = std::getenv("ZENTOR_BENCH_QUICK");
    return quick != nullptr && std::string(quick) == "1";
}

Simulator::Simulator(const std::string& path, const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::fprintf(stderr, "simulator did not report its device (%s)\n", path.c_str());
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
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
    out_ = fds[0];
    char c;
    while (::read(out_, &c, 1) == 1 && c != '\n') device += c;
    if (device.empty())
        std::fprintf(stderr, "simulator did not report its device (%s)\n", path.c_str());
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::PowerCycle() {
    if (pid_ <= 0 || ::kill(pid_, SIGUSR2) != 0) return false;
    std::string line;
    for (char c; ::read(out_, &c, 1) == 1;) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line == "power-cycled") return true;
        line.clear();
    }
    return false;
}

void Simulator::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (out_ >= 0) ::close(out_);
    out_ = -1;
}

BenchDir::BenchDir(const std::string& prefix) {
    std::string tmpl = "/tmp/" + prefix + "XXXXXX";
    if (const char* made = ::mkdtemp(tmpl.data())) path_ = made;
}

BenchDir::~BenchDir() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void WaitCountingClock::SleepMs(int ms) {
    if (ms > 0) waitedMs += ms;
    real_.SleepMs(ms);
}

std::size_t CountingPort::Write(const std::uint8_t* d, std::size_t n) {
    const std::size_t w = inner_->Write(d, n);
    counts_.sent += w;
    return w;
}

std::size_t CountingPort::Read(std::uint8_t* d, std::size_t n) {
    const std::size_t r = inner_->Read(d, n);
    counts_.received += r;
    return r;
}

OpenResult CountingOpener::Open(const std::string& name, int baudRate) {
    OpenResult r = inner_->Open(name, baudRate);
    if (r.port) r.port = std::make_unique<CountingPort>(std::move(r.port), counts);
    return r;
}

double Transfer::WireMs() const {
    return static_cast<double>(bytes.sent + bytes.received) * 10.0 * 1000.0 / baud;
}

PortRun RunOnOwnPort(Job& s, const WaitCountingClock& clock, int baud,
                     const std::function<bool(Job&)>& command) {
    PortRun run;
    run.t.baud = baud;
    if (!OpenComPort(s)) {
        std::fprintf(stderr, "cannot open %s\n", s.settings.NamePort.c_str());
        return run;
    }
    run.opened = true;
    s.port = std::make_unique<CountingPort>(std::move(s.port), run.t.bytes);
    const Stopwatch watch;
    run.ok = command(s);
    run.t.measuredMs = watch.ElapsedMs();
    CloseComPort(s);
    run.t.waitedMs = clock.waitedMs;
    return run;
}

PortRun RunFactoryProgramming(RecordingFrontend& ui, const fs::path& workDir,
                              const std::string& device, int typeController, int baud) {
    ui.answers.push_back(true);
    WaitCountingClock clock;
    std::unique_ptr<PortOpener> opener = MakeSystemPortOpener(workDir);
    Station station{ui, clock, *opener, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.place.workDir = workDir;
    station.settings.TypeController = typeController;
    station.settings.NamePort = device;
    station.settings.BaudRate = baud;
    station.settings.DopPause = 0;
    station.settings.ControlWrite = true;
    return RunOnOwnPort(s, clock, baud, EraseAndWrite);
}

void PrepareKeepModeUpdate(Station& station, const fs::path& dir, std::size_t programSize,
                           int dataSize) {
    std::vector<std::uint8_t> program(programSize);
    for (std::size_t i = 0; i < program.size(); ++i)
        program[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
    ScrambleImage(program);
    WriteFileAtomic(dir / "prog_c.bin", program);

    station.place.caption = "Zentor Velmar";
    station.place.workDir = dir;
    station.settings.TypeController = 4;
    station.settings.DopPause = 0;
    station.settings.SizeData = dataSize;
    station.settings.MaxKolReadings = 2;
}

std::string MeasuredText(const Transfer& t) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "measured %.1f ms  waits %lld ms  wire %.1f ms (%zu sent, %zu received)",
                  t.measuredMs, static_cast<long long>(t.waitedMs), t.WireMs(), t.bytes.sent,
                  t.bytes.received);
    return text;
}

std::string FloorText(const Transfer& t) {
    char text[80];
    std::snprintf(text, sizeof text, "floor %.1f ms  ratio %.4f", t.FloorMs(), t.Ratio());
    return text;
}

void PrintLog(const RecordingFrontend& ui) {
    for (const auto& line : ui.history) std::printf("  | %s\n", line.c_str());
}

}  // namespace zentor::bench

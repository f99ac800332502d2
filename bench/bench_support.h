// Pieces every simulator benchmark uses: the simulator as a child process, a
// clock and a port that count what a run costs, the run's floor and its printed
// figures. POSIX only, like the benchmarks.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "serial/port.h"
#include "station/job.h"
#include "testing/recording_frontend.h"

namespace zentor::bench {

// The simulator given as the first argument, else ../sim/zentor-sim beside this program.
std::string SimulatorPath(int argc, char** argv);

// ZENTOR_BENCH_QUICK=1 in the environment: each benchmark takes its measurement once,
// on its smallest sizes, through the same code; a smoke run whose figures mean nothing.
bool QuickMode();

// zentor-sim with its stdout on a pipe; `device` is the pty path from its first
// line, empty (and said so on stderr) when it did not start. Stopped (SIGTERM,
// waited for) by Stop or the destructor.
class Simulator {
public:
    Simulator(const std::string& path, const std::vector<std::string>& args);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    void Stop();
    // Switches the device off and on (SIGUSR2); true once it said so.
    bool PowerCycle();

    std::string device;

private:
    pid_t pid_ = -1;
    int out_ = -1;  // read end of its stdout, kept open while it runs
};

// A fresh folder /tmp/<prefix>XXXXXX, removed with everything in it on destruction;
// path() is empty when it could not be made.
class BenchDir {
public:
    explicit BenchDir(const std::string& prefix);
    ~BenchDir();
    BenchDir(const BenchDir&) = delete;
    BenchDir& operator=(const BenchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Real time, with the requested waits added up.
class WaitCountingClock final : public Clock {
public:
    void SleepMs(int ms) override;
    std::int64_t NowMs() override { return real_.NowMs(); }
    std::int64_t waitedMs = 0;

private:
    SystemClock real_;
};

struct ByteCounts {
    std::size_t sent = 0;
    std::size_t received = 0;
};

// A port with the bytes that went each way added to `counts`.
class CountingPort final : public Port {
public:
    CountingPort(std::shared_ptr<Port> inner, ByteCounts& counts)
        : inner_(std::move(inner)), counts_(counts) {}
    std::size_t Write(const std::uint8_t* d, std::size_t n) override;
    std::size_t Read(std::uint8_t* d, std::size_t n) override;
    void PurgeRx() override { inner_->PurgeRx(); }
    ComTimeouts Timeouts() const override { return inner_->Timeouts(); }

private:
    std::shared_ptr<Port> inner_;
    ByteCounts& counts_;
};

// For commands that open the port themselves: every port opened is counted.
class CountingOpener final : public PortOpener {
public:
    explicit CountingOpener(std::unique_ptr<PortOpener> inner) : inner_(std::move(inner)) {}
    OpenResult Open(const std::string& name, int baudRate) override;
    OpenStatus Probe(const std::string& name) override { return inner_->Probe(name); }
    ByteCounts counts;

private:
    std::unique_ptr<PortOpener> inner_;
};

// Wall time since construction.
class Stopwatch {
public:
    double ElapsedMs() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// One timed run: its floor is the waits plus 10 bits per byte, both ways, at `baud`.
struct Transfer {
    double measuredMs = 0;
    std::int64_t waitedMs = 0;
    ByteCounts bytes;
    int baud = 0;

    double WireMs() const;
    double FloorMs() const { return static_cast<double>(waitedMs) + WireMs(); }
    double Ratio() const { return measuredMs / FloorMs(); }
};

// A command timed on the session's own port, its bytes counted: the port is opened
// (`opened` false, said on stderr, when it does not open), the command runs, the
// port is closed. `ok` is the command's result; the waits come from `clock`.
struct PortRun {
    bool opened = false;
    bool ok = false;
    Transfer t;
};
PortRun RunOnOwnPort(Job& s, const WaitCountingClock& clock, int baud,
                     const std::function<bool(Job&)>& command);

// The factory button's programming run ("Произвести запись?" answered yes) of
// prog.bin and data.bin in workDir onto `device`, DopPause 0 and ControlWrite on,
// timed on its own port. The run's log stays in `ui`.
PortRun RunFactoryProgramming(RecordingFrontend& ui, const std::filesystem::path& workDir,
                              const std::string& device, int typeController, int baud);

// The keep-mode update benches' set-up: a scrambled prog_c.bin of programSize
// bytes in dir, and the session of an MSC1210Y5 update at DopPause 0 that reads
// dataSize bytes of DATA FLASH twice.
void PrepareKeepModeUpdate(Station& station, const std::filesystem::path& dir,
                           std::size_t programSize, int dataSize);

// "measured X ms  waits W ms  wire Y ms (S sent, R received)"
std::string MeasuredText(const Transfer& t);
// "floor F ms  ratio Z"
std::string FloorText(const Transfer& t);
// The run's log, one "  | line" each, printed after a failed run.
void PrintLog(const RecordingFrontend& ui);

}  // namespace zentor::bench

// zentor-sim: one simulated instrument, boot ROM or programmer on one pseudo-terminal.
//
// The first line of standard output is the terminal's path; after that one line
// per handled control request ("dumped", "power-cycled").

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board.h"
#include "line_rate.h"
#include "options.h"
#include "pty.h"
#include "zentor_version.h"

namespace zentor::sim {
namespace {

constexpr int kExitVanished = 3;

bool ReadFile(const std::string& path, Bytes* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Copies a file's contents to memory at `offset`; the file must fit in `room`.
bool LoadInto(const std::string& path, Bytes& memory, int offset, int room, std::string* error) {
    Bytes contents;
    if (!ReadFile(path, &contents, error)) return false;
    if (contents.size() > static_cast<std::size_t>(room)) {
        *error = path + " holds " + std::to_string(contents.size()) + " bytes, room for " +
                 std::to_string(room);
        return false;
    }
    std::copy(contents.begin(), contents.end(), memory.begin() + offset);
    return true;
}

bool BuildMemories(const Options& o, Chip* chip, ProgrammerTarget* target, std::string* error) {
    if (o.programmer) {
        target->code.assign(o.progCodeSize, 0xFF);
        target->data.assign(o.progDataSize, 0xFF);
        return (o.codeFile.empty() ||
                LoadInto(o.codeFile, target->code, 0, o.progCodeSize, error)) &&
               (o.dataFile.empty() || LoadInto(o.dataFile, target->data, 0, o.progDataSize, error));
    }
    chip->flashSize = o.flashSize;
    chip->dataFlashSize = o.dataFlashSize;
    chip->hcr0 = o.hcr0;
    chip->hcr1 = o.hcr1;
    chip->flash.assign(o.flashSize, 0xFF);
    if (!o.codeFile.empty() && !LoadInto(o.codeFile, chip->flash, 0, o.flashSize, error)) {
        return false;
    }
    const int base = chip->DataBase();
    if (o.dataFile.empty()) {
        for (int i = 0; i < o.dataFlashSize; ++i) {
            chip->flash[base + i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
        }
    } else {
        std::fill(chip->flash.begin() + base, chip->flash.end(), 0xFF);
        if (!LoadInto(o.dataFile, chip->flash, base, o.dataFlashSize, error)) return false;
    }
    return true;
}

void Status(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// DIR/dosdevices/comN -> the terminal, for tools that map COM names there.
class ComLink {
public:
    ComLink(const Options& o, const std::string& target) {
        if (o.linkDir.empty()) return;
        const std::filesystem::path dir = std::filesystem::path(o.linkDir) / "dosdevices";
        std::filesystem::create_directories(dir);
        path_ = dir / ("com" + std::to_string(o.com));
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        std::filesystem::create_symlink(target, path_);
    }
    ~ComLink() { Remove(); }
    void Remove() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        path_.clear();
    }

private:
    std::filesystem::path path_;
};

void ArmTimer(int timerFd, std::optional<TimePoint> at) {
    itimerspec when{};
    if (at) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(at->time_since_epoch());
        when.it_value.tv_sec = ns.count() / 1'000'000'000;
        when.it_value.tv_nsec = ns.count() % 1'000'000'000;
        // Zero would disarm; a moment already past fires at once.
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
    }
    ::timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &when, nullptr);
}

int Run(const Options& options) {
    std::string error;
    Chip chip;
    ProgrammerTarget target;
    if (!BuildMemories(options, &chip, &target, &error)) {
        std::fprintf(stderr, "zentor-sim: %s\n", error.c_str());
        return 2;
    }

    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) sigaddset(&signals, s);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    // steady_clock is CLOCK_MONOTONIC, so deadlines can be armed as absolute times.
    const int timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (signalFd < 0 || timerFd < 0) {
        std::fprintf(stderr, "zentor-sim: %s\n", std::strerror(errno));
        return 2;
    }

    // Arrival times are taken when the process wakes: a wake-up delayed by a busy
    // machine would shift them. Best effort; needs the privilege to raise priority.
    if (options.baud > 0) (void)::setpriority(PRIO_PROCESS, 0, -10);

    PtyLink link(options.baud, options.rxLog);
    Board board(options, link, std::move(chip), std::move(target));
    ComLink comLink(options, link.SlavePath());
    Status(link.SlavePath().c_str());

    for (;;) {
        TimePoint now = SteadyClock::now();
        link.PushDue(now);
        while (auto byte = link.PopDue(now)) {
            // At another rate the device would only see garbled bytes: silence here.
            if (options.matchBaud && TerminalRate(link.MasterFd()) != options.baud) continue;
            board.Receive(byte->first, byte->second);
        }
        link.PushDue(now);
        if (board.VanishAt() && now >= *board.VanishAt()) {
            // The device is gone: no dump, the terminal closes with the process.
            comLink.Remove();
            std::fflush(stdout);
            ::_exit(kExitVanished);
        }

        std::optional<TimePoint> next = link.NextEvent();
        if (board.VanishAt() && (!next || *board.VanishAt() < *next)) next = board.VanishAt();
        ArmTimer(timerFd, next);

        pollfd fds[3] = {{link.MasterFd(), POLLIN, 0}, {signalFd, POLLIN, 0}, {timerFd, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "zentor-sim: poll: %s\n", std::strerror(errno));
            return 2;
        }
        now = SteadyClock::now();
        if (fds[0].revents & POLLIN) link.Pull(now);
        if (fds[2].revents & POLLIN) {
            std::uint64_t expirations;
            (void)!::read(timerFd, &expirations, sizeof expirations);
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info;
            while (::read(signalFd, &info, sizeof info) == sizeof info) {
                switch (info.ssi_signo) {
                    case SIGUSR1:
                        if (!board.Dump(&error))
                            std::fprintf(stderr, "zentor-sim: %s\n", error.c_str());
                        Status("dumped");
                        break;
                    case SIGUSR2:
                        board.PowerCycle();
                        Status("power-cycled");
                        break;
                    default:
                        if (!board.Dump(&error))
                            std::fprintf(stderr, "zentor-sim: %s\n", error.c_str());
                        Status("dumped");
                        return 0;
                }
            }
        }
    }
}

}  // namespace
}  // namespace zentor::sim

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("zentor-sim %s\n", ZENTOR_VERSION_TEXT);
        return 0;
    }
    std::string error;
    auto options =
        zentor::sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        if (error.empty()) {
            std::fputs(zentor::sim::Usage().c_str(), stdout);
            return 0;
        }
        std::fprintf(stderr, "zentor-sim: %s\n%s", error.c_str(), zentor::sim::Usage().c_str());
        return 2;
    }
    try {
        return zentor::sim::Run(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zentor-sim: %s\n", e.what());
        return 2;
    }
}

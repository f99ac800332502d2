#include "support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace zentor::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStatusTimeout = 5s;

std::vector<std::uint8_t> ReadBinary(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> args) {
    const bool paced = std::any_of(args.begin(), args.end(), [](const std::string& a) {
        return a == "--baud" || a.rfind("--baud=", 0) == 0;
    });
    if (!paced) args.insert(args.end(), {"--baud", std::to_string(kDefaultBaud)});
    args.insert(args.begin(), ZENTOR_SIM_PATH);
    args.push_back("--state-dir");
    args.push_back(stateDir_.path().string());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // Do not outlive a test program that dies.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(out[0]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    stdout_ = out[0];
    std::string failure;
    try {
        devicePath_ = ReadLine(kStatusTimeout);
        if (devicePath_.empty() || devicePath_[0] != '/') failure = "got \"" + devicePath_ + "\"";
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!failure.empty()) {
        Kill();
        ::close(stdout_);
        throw std::runtime_error("zentor-sim did not report its device path: " + failure);
    }
}

SimProcess::~SimProcess() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGTERM);
        if (!WaitForExit(5s)) Kill();
    }
    if (stdout_ >= 0) ::close(stdout_);
}

std::string SimProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (auto nl = pending_.find('\n'); nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        pollfd pfd{stdout_, POLLIN, 0};
        int ready = ::poll(&pfd, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            throw std::runtime_error("zentor-sim: no status line within " +
                                     std::to_string(timeout.count()) + " ms");
        }
        char buf[256];
        ssize_t n = ::read(stdout_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("zentor-sim closed its output (exited?)");
        pending_.append(buf, static_cast<std::size_t>(n));
    }
}

void SimProcess::Signal(int signo, const std::string& expectedLine) {
    if (!Running()) throw std::runtime_error("zentor-sim is not running");
    ::kill(pid_, signo);
    const auto deadline = Clock::now() + kStatusTimeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (ReadLine(std::max(left, 0ms)) == expectedLine) return;
    }
}

void SimProcess::Dump() {
    Signal(SIGUSR1, "dumped");
}

void SimProcess::PowerCycle() {
    Signal(SIGUSR2, "power-cycled");
}

std::vector<std::uint8_t> SimProcess::Flash() {
    Dump();
    return ReadBinary(stateDir_ / "flash.bin");
}

std::vector<std::uint8_t> SimProcess::DataFlash() {
    Dump();
    return ReadBinary(stateDir_ / "data.bin");
}

std::string SimProcess::HcrValue(const std::string& key) {
    Dump();
    std::ifstream in(stateDir_ / "hcr.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1, 2);
    }
    throw std::runtime_error("hcr.txt has no " + key);
}

std::string SimProcess::Hcr0() {
    return HcrValue("HCR0");
}

std::string SimProcess::Hcr1() {
    return HcrValue("HCR1");
}

std::string SimProcess::Mode() {
    Dump();
    std::ifstream in(stateDir_ / "mode.txt");
    std::string mode;
    in >> mode;
    return mode;
}

long SimProcess::LostBytes() {
    Dump();
    std::ifstream in(stateDir_ / "lost.txt");
    long lost = -1;
    if (!(in >> lost)) throw std::runtime_error("lost.txt unreadable");
    return lost;
}

bool SimProcess::Reap(bool block) {
    if (pid_ <= 0 || reaped_) return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_ || r < 0) {
        reaped_ = true;
        status_ = status;
    }
    return reaped_;
}

void SimProcess::Kill() {
    if (pid_ <= 0 || reaped_) return;
    ::kill(pid_, SIGKILL);
    Reap(true);
}

bool SimProcess::Running() {
    return !Reap(false);
}

bool SimProcess::WaitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!Reap(false)) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

int SimProcess::ExitCode() {
    if (Running() || !WIFEXITED(status_)) return -1;
    return WEXITSTATUS(status_);
}

SimLine::SimLine(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
}

SimLine::~SimLine() {
    if (fd_ >= 0) ::close(fd_);
}

bool SimLine::Write(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd pfd{fd_, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool SimLine::WriteText(const std::string& text) {
    return Write(Bytes(text.begin(), text.end()));
}

SimLine::Bytes SimLine::Read(std::size_t n, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    Bytes got;
    while (got.size() < n) {
        pollfd pfd{fd_, POLLIN, 0};
        int ready = ::poll(&pfd, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        std::uint8_t buf[512];
        ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (r <= 0) break;  // hung up
        got.insert(got.end(), buf, buf + r);
    }
    return got;
}

SimLine::Bytes SimLine::ReadFor(std::chrono::milliseconds duration) {
    return Read(static_cast<std::size_t>(-1), duration);
}

void SimLine::Purge() {
    ::tcflush(fd_, TCIFLUSH);
}

SimLine::Bytes SimLine::Exchange(const Bytes& request, std::size_t n,
                                 std::chrono::milliseconds timeout) {
    Purge();
    Write(request);
    return Read(n, timeout);
}

SimLine::Bytes SimLine::ExchangeText(const std::string& text, std::size_t n,
                                     std::chrono::milliseconds timeout) {
    return Exchange(Bytes(text.begin(), text.end()), n, timeout);
}

std::uint8_t BusChecksum(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    std::uint8_t r = 0x0F;
    for (std::size_t i = 0; i < count; ++i) {
        r ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0x8C : r >> 1;
    }
    return r;
}

std::vector<std::uint8_t> WithChecksum(std::vector<std::uint8_t> frame) {
    frame.push_back(BusChecksum(frame, frame.size()));
    return frame;
}

bool WriteByte(SimLine& line, std::uint8_t reg, std::uint8_t value, std::uint8_t addr) {
    const std::vector<std::uint8_t> frame = WithChecksum({addr, reg, value});
    const std::vector<std::uint8_t> reply = line.Exchange(frame, 2);
    return reply.size() == 2 && reply[1] == frame.back();
}

bool WriteBlock(SimLine& line, std::uint8_t addrByte, std::uint8_t target,
                const std::vector<std::uint8_t>& payload, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> frame;
    frame.reserve(payload.size() + 4);
    frame.push_back(addrByte);
    frame.push_back(target);
    frame.push_back(static_cast<std::uint8_t>(payload.size() - 1));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame = WithChecksum(std::move(frame));
    const std::vector<std::uint8_t> reply = line.Exchange(frame, 2, timeout);
    return reply.size() == 2 && reply[1] == frame.back();
}

std::optional<std::vector<std::uint8_t>> ReadBlock(SimLine& line, std::uint8_t addrByte,
                                                   std::uint8_t target, int n,
                                                   std::chrono::milliseconds timeout) {
    const auto size = static_cast<std::size_t>(n);
    return BlockReplyData(
        line.Exchange(WithChecksum({addrByte, target, static_cast<std::uint8_t>(n - 1)}), size + 3,
                      timeout),
        size);
}

std::optional<std::vector<std::uint8_t>> BlockReplyData(const std::vector<std::uint8_t>& reply,
                                                        std::size_t n) {
    if (reply.size() != n + 3) return std::nullopt;
    if (BusChecksum(reply, n + 2) != reply.back()) return std::nullopt;
    return std::vector<std::uint8_t>(reply.begin() + 2, reply.end() - 1);
}

std::string HexRecord(int address, const std::vector<std::uint8_t>& data, int type) {
    char buf[16];
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address,
                  type);
    std::string s = buf;
    unsigned sum = data.size() + (address >> 8) + (address & 0xFF) + type;
    for (std::uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return s + buf;
}

}  // namespace zentor::test

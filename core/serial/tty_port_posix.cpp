#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "serial/tty_port.h"

namespace zentor {

namespace {

constexpr int kReadDeadlineMs = 1000;
// A write that makes no progress for this long gives up with what was taken.
constexpr int kWriteStallMs = 5000;

// Devices this process holds open.
class HeldDevices {
public:
    static HeldDevices& Instance() {
        static HeldDevices held;
        return held;
    }
    bool Contains(dev_t dev) {
        std::lock_guard<std::mutex> lock(mutex_);
        return devices_.count(dev) != 0;
    }
    void Add(dev_t dev) {
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.insert(dev);
    }
    void Remove(dev_t dev) {
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.erase(dev);
    }

private:
    std::mutex mutex_;
    std::set<dev_t> devices_;
};

int MsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

class PosixPort final : public Port {
public:
    PosixPort(int fd, dev_t dev, FrameFormat format, long baud, UucpLock lock)
        : fd_(fd), dev_(dev), format_(format), baud_(baud), lock_(std::move(lock)) {}
    ~PosixPort() override {
        CloseExclusive(fd_);
        HeldDevices::Instance().Remove(dev_);
    }

    // Each chunk the driver takes occupies the line for its frame time from the
    // moment it was taken (or from when the chunk before it is through): a write
    // delayed on its way into the driver is never counted as on the line.
    std::size_t Write(const std::uint8_t* data, std::size_t size) override {
        if (gone_) return 0;
        auto lineFree = std::chrono::steady_clock::time_point::min();
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::write(fd_, data + done, size - done);
            if (n > 0) {
                const auto taken = std::chrono::steady_clock::now();
                lineFree = std::max(lineFree, taken) +
                           FrameTime(static_cast<std::size_t>(n), format_, baud_);
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) {
                NoteError(errno);
                break;
            }
            pollfd p{fd_, POLLOUT, 0};
            int r = ::poll(&p, 1, kWriteStallMs);
            if (r < 0 && errno == EINTR) continue;
            if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) gone_ = true;
            if (r <= 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL))) break;
        }
        if (done > 0) {
            while (::tcdrain(fd_) != 0 && errno == EINTR) {
            }
            std::this_thread::sleep_until(lineFree);
        }
        return done;
    }

    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(readDeadlineMs_);
        std::size_t got = 0;
        while (got < size && !gone_) {
            ssize_t n = ::read(fd_, data + got, size - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // End of file or EIO: the line hung up.
            if (n == 0 || errno != EAGAIN) {
                if (n == 0)
                    gone_ = true;
                else
                    NoteError(errno);
                break;
            }
            int wait = MsUntil(deadline);
            if (wait == 0) break;
            pollfd p{fd_, POLLIN, 0};
            int r = ::poll(&p, 1, wait);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            if (!(p.revents & POLLIN) && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                gone_ = true;
                break;
            }
        }
        return got;
    }

    bool SetReadDeadline(int ms) override {
        if (ms < 1 || ms > kReadDeadlineMs) return false;
        readDeadlineMs_ = ms;
        return true;
    }

    void PurgeRx() override { ::tcflush(fd_, TCIFLUSH); }

    ComTimeouts Timeouts() const override {
        return {0, 0, static_cast<std::uint32_t>(readDeadlineMs_), 0, 0};
    }

    bool Gone() const override { return gone_; }

private:
    // The errors a device that went away gives.
    void NoteError(int err) {
        if (err == EIO || err == ENXIO || err == ENODEV) gone_ = true;
    }

    int fd_;
    dev_t dev_;
    FrameFormat format_;
    long baud_;
    UucpLock lock_;
    int readDeadlineMs_ = kReadDeadlineMs;
    bool gone_ = false;
};

}  // namespace

bool DeviceHeldHere(dev_t dev) {
    return HeldDevices::Instance().Contains(dev);
}

std::unique_ptr<Port> MakePosixPort(int fd, dev_t dev, FrameFormat format, long baud,
                                    UucpLock lock) {
    HeldDevices::Instance().Add(dev);
    return std::make_unique<PosixPort>(fd, dev, format, baud, std::move(lock));
}

void CloseExclusive(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

}  // namespace zentor

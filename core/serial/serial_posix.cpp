#include "serial/serial_posix.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "serial/frame_time.h"
#include "serial/line_settings.h"
#include "serial/system_port.h"
#include "serial/uucp_lock.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

constexpr int kReadDeadlineMs = 1000;
// A write that makes no progress for this long gives up with what was taken.
constexpr int kWriteStallMs = 5000;

// Devices this process holds open. Another open of one of them is refused
// without touching the device: opening a tty raises DTR and RTS, even when it
// is already open, and root is not stopped by TIOCEXCL.
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

// The exclusive mode outlives this descriptor while any other one is open.
void CloseExclusive(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
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

OpenStatus StatusForErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
            return OpenStatus::NotFound;
        case EBUSY:
        case EWOULDBLOCK:
            return OpenStatus::Busy;
        default:
            return OpenStatus::OtherError;
    }
}

OpenResult Result(OpenStatus status, int code = 0) {
    OpenResult r;
    r.status = status;
    r.errorCode = status == OpenStatus::OtherError ? code : 0;
    return r;
}

// An 8250 port node (/dev/ttyS*) with no UART behind it.
bool IsAbsentLegacyUart(int fd, const struct stat& st) {
    if (!S_ISCHR(st.st_mode) || major(st.st_rdev) != 4 || minor(st.st_rdev) < 64) return false;
    serial_struct ss{};
    return ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type == PORT_UNKNOWN;
}

// Opens `device` exclusively; configures it unless `probeOnly`. A port is claimed
// by its UUCP lock file before it is opened, because opening a tty raises DTR and
// RTS on a line another program may be using.
OpenResult OpenDevice(const fs::path& device, int baud, bool probeOnly, Clock& clock) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return Result(StatusForErrno(errno), errno);
    // Only character devices can be configured, so only they are ever held.
    const dev_t id = st.st_rdev;
    if (S_ISCHR(st.st_mode) && HeldDevices::Instance().Contains(id)) {
        return Result(OpenStatus::Busy);
    }
    std::optional<UucpLock> lock;
    if (probeOnly) {
        if (UucpLockHeldByOther(device)) return Result(OpenStatus::Busy);
    } else {
        lock = UucpLock::Acquire(device, clock);
        if (!lock) return Result(OpenStatus::Busy);
    }

    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Result(StatusForErrno(errno), errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return Result(err == EWOULDBLOCK ? OpenStatus::Busy : OpenStatus::OtherError, err);
    }
    if (IsAbsentLegacyUart(fd, st)) {
        ::close(fd);
        return Result(OpenStatus::NotFound);
    }
    if (probeOnly) {
        ::close(fd);
        return Result(OpenStatus::Ok);
    }
    ::ioctl(fd, TIOCEXCL);
    std::optional<FrameFormat> format = ConfigureLine(fd, baud);
    if (!format) {
        CloseExclusive(fd);
        return Result(OpenStatus::ConfigFailed);
    }
    HeldDevices::Instance().Add(id);
    OpenResult r;
    r.port = std::make_unique<PosixPort>(fd, id, *format, baud, std::move(*lock));
    return r;
}

class PosixPortOpener final : public PortOpener {
public:
    PosixPortOpener(fs::path exeDir, Clock& clock) : exeDir_(std::move(exeDir)), clock_(clock) {}

    OpenResult Open(const std::string& name, int baudRate) override {
        std::optional<fs::path> device = PosixDevicePath(exeDir_, name);
        if (!device) return Result(OpenStatus::NotFound);
        return OpenDevice(*device, baudRate, false, clock_);
    }

    OpenStatus Probe(const std::string& name) override {
        std::optional<fs::path> device = PosixDevicePath(exeDir_, name);
        if (!device) return OpenStatus::NotFound;
        OpenResult r = OpenDevice(*device, 0, true, clock_);
        // A device this user may not open still exists.
        if (r.status == OpenStatus::OtherError && (r.errorCode == EACCES || r.errorCode == EPERM))
            return OpenStatus::Busy;
        return r.status;
    }

private:
    fs::path exeDir_;
    Clock& clock_;
};

}  // namespace

std::optional<fs::path> PosixDevicePath(const fs::path& exeDir, const std::string& name) {
    if (!name.empty() && name[0] == '/') return fs::path(name);
    if (name.size() < 4 || name.size() > 6) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if ((name[i] & ~0x20) != "COM"[i]) return std::nullopt;
    if (name[3] == '0') return std::nullopt;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    if (n < 1 || n > 256) return std::nullopt;
    if (!exeDir.empty()) {
        fs::path link = exeDir / "dosdevices" / ("com" + std::to_string(n));
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(link, ec))) return link;
    }
    if (n <= 32) return fs::path("/dev/ttyS" + std::to_string(n - 1));
    if (n <= 64) return fs::path("/dev/ttyUSB" + std::to_string(n - 33));
    if (n <= 96) return fs::path("/dev/ttyACM" + std::to_string(n - 65));
    return std::nullopt;
}

std::unique_ptr<PortOpener> MakeSystemPortOpener(const fs::path& exeDir, Clock* clock) {
    static SystemClock realTime;
    return std::make_unique<PosixPortOpener>(exeDir, clock ? *clock : realTime);
}

void RemovePortLockFilesNow() {
    RemoveUucpLockFilesNow();
}

}  // namespace zentor

#include "serial/serial_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

#include "serial/line_settings.h"
#include "serial/system_port.h"
#include "serial/tty_port.h"
#include "serial/uucp_lock.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

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

// A device this user may not open: which one, and the group that would let him.
OpenResult Refused(const fs::path& device) {
    OpenResult r;
    r.status = OpenStatus::AccessDenied;
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    r.device = (ec ? device : real).string();
    r.group = DeviceGroupToJoin(device);
    return r;
}

using OpenFunction = std::function<int(const char*, int)>;

// Opens `device` exclusively; configures it unless `probeOnly`. A port is claimed
// by its UUCP lock file before it is opened, because opening a tty raises DTR and
// RTS on a line another program may be using. The lock file and the devices held
// here are both keyed by the device itself (links followed), so two names of one
// device never both open it.
OpenResult OpenDevice(const fs::path& device, int baud, bool probeOnly, Clock& clock,
                      const OpenFunction& openFile) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return Result(StatusForErrno(errno), errno);
    // Only character devices can be configured, so only they are ever held.
    const dev_t id = st.st_rdev;
    if (S_ISCHR(st.st_mode) && DeviceHeldHere(id)) {
        return Result(OpenStatus::Busy);
    }
    std::optional<UucpLock> lock;
    if (probeOnly) {
        if (UucpLockHeldByOther(device)) return Result(OpenStatus::Busy);
    } else {
        lock = UucpLock::Acquire(device, clock);
        if (!lock) return Result(OpenStatus::Busy);
    }

    const int flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = openFile ? openFile(device.c_str(), flags) : ::open(device.c_str(), flags);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) return Refused(device);
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
    OpenResult r;
    r.port = MakePosixPort(fd, id, *format, baud, std::move(*lock));
    return r;
}

class PosixPortOpener final : public PortOpener {
public:
    PosixPortOpener(fs::path exeDir, Clock& clock, PosixSystem system)
        : exeDir_(std::move(exeDir)),
          clock_(clock),
          system_(std::move(system)),
          lookup_(MakeSysfsPortLookup(exeDir_, system_.roots)) {}

    OpenResult Open(const std::string& name, int baudRate) override {
        OpenResult failure;
        std::optional<fs::path> device = Resolve(name, &failure);
        if (!device) return failure;
        return OpenDevice(*device, baudRate, false, clock_, system_.open);
    }

    OpenStatus Probe(const std::string& name) override {
        OpenResult failure;
        std::optional<fs::path> device = Resolve(name, &failure);
        if (!device) return failure.status;
        OpenResult r = OpenDevice(*device, 0, true, clock_, system_.open);
        // A device this user may not open still exists.
        if (r.status == OpenStatus::AccessDenied) return OpenStatus::Busy;
        return r.status;
    }

private:
    // The device `name` leads to now, or nullopt with *failure saying why not.
    std::optional<fs::path> Resolve(const std::string& name, OpenResult* failure) {
        if (const std::optional<std::string> serial = UsbSerialOf(name)) {
            std::vector<std::string> devices = lookup_->DevicesWithSerial(*serial);
            if (devices.size() == 1) return fs::path(devices.front());
            failure->status =
                devices.empty() ? OpenStatus::NoSuchAdapter : OpenStatus::AmbiguousAdapter;
            failure->matches = std::move(devices);
            return std::nullopt;
        }
        std::optional<fs::path> device = PosixDevicePath(exeDir_, name, system_.roots.dev);
        if (!device) failure->status = OpenStatus::NotFound;
        return device;
    }

    fs::path exeDir_;
    Clock& clock_;
    PosixSystem system_;
    std::unique_ptr<PortLookup> lookup_;
};

}  // namespace

std::optional<fs::path> PosixDevicePath(const fs::path& exeDir, const std::string& name,
                                        const fs::path& dev) {
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
    if (n <= 32) return dev / ("ttyS" + std::to_string(n - 1));
    if (n <= 64) return dev / ("ttyUSB" + std::to_string(n - 33));
    if (n <= 96) return dev / ("ttyACM" + std::to_string(n - 65));
    return std::nullopt;
}

std::unique_ptr<PortOpener> MakePosixPortOpener(const fs::path& exeDir, Clock& clock,
                                                PosixSystem system) {
    return std::make_unique<PosixPortOpener>(exeDir, clock, std::move(system));
}

std::unique_ptr<PortOpener> MakeSystemPortOpener(const fs::path& exeDir, Clock* clock) {
    static SystemClock realTime;
    return MakePosixPortOpener(exeDir, clock ? *clock : realTime, {});
}

std::unique_ptr<PortLookup> MakeSystemPortLookup(const fs::path& exeDir) {
    return MakeSysfsPortLookup(exeDir);
}

std::string DeviceGroupToJoin(const fs::path& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return {};
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || st.st_gid == 0) return {};
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->gr_name)
        return {};
    return found->gr_name;
}

void RemovePortLockFilesNow() {
    RemoveUucpLockFilesNow();
}

}  // namespace zentor

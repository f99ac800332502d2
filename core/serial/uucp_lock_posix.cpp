#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "serial/uucp_lock.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

// The lock files this process holds, readable from a signal handler.
struct HeldFiles {
    static constexpr std::size_t kSlots = 16;
    static constexpr std::size_t kPathMax = 512;
    std::array<std::atomic<bool>, kSlots> used{};
    std::array<std::array<char, kPathMax>, kSlots> paths{};
};

HeldFiles& Held() {
    static HeldFiles held;
    return held;
}

void Register(const fs::path& file) {
    const std::string text = file.string();
    HeldFiles& h = Held();
    if (text.size() >= HeldFiles::kPathMax) return;
    for (std::size_t i = 0; i < HeldFiles::kSlots; ++i) {
        if (h.used[i].load()) continue;
        std::memcpy(h.paths[i].data(), text.c_str(), text.size() + 1);
        h.used[i].store(true);
        return;
    }
}

void Unregister(const fs::path& file) {
    const std::string text = file.string();
    HeldFiles& h = Held();
    for (std::size_t i = 0; i < HeldFiles::kSlots; ++i) {
        if (h.used[i].load() && text == h.paths[i].data()) h.used[i].store(false);
    }
}

// The process id a lock file names: nullopt when there is no file, 0 when its
// contents name no process (ten ASCII digits padded with blanks, or the four-byte
// binary form of older programs).
std::optional<long> LockOwner(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT ? std::nullopt : std::optional<long>(0);
    char buf[64];
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return 0;
    buf[n] = '\0';
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(buf, &end, 10);
    if (end != buf && errno == 0 && pid > 0) return pid;
    if (n == 4) {
        std::int32_t binary = 0;
        std::memcpy(&binary, buf, 4);
        if (binary > 0) return binary;
    }
    return 0;
}

bool Alive(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool HeldByOther(std::optional<long> owner) {
    return owner && *owner != ::getpid() && Alive(*owner);
}

// Writes our lock file at `file` without ever showing it half written: the id goes
// into a temporary file that is then linked to the lock name. Returns 0 or the
// reason it failed (EEXIST: the lock name is taken).
int Create(const fs::path& file) {
    char id[16];
    std::snprintf(id, sizeof id, "%10ld\n", static_cast<long>(::getpid()));
    const fs::path temp = file.parent_path() / ("LTMP." + std::to_string(::getpid()));
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int err = ::write(fd, id, 11) == 11 ? 0 : EIO;
    ::fchmod(fd, 0644);
    ::close(fd);
    if (err == 0 && ::link(temp.c_str(), file.c_str()) != 0) {
        err = errno;
        if (err != EEXIST) {
            // A file system without hard links: plain exclusive create.
            const int direct = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (direct < 0) {
                err = errno;
            } else {
                err = ::write(direct, id, 11) == 11 ? 0 : EIO;
                ::close(direct);
                if (err != 0) ::unlink(file.c_str());
            }
        }
    }
    ::unlink(temp.c_str());
    return err;
}

}  // namespace

std::string UucpLockName(const fs::path& device) {
    std::error_code ec;
    fs::path real = fs::canonical(device, ec);
    if (ec) real = device;
    std::string name;
    const std::string text = real.string();
    if (text.rfind("/dev/", 0) == 0) {
        name = text.substr(5);
        for (char& c : name)
            if (c == '/') c = '_';
    } else {
        name = real.filename().string();
    }
    return "LCK.." + name;
}

std::vector<fs::path> UucpLockDirs() {
    if (const char* dir = std::getenv("ZENTOR_LOCK_DIR"); dir && *dir) return {fs::path(dir)};
    std::vector<fs::path> dirs;
    std::vector<fs::path> seen;
    for (const char* candidate : {"/var/lock", "/run/lock"}) {
        std::error_code ec;
        const fs::path real = fs::canonical(candidate, ec);
        if (ec || !fs::is_directory(real, ec)) continue;
        bool duplicate = false;
        for (const auto& s : seen) duplicate = duplicate || s == real;
        if (duplicate) continue;
        seen.push_back(real);
        dirs.emplace_back(candidate);
    }
    return dirs;
}

bool UucpLockHeldByOther(const fs::path& device) {
    const std::string name = UucpLockName(device);
    for (const auto& dir : UucpLockDirs())
        if (HeldByOther(LockOwner(dir / name))) return true;
    return false;
}

std::optional<UucpLock> UucpLock::Acquire(const fs::path& device) {
    const std::string name = UucpLockName(device);
    const std::vector<fs::path> dirs = UucpLockDirs();
    for (const auto& dir : dirs) {
        const fs::path file = dir / name;
        const std::optional<long> owner = LockOwner(file);
        if (!owner) continue;
        if (HeldByOther(owner)) return std::nullopt;
        // Stale, unreadable or left by this process: ours to replace.
        ::unlink(file.c_str());
    }
    for (const auto& dir : dirs) {
        const fs::path file = dir / name;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int err = Create(file);
            if (err == 0) {
                Register(file);
                return UucpLock(file);
            }
            if (err != EEXIST) break;
            // Another program got there between our look and our create.
            const std::optional<long> owner = LockOwner(file);
            if (HeldByOther(owner)) return std::nullopt;
            ::unlink(file.c_str());
        }
    }
    return UucpLock(fs::path());
}

UucpLock::UucpLock(fs::path file) : file_(std::move(file)) {}

UucpLock::UucpLock(UucpLock&& other) noexcept : file_(std::move(other.file_)) {
    other.file_.clear();
}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        Release();
        file_ = std::move(other.file_);
        other.file_.clear();
    }
    return *this;
}

UucpLock::~UucpLock() {
    Release();
}

void UucpLock::Release() {
    if (file_.empty()) return;
    Unregister(file_);
    if (LockOwner(file_) == ::getpid()) ::unlink(file_.c_str());
    file_.clear();
}

void RemoveUucpLockFilesNow() {
    HeldFiles& h = Held();
    for (std::size_t i = 0; i < HeldFiles::kSlots; ++i)
        if (h.used[i].load()) ::unlink(h.paths[i].data());
}

}  // namespace zentor

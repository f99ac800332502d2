#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

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

// The lock files this process holds or is creating, readable from a signal
// handler. A slot is taken with a compare-exchange (Free -> Filling), its paths
// are written, and only then is it published (Claiming: the file may appear at
// any moment; Held: it exists). Every access is sequentially consistent, which
// is what lets RemoveUucpLockFilesNow and a claim on another thread agree: either
// the handler sees the slot published, or the claim sees g_ending and stops.
enum SlotState : int { kFree, kFilling, kClaiming, kHeld };
constexpr int kSlots = 256;
constexpr std::size_t kPathMax = 256;
struct Slot {
    std::atomic<int> state;
    char lock[kPathMax];
    char temp[kPathMax];
};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");
Slot g_slots[kSlots];
std::atomic<bool> g_ending{false};

// Async-signal-safe: the decimal process id at the start of a lock file's
// contents (after blanks), and whether its line end follows (after blanks); 0
// when there is none.
long LeadingPid(const char* text, std::size_t n, bool* complete) {
    std::size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    long pid = 0;
    std::size_t digits = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9' && digits < 10; ++i, ++digits)
        pid = pid * 10 + (text[i] - '0');
    std::size_t end = i;
    while (end < n && text[end] == ' ') ++end;
    *complete = digits > 0 && end < n && text[end] == '\n';
    return digits > 0 ? pid : 0;
}

// Async-signal-safe: true when `file` is a regular file naming this process.
bool NamesThisProcess(const char* file) {
    const int fd = ::open(file, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    char buf[32];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    bool complete = false;
    return n > 0 && LeadingPid(buf, static_cast<std::size_t>(n), &complete) == ::getpid();
}

// A published slot for `lock` (and its temporary file), or -1 when none is free
// or the paths do not fit.
int Register(const std::string& lock, const std::string& temp) {
    if (lock.size() >= kPathMax || temp.size() >= kPathMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(g_slots[i].lock, lock.c_str(), lock.size() + 1);
        std::memcpy(g_slots[i].temp, temp.c_str(), temp.size() + 1);
        g_slots[i].state.store(kClaiming);
        return i;
    }
    return -1;
}

// Another slot of this process for `lock`: a claim by another thread.
bool Registered(const std::string& lock) {
    for (Slot& s : g_slots) {
        const int state = s.state.load();
        if ((state == kClaiming || state == kHeld) && lock == s.lock) return true;
    }
    return false;
}

enum class Verdict { None, Held, Stale, Unsure };

Verdict Judge(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? Verdict::None : Verdict::Unsure;
    struct stat st {};
    char buf[64];
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return Verdict::Unsure;
    bool complete = false;
    long pid = LeadingPid(buf, static_cast<std::size_t>(n), &complete);
    if (pid == 0 && n == 4) {
        // The four-byte binary form of older programs (never digits and blanks only).
        bool text = true;
        for (int i = 0; i < 4; ++i)
            text = text && (buf[i] == ' ' || (buf[i] >= '0' && buf[i] <= '9'));
        std::int32_t binary = 0;
        std::memcpy(&binary, buf, 4);
        if (!text && binary > 0) {
            pid = binary;
            complete = true;
        }
    }
    if (pid <= 0) return Verdict::Unsure;
    if (pid == ::getpid()) return Registered(file.string()) ? Verdict::Held : Verdict::Stale;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) return Verdict::Held;
    // Digits without their line end may be the start of another process's id.
    return complete ? Verdict::Stale : Verdict::Unsure;
}

// Creates our lock file at `file` registered in *slot; 0 or the reason it failed
// (EEXIST: the name is taken; EAGAIN: no slot, or the process is ending).
int Create(const fs::path& file, int* slot) {
    static std::atomic<unsigned> counter{0};
    const std::string pid = std::to_string(::getpid());
    const fs::path temp = file.parent_path() / ("LTMP." + pid + "." + std::to_string(++counter));
    *slot = Register(file.string(), temp.string());
    if (*slot < 0) return EAGAIN;
    auto giveUp = [&](int err) {
        ::unlink(temp.c_str());
        g_slots[*slot].state.store(kFree);
        *slot = -1;
        return err;
    };
    if (g_ending.load()) return giveUp(EAGAIN);
    char id[16];
    std::snprintf(id, sizeof id, "%10ld\n", static_cast<long>(::getpid()));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return giveUp(errno);
    int err = ::write(fd, id, 11) == 11 ? 0 : EIO;
    ::fchmod(fd, 0644);
    ::close(fd);
    if (err == 0 && ::link(temp.c_str(), file.c_str()) != 0) {
        err = errno;
        if (err != EEXIST) {
            // A file system without hard links: plain exclusive create. A reader
            // that catches it half written waits for it (Unsure).
            const int direct =
                ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
            if (direct < 0) {
                err = errno;
            } else {
                err = ::write(direct, id, 11) == 11 ? 0 : EIO;
                ::close(direct);
                if (err != 0) ::unlink(file.c_str());
            }
        }
    }
    if (err != 0) return giveUp(err);
    ::unlink(temp.c_str());
    g_slots[*slot].state.store(kHeld);
    return 0;
}

enum class Claim { Claimed, Held, Unsure, NoFolder };

Claim TryClaim(const std::vector<fs::path>& dirs, const std::string& name, fs::path* file,
               int* slot) {
    for (const auto& dir : dirs) {
        const fs::path existing = dir / name;
        switch (Judge(existing)) {
            case Verdict::None:
                break;
            case Verdict::Held:
                return Claim::Held;
            case Verdict::Unsure:
                return Claim::Unsure;
            case Verdict::Stale:
                // One we cannot remove is not ours to ignore.
                if (::unlink(existing.c_str()) != 0 && errno != ENOENT) return Claim::Held;
                break;
        }
    }
    for (const auto& dir : dirs) {
        *file = dir / name;
        const int err = Create(*file, slot);
        if (err == 0) return Claim::Claimed;
        // Taken between our look and our create, or no slot free: look again.
        if (err == EEXIST || err == EAGAIN) return Claim::Unsure;
    }
    return Claim::NoFolder;
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
    for (const auto& dir : UucpLockDirs()) {
        const Verdict v = Judge(dir / name);
        if (v == Verdict::Held || v == Verdict::Unsure) return true;
    }
    return false;
}

std::optional<UucpLock> UucpLock::Acquire(const fs::path& device, Clock& clock) {
    const std::string name = UucpLockName(device);
    const std::vector<fs::path> dirs = UucpLockDirs();
    const std::int64_t start = clock.NowMs();
    for (;;) {
        fs::path file;
        int slot = -1;
        switch (TryClaim(dirs, name, &file, &slot)) {
            case Claim::Claimed:
                return UucpLock(file, slot);
            case Claim::NoFolder:
                return UucpLock(fs::path(), -1);
            case Claim::Held:
                return std::nullopt;
            case Claim::Unsure:
                break;
        }
        if (clock.NowMs() - start >= kUucpUnsureWaitMs) return std::nullopt;
        clock.SleepMs(kUucpUnsureStepMs);
    }
}

UucpLock::UucpLock(fs::path file, int slot) : file_(std::move(file)), slot_(slot) {}

UucpLock::UucpLock(UucpLock&& other) noexcept : file_(std::move(other.file_)), slot_(other.slot_) {
    other.file_.clear();
    other.slot_ = -1;
}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        Release();
        file_ = std::move(other.file_);
        slot_ = other.slot_;
        other.file_.clear();
        other.slot_ = -1;
    }
    return *this;
}

UucpLock::~UucpLock() {
    Release();
}

void UucpLock::Release() {
    if (file_.empty()) return;
    // The file goes before the slot: a signal in between finds nothing to remove.
    if (NamesThisProcess(file_.c_str())) ::unlink(file_.c_str());
    if (slot_ >= 0) g_slots[slot_].state.store(kFree);
    file_.clear();
    slot_ = -1;
}

void RemoveUucpLockFilesNow() {
    g_ending.store(true);
    for (Slot& s : g_slots) {
        // A claim on another thread finishes in microseconds; one interrupted on
        // this thread never does, hence the bound.
        for (int waited = 0; s.state.load() == kClaiming && waited < 100; ++waited) {
            const timespec ms{0, 1000000};
            ::nanosleep(&ms, nullptr);
        }
        const int state = s.state.load();
        if (state != kClaiming && state != kHeld) continue;
        if (NamesThisProcess(s.lock)) ::unlink(s.lock);
        ::unlink(s.temp);
    }
}

}  // namespace zentor

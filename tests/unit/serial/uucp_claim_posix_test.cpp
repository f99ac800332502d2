// Claiming UUCP lock files: claims racing on several threads against the clean-up
// of a signal handler, a file still being written, files this user may neither
// read nor remove, and two claims of one device within this process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "serial/uucp_lock.h"
#include "support/scratch_dir.h"
#include "testing/virtual_clock.h"
#include "uucp_test_support.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;

using namespace uucp_test;

// Virtual time whose n-th sleep (from 1) runs a step of the test.
class SteppedClock final : public Clock {
public:
    std::function<void(int)> onSleep;
    void SleepMs(int ms) override {
        inner.SleepMs(ms);
        if (onSleep) onSleep(static_cast<int>(inner.Sleeps().size()));
    }
    std::int64_t NowMs() override { return inner.NowMs(); }
    VirtualClock inner;
};

class UucpClaim : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("ZENTOR_LOCK_DIR", locks_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("ZENTOR_LOCK_DIR"); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(locks_.path()))
            names.push_back(e.path().filename().string());
        return names;
    }
    // A device that need not exist: only its lock file is claimed.
    static fs::path Device(int n) { return "/dev/zentor-claim-" + std::to_string(n); }
    static std::string LockName(int n) { return "LCK..zentor-claim-" + std::to_string(n); }

    test::ScratchDir locks_{"claim-locks"};
};

extern "C" void RemoveLocksAndEnd(int) {
    RemoveUucpLockFilesNow();
    ::_exit(0);
}

// 8 threads claim and release their own devices as fast as they can while
// SIGTERM arrives at a random moment; its handler must leave no file behind,
// neither a lock file nor a temporary one.
TEST_F(UucpClaim, SignalCleanUpMissesNoFileOfEightClaimingThreads) {
    constexpr int kRounds = 200;
    constexpr int kThreads = 8;
    std::mt19937 random(12345);
    int left = 0;
    for (int round = 0; round < kRounds; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            ::signal(SIGTERM, RemoveLocksAndEnd);
            std::atomic<int> started{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&, t] {
                    SystemClock clock;
                    ++started;
                    for (;;) UucpLock::Acquire(Device(t), clock);
                });
            }
            while (started < kThreads) std::this_thread::yield();
            char c = 1;
            if (::write(ready[1], &c, 1) != 1) ::_exit(2);
            for (auto& t : threads) t.join();
            ::_exit(4);
        }
        ::close(ready[1]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        ::kill(child, SIGTERM);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        const std::vector<std::string> files = Files();
        if (!files.empty()) {
            ++left;
            for (const auto& name : files) fs::remove(locks_ / name);
        }
    }
    EXPECT_EQ(left, 0) << "rounds that left a file, of " << kRounds;
}

TEST_F(UucpClaim, AFileBeingWrittenIsLookedAtAgain) {
    const fs::path file = locks_ / LockName(1);
    const struct {
        const char* what;
        std::string finished;  // what the writer has put there at the third look
        bool claimed;
    } cases[] = {
        {"the writer has ended", PidText(DeadPid()), true},
        {"the writer lives", PidText(1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir::WriteTo(file, {});
        SteppedClock clock;
        clock.onSleep = [&](int n) {
            if (n == 3) test::ScratchDir::WriteTo(file, Text(c.finished));
        };
        std::optional<UucpLock> lock = UucpLock::Acquire(Device(1), clock);
        EXPECT_EQ(clock.inner.Sleeps(), std::vector<int>(3, kUucpUnsureStepMs));
        ASSERT_EQ(lock.has_value(), c.claimed);
        if (lock) {
            EXPECT_EQ(lock->File(), file);
            EXPECT_EQ(locks_.Read(LockName(1)), Text(PidText(::getpid())));
        } else {
            EXPECT_EQ(locks_.Read(LockName(1)), Text(c.finished));
        }
        lock.reset();
        fs::remove(file);
    }
}

TEST_F(UucpClaim, OneDeviceIsClaimedOnceWithinThisProcess) {
    VirtualClock clock;
    std::optional<UucpLock> first = UucpLock::Acquire(Device(2), clock);
    ASSERT_TRUE(first.has_value());
    ASSERT_FALSE(first->File().empty());
    EXPECT_FALSE(UucpLock::Acquire(Device(2), clock).has_value());
    EXPECT_TRUE(UucpLockHeldByOther(Device(2)));
    EXPECT_EQ(locks_.Read(LockName(2)), Text(PidText(::getpid())));
    first.reset();
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(UucpLock::Acquire(Device(2), clock).has_value());
}

// Runs `check` in a child with the lock folder read-only, as "nobody" when the
// tests run as root (who reads and removes anything); its exit status, or -1
// when it could not become nobody.
int WithoutRights(const fs::path& folder, const std::function<int()>& check) {
    fs::permissions(folder,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(255);
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255) return -1;
    return WEXITSTATUS(status);
}

// A lock file this user can neither read nor remove: the port counts as held
// and is never used without a lock file of its own.
TEST_F(UucpClaim, AFileThisUserCannotJudgeOrRemoveKeepsThePortHeld) {
    const struct {
        const char* what;
        std::string contents;
        fs::perms mode;
        bool waits;
        bool probedHeld;  // a stale file is judged by the open that removes it
    } cases[] = {
        {"unreadable", PidText(DeadPid()), fs::perms::none, true, true},
        {"ended process, not removable", PidText(DeadPid()),
         fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = locks_ / LockName(3);
        test::ScratchDir::WriteTo(file, Text(c.contents));
        fs::permissions(file, c.mode);
        const int bits = WithoutRights(locks_.path(), [&] {
            VirtualClock clock;
            const bool claimed = UucpLock::Acquire(Device(3), clock).has_value();
            int waited = 0;
            for (int ms : clock.Sleeps()) waited += ms;
            const bool waitedRight = c.waits ? waited >= kUucpUnsureWaitMs : waited == 0;
            return (claimed ? 1 : 0) | (waitedRight ? 0 : 2) |
                   (UucpLockHeldByOther(Device(3)) == c.probedHeld ? 0 : 4);
        });
        ASSERT_GE(bits, 0) << "could not become nobody";
        EXPECT_EQ(bits & 1, 0) << "claimed although the file could not be judged or removed";
        EXPECT_EQ(bits & 2, 0) << "waited wrongly";
        EXPECT_EQ(bits & 4, 0) << "the probe judged the file wrongly";
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(locks_.Read(LockName(3)), Text(c.contents)) << "the file was left as it was";
        fs::remove(file);
    }
}

// No lock folder, or none that takes a file and no lock file in it: the port
// is used without a file of ours.
TEST_F(UucpClaim, NoFolderForAFileAndNoFileThereMeansNoFile) {
    ::setenv("ZENTOR_LOCK_DIR", (locks_ / "missing").c_str(), 1);
    VirtualClock clock;
    std::optional<UucpLock> lock = UucpLock::Acquire(Device(4), clock);
    ASSERT_TRUE(lock.has_value());
    EXPECT_TRUE(lock->File().empty());
    EXPECT_TRUE(clock.Sleeps().empty());

    ::setenv("ZENTOR_LOCK_DIR", locks_.path().c_str(), 1);
    const int fileless = WithoutRights(locks_.path(), [&] {
        VirtualClock clock;
        std::optional<UucpLock> lock = UucpLock::Acquire(Device(4), clock);
        return lock && lock->File().empty() && clock.Sleeps().empty() ? 0 : 1;
    });
    EXPECT_EQ(fileless, 0);
    EXPECT_TRUE(Files().empty());
}

}  // namespace
}  // namespace zentor

// Journal appends and the folder lock across processes: forked writers, a
// killed holder, a killed run. POSIX only (fork, kill).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "journal/folder_lock.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "journal_test_support.h"
#include "station/instrument_run.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

using namespace journal_test;

TEST(JournalAppend, FourProcessesAndFourThreadsNeverInterleave) {
    test::ScratchDir dir("journal-parallel");
    const auto journal = dir / "journal.csv";
    constexpr int kCount = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < 4; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            AppendMany(journal, w, kCount);
            ::_exit(::testing::Test::HasFailure() ? 1 : 0);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int w = 4; w < 8; ++w) threads.emplace_back(AppendMany, journal, w, kCount);
    for (auto& t : threads) t.join();
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectAllLines(journal, 8, kCount);
}

// O_APPEND alone keeps small lines whole on a local disk; the lock is what keeps
// the header single and the appends whole elsewhere. An append waits for it.
TEST(JournalAppend, WaitsWhileAnotherWriterHoldsTheLock) {
    test::ScratchDir dir("journal-wait");
    const auto journal = dir / "journal.csv";
    const int fd = ::open(journal.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        AppendMany(journal, 0, 1);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done);
    EXPECT_EQ(std::filesystem::file_size(journal), 0u);
    ::close(fd);
    writer.join();
    ExpectAllLines(journal, 1, 1);
}

// Runs `child(ready)` in a forked process; `ready()` tells the parent and then
// waits to be killed. Returns the child's pid once it is ready, -1 when it ended
// without calling ready().
template <typename F>
pid_t ForkReady(F child) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        child([&] {
            char c = 1;
            if (::write(fds[1], &c, 1) != 1) ::_exit(3);
            for (;;) ::pause();
        });
        ::_exit(2);
    }
    ::close(fds[1]);
    char c = 0;
    const bool ready = ::read(fds[0], &c, 1) == 1;
    ::close(fds[0]);
    return ready ? pid : -1;
}

void KillAndReap(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

TEST(FolderLock, KilledHolderNeverLeavesItStuck) {
    test::ScratchDir dir("folder-lock-kill");
    const pid_t pid = ForkReady([&](auto ready) {
        FolderLock held = FolderLock::Acquire(dir.path(), "zentor-cli", "program");
        if (held.held()) ready();
    });
    ASSERT_GT(pid, 0);
    FolderLock refused = FolderLock::Acquire(dir.path(), "zentor-cli", "update");
    EXPECT_EQ(refused.status(), FolderLock::Status::Busy);
    EXPECT_NE(refused.detail().find("процесс " + std::to_string(pid)), std::string::npos)
        << refused.detail();
    KillAndReap(pid);
    EXPECT_TRUE(FolderLock::Acquire(dir.path(), "zentor-cli", "update").held());
}

TEST(InstrumentRun, KilledRunLeavesStartAndEraseLinesAndIsFound) {
    test::ScratchDir dir("run-killed");
    dir.Write("backup.bin", {1, 2, 3});
    const pid_t pid = ForkReady([&](auto ready) {
        TestSession t(dir.path());
        RunInstrumentCommand(t.s, "update", [&] {
            t.s.run.mode = "keep";
            t.s.run.serial = "14v071510";
            t.s.run.backupPath = "backup.bin";
            if (JournalReachedErase(t.s)) ready();
            return true;
        });
    });
    ASSERT_GT(pid, 0);
    KillAndReap(pid);

    int bad = -1;
    const auto lines = *ReadJournal(dir / "journal.csv", &bad);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].event, JournalEvent::Start);
    EXPECT_EQ(lines[1].event, JournalEvent::Erase);
    const auto found = LatestUnfinishedUpdate(dir / "journal.csv", "14v071510");
    ASSERT_TRUE(found.has_value());
    EXPECT_FALSE(found->run.finished);
    ASSERT_TRUE(found->backup.has_value());
    EXPECT_EQ(*found->backup, dir / "backup.bin");
    // The killed run's lock went with it.
    TestSession next(dir.path());
    EXPECT_TRUE(RunFolderCommand(next.s, "read-data", [] { return true; }));
}

}  // namespace
}  // namespace zentor

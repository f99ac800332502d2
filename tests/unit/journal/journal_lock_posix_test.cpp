// Journal appends and the folder lock across processes: forked writers, a
// killed holder, a killed run. POSIX only (fork, kill).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "common/recording_frontend.h"
#include "journal/folder_lock.h"
#include "journal/instrument_run.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

class NoPorts : public PortOpener {
public:
    OpenResult Open(const std::string&, int) override { return {OpenStatus::NotFound, 0, {}}; }
    OpenStatus Probe(const std::string&) override { return OpenStatus::NotFound; }
};

struct TestSession {
    explicit TestSession(const std::filesystem::path& dir) : s(ui, clock, opener) {
        s.workDir = dir;
        s.exePath = "/opt/zentor/zentor-cli";
        s.settings.NamePort = "COM3";
        s.settings.BaudRate = 9600;
    }
    RecordingFrontend ui;
    VirtualClock clock;
    NoPorts opener;
    Session s;
};

// Writer `w` appends `count` lines whose notes are long and full of ; " and line
// breaks, so a torn or interleaved write would show as a malformed record.
void AppendMany(const std::filesystem::path& journal, int w, int count) {
    for (int i = 0; i < count; ++i) {
        JournalLine line;
        line.time = JournalTimeNow();
        line.computer = "PC";
        line.event = JournalEvent::End;
        line.runId = std::to_string(w) + "-" + std::to_string(i);
        line.record.command = "update";
        line.record.result = RunResult::Ok;
        line.record.note = std::string(static_cast<std::size_t>(500 + 97 * i % 3000), 'x') +
                           ";\"q\"\r\n" + line.runId;
        line.durationMs = i;
        std::string error;
        if (!AppendJournalLine(journal, line, &error)) ADD_FAILURE() << error;
    }
}

void ExpectAllLines(const std::filesystem::path& journal, int writers, int count) {
    std::ifstream in(journal, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "BOM first";
    EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 1), std::string::npos) << "one BOM";
    EXPECT_EQ(bytes.find(JournalHeader(), 1), 3u);
    EXPECT_EQ(bytes.find(JournalHeader(), 4), std::string::npos) << "one header";
    int bad = -1;
    const auto lines = ParseJournal(bytes, &bad);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(writers * count));
    std::set<std::string> ids;
    for (const auto& l : lines) {
        ids.insert(l.runId);
        EXPECT_EQ(l.record.note.substr(l.record.note.size() - l.runId.size()), l.runId);
    }
    EXPECT_EQ(ids.size(), lines.size());
}

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

TEST(FolderLock, SecondHolderRefusedAndNamedThenFreedOnRelease) {
    test::ScratchDir dir("folder-lock");
    FolderLock first = FolderLock::Acquire(dir.path(), "zentor-cli", "update");
    ASSERT_TRUE(first.held()) << first.detail();
    FolderLock second = FolderLock::Acquire(dir.path(), "zentor", "read-data");
    EXPECT_EQ(second.status(), FolderLock::Status::Busy);
    EXPECT_NE(second.detail().find("zentor-cli update, процесс " + std::to_string(::getpid())),
              std::string::npos)
        << second.detail();
    // Another folder is not affected.
    test::ScratchDir other("folder-lock-other");
    EXPECT_TRUE(FolderLock::Acquire(other.path(), "zentor-cli", "update").held());
    first.Release();
    EXPECT_TRUE(FolderLock::Acquire(dir.path(), "zentor", "read-data").held());
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

TEST(InstrumentRun, RefusedOnABusyFolderBeforeTheBodyAndWithoutJournal) {
    test::ScratchDir dir("run-refused");
    FolderLock holder = FolderLock::Acquire(dir.path(), "zentor", "update");
    ASSERT_TRUE(holder.held());
    TestSession t(dir.path());
    bool ran = false;
    EXPECT_FALSE(RunInstrumentCommand(t.s, "program", [&] { return ran = true; }));
    EXPECT_FALSE(ran);
    ASSERT_EQ(t.ui.log.size(), 1u);
    EXPECT_NE(t.ui.log[0].find("занята"), std::string::npos);
    EXPECT_NE(t.ui.log[0].find("zentor update, процесс " + std::to_string(::getpid())),
              std::string::npos)
        << t.ui.log[0];
    EXPECT_FALSE(dir.Exists("journal.csv"));
}

TEST(InstrumentRun, EndLineCarriesResultPhaseAndDuration) {
    test::ScratchDir dir("run-end");
    struct Case {
        bool ok;
        int unconfirmed;
        RunResult preset;
        RunResult expected;
    } cases[] = {{true, 0, RunResult::None, RunResult::Ok},
                 {false, 0, RunResult::None, RunResult::Failed},
                 {true, 2, RunResult::None, RunResult::Unconfirmed},
                 {false, 0, RunResult::Interrupted, RunResult::Interrupted}};
    TestSession t(dir.path());
    t.s.journalPath = dir / "shared" / "j.csv";
    std::filesystem::create_directory(dir / "shared");
    for (const auto& c : cases) {
        EXPECT_EQ(RunInstrumentCommand(t.s, "write-data",
                                       [&] {
                                           t.s.run.unconfirmed = c.unconfirmed;
                                           t.s.run.result = c.preset;
                                           t.s.run.phase = RunPhase::Data;
                                           t.clock.Advance(1500);
                                           return c.ok;
                                       }),
                  c.ok);
    }
    EXPECT_FALSE(dir.Exists("journal.csv"));
    const auto runs = MergeRuns(*ReadJournal(t.s.journalPath));
    ASSERT_EQ(runs.size(), 4u);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_TRUE(runs[i].finished);
        EXPECT_EQ(runs[i].record.result, cases[i].expected) << i;
        EXPECT_EQ(runs[i].record.phase, RunPhase::Data);
        EXPECT_EQ(runs[i].record.command, "write-data");
        EXPECT_EQ(runs[i].record.port, "COM3");
        EXPECT_EQ(runs[i].record.baud, 9600);
        EXPECT_EQ(runs[i].durationMs, 1500);
    }
    EXPECT_TRUE(t.s.journalRunId.empty());
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

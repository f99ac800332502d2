// Journal appends from several threads, the folder lock within one process and
// the command frame: refusal, end line. Portable.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/sha256.h"
#include "journal/folder_lock.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "journal_test_support.h"
#include "station/instrument_run.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

using namespace journal_test;

TEST(JournalAppend, FourThreadsNeverInterleave) {
    test::ScratchDir dir("journal-threads");
    const auto journal = dir / "journal.csv";
    constexpr int kCount = 40;
    std::vector<std::thread> threads;
    for (int w = 0; w < 4; ++w) threads.emplace_back(AppendMany, journal, w, kCount);
    for (auto& t : threads) t.join();
    ExpectAllLines(journal, 4, kCount);
}

TEST(FolderLock, SecondHolderRefusedAndNamedThenFreedOnRelease) {
    test::ScratchDir dir("folder-lock");
    FolderLock first = FolderLock::Acquire(dir.path(), "zentor-cli", "update");
    ASSERT_TRUE(first.held()) << first.detail();
    FolderLock second = FolderLock::Acquire(dir.path(), "zentor", "read-data");
    EXPECT_EQ(second.status(), FolderLock::Status::Busy);
    EXPECT_NE(
        second.detail().find("zentor-cli update, процесс " + std::to_string(CurrentProcessId())),
        std::string::npos)
        << second.detail();
    // Another folder is not affected.
    test::ScratchDir other("folder-lock-other");
    EXPECT_TRUE(FolderLock::Acquire(other.path(), "zentor-cli", "update").held());
    first.Release();
    EXPECT_TRUE(FolderLock::Acquire(dir.path(), "zentor", "read-data").held());
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
    EXPECT_NE(t.ui.log[0].find("zentor update, процесс " + std::to_string(CurrentProcessId())),
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
    t.station.place.journalPath = dir / "shared" / "j.csv";
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
    const auto runs = MergeRuns(*ReadJournal(t.station.place.journalPath));
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

TEST(InstrumentRun, StartLineNamesTheFolderImagesWithTheirHashes) {
    test::ScratchDir dir("run-images");
    dir.Write("PROG.BIN", {1, 2, 3});
    dir.Write("data.bin", {4, 5});
    const std::string progHash = Sha256Hex({1, 2, 3});
    const std::string dataHash = Sha256Hex({4, 5});
    const struct {
        const char* command;
        const char* mode;
        int typeController;
        const char* program;
        std::string programHash;
        const char* data;
        std::string dataHash;
    } cases[] = {
        {"program", "", 1, "prog.bin", progHash, "data.bin", dataHash},
        {"write-data", "", 1, "", "", "data.bin", dataHash},
        {"update", "keep", 1, "prog_c.bin", "", "", ""},  // missing: name only
        {"update", "factory", 0, "prog.bin", progHash, "data.bin", dataHash},
    };
    TestSession t(dir.path());
    for (const auto& c : cases) {
        t.station.settings.TypeController = c.typeController;
        RunInstrumentCommand(t.s, c.command, [&] {
            t.s.run.mode = c.mode;
            return false;
        });
    }
    const auto runs = MergeRuns(*ReadJournal(dir / "journal.csv"));
    ASSERT_EQ(runs.size(), 4u);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(cases[i].command + std::string(" ") + cases[i].mode);
        EXPECT_EQ(runs[i].record.programName, cases[i].program);
        EXPECT_EQ(runs[i].record.programSha256, cases[i].programHash);
        EXPECT_EQ(runs[i].record.dataSource, cases[i].data);
        EXPECT_EQ(runs[i].record.dataSha256, cases[i].dataHash);
    }
}

}  // namespace
}  // namespace zentor

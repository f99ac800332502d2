// A journal that cannot be written: before anything is sent the run moves to the
// fallback journal in the user's data folder (one warning, the fallback named);
// once the chip may be at risk a journal failure never stops the run; the
// look-ups read both journals, so no run is missed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "journal/journal_runs.h"
#include "journal_test_support.h"
#include "station/instrument_run.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using namespace journal_test;

class JournalFallback : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_DATA_HOME", data_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }

    const test::ScratchDir dir_{"journal-fallback"};
    const test::ScratchDir data_{"journal-fallback-data"};
    const fs::path fallback_ = data_ / "zentor" / "journal.csv";
};

TEST_F(JournalFallback, UnwritableBeforeTheStartMovesTheRunToTheFallback) {
    fs::create_directories(dir_ / "journal.csv");  // a folder where the file should be
    TestSession t(dir_.path());
    bool ran = false;
    EXPECT_TRUE(RunInstrumentCommand(t.s, "write-data", [&] {
        t.s.run.serial = "1v1";
        return ran = true;
    }));
    EXPECT_TRUE(ran);
    ASSERT_EQ(t.ui.log.size(), 2u);
    EXPECT_EQ(t.ui.log[0].rfind("Журнал не записан: " + (dir_ / "journal.csv").string(), 0), 0u);
    EXPECT_EQ(t.ui.log[1], "Журнал этой команды ведётся в " + fallback_.string());
    const auto lines = ReadJournalsFor(t.s);
    ASSERT_TRUE(lines.has_value());
    const auto runs = MergeRuns(*lines);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].record.serial, "1v1");
}

TEST_F(JournalFallback, FailureAfterTheStartNeverStopsTheRun) {
    TestSession t(dir_.path());
    bool erased = false;
    EXPECT_TRUE(RunInstrumentCommand(t.s, "update", [&] {
                    t.s.run.serial = "1v1";
                    // The work folder's journal goes away while the chip is being prepared.
                    fs::remove(dir_ / "journal.csv");
                    fs::create_directories(dir_ / "journal.csv");
                    erased = JournalReachedErase(t.s);
                    t.s.run.phase = RunPhase::Data;
                    t.s.run.result = RunResult::Failed;
                    return false;
                }) == false);
    EXPECT_TRUE(erased) << "the run goes on";
    // The start line stays where it was written; the rest is in the fallback.
    fs::remove(dir_ / "journal.csv");
    auto lines = ReadJournal(fallback_);
    ASSERT_TRUE(lines.has_value());
    ASSERT_EQ(lines->size(), 2u);
    EXPECT_EQ((*lines)[0].event, JournalEvent::Erase);
    EXPECT_EQ((*lines)[1].event, JournalEvent::End);
    const auto runs = MergeRuns(*ReadJournalsFor(t.s));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].reachedErase);
    ASSERT_TRUE(LatestUnfinishedUpdate(runs, "1v1").has_value());
}

TEST_F(JournalFallback, NeitherWritableRefusesBeforeAnythingIsSent) {
    fs::create_directories(dir_ / "journal.csv");
    test::ScratchDir::WriteTo(data_ / "zentor", {1});  // a file where the folder should be
    TestSession t(dir_.path());
    bool ran = false;
    EXPECT_FALSE(RunInstrumentCommand(t.s, "program", [&] { return ran = true; }));
    EXPECT_FALSE(ran);
    ASSERT_FALSE(t.ui.log.empty());
    EXPECT_EQ(t.ui.log.back(), "Команда не выполнена.");
}

}  // namespace
}  // namespace zentor

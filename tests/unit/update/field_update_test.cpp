#include "update/field_update.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "journal/folder_lock.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "workflow_rig.h"

namespace zentor::test {
namespace {

// A keep-mode update that identifies and reads the instrument and then finds no
// boot ROM: the report says who it was, how far it got and why it stopped, and
// it is the run the journal holds.
TEST(FieldUpdateReport, SaysWhatTheJournalSays) {
    WorkflowRig rig;
    rig.station.settings.HCR1FromFile = "C5";  // the update programs the file's HCR1 (model 7)
    const UpdateReport report = FieldUpdate(
        rig.station, rig.controls, {UpdateMode::Keep, UnattendedUpdateOptions(UpdateMode::Keep)});
    EXPECT_EQ(report.result, UpdateResult::Failed);
    const CommandReport& c = report.command;
    EXPECT_TRUE(c.ran);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(c.run.serial, "14v071510");
    EXPECT_EQ(c.run.mode, "keep");
    EXPECT_EQ(c.run.result, RunResult::Failed);
    EXPECT_EQ(c.run.phase, RunPhase::Boot);
    EXPECT_EQ(c.run.linkError, LinkError::Timeout);
    EXPECT_FALSE(c.run.backupPath.empty());
    EXPECT_EQ(c.hcr1, std::optional<std::string>("C5"));
    EXPECT_GE(c.tookMs, 4000);  // the pauses before the boot ROM, in virtual time

    const auto lines = ReadJournal(rig.dir / "journal.csv");
    ASSERT_TRUE(lines.has_value());
    const auto runs = MergeRuns(*lines);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].runId, c.runId);
    EXPECT_EQ(runs[0].record.serial, c.run.serial);
    EXPECT_EQ(runs[0].record.backupPath, c.run.backupPath);
}

// A folder another command holds: nothing ran, nothing was sent, no run id.
TEST(FieldUpdateReport, ARefusedRunDidNotRun) {
    WorkflowRig rig;
    FolderLock held = FolderLock::Acquire(rig.dir.path(), "zentor-cli", "program");
    ASSERT_TRUE(held.held());
    const UpdateReport report = FieldUpdate(rig.station, rig.controls, {});
    EXPECT_EQ(report.result, UpdateResult::Failed);
    EXPECT_FALSE(report.command.ran);
    EXPECT_EQ(report.command.runId, "");
    EXPECT_FALSE(rig.SentAnything());
}

// A body that throws: journaled as a failure, said in the report, not thrown on.
TEST(CommandReport, AnExceptionComesBackAsTheError) {
    WorkflowRig rig;
    CommandReport report;
    EXPECT_NO_THROW(
        report = RunJournaledCommand(rig.station, rig.controls, "write-data",
                                     [](Job&) -> bool { throw std::runtime_error("disk gone"); }));
    EXPECT_TRUE(report.ran);
    EXPECT_EQ(report.error, "disk gone");
    EXPECT_EQ(report.run.result, RunResult::Failed);
    const auto runs =
        MergeRuns(ReadJournal(rig.dir / "journal.csv").value_or(std::vector<JournalLine>{}));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].record.result, RunResult::Failed);
    EXPECT_EQ(runs[0].record.note, "disk gone");
}

}  // namespace
}  // namespace zentor::test

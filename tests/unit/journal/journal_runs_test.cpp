// Runs merged from journal lines, the unfinished-update look-up that decides
// whose backup wins, the jumper-path offer and the readable history.
#include "journal/journal_runs.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "journal/journal_history.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

struct Step {
    const char* run;
    JournalEvent event;
    const char* serial;
    RunPhase phase;
    RunResult result;
    const char* backup;
    int unconfirmed = 0;
    const char* command = "update";
    const char* model = "";  // "": unknown, as on the jumper path
};

constexpr auto S = JournalEvent::Start;
constexpr auto E = JournalEvent::Erase;
constexpr auto X = JournalEvent::End;

std::vector<JournalLine> Lines(const std::vector<Step>& steps, const std::string& folder) {
    std::vector<JournalLine> lines;
    int minute = 0;
    for (const auto& st : steps) {
        JournalLine l;
        l.time = "2026-12-10T10:" + std::to_string(10 + minute++) + ":00+03:00";
        l.computer = "PC";
        l.event = st.event;
        l.runId = st.run;
        l.folder = folder;
        l.record.command = st.command;
        l.record.mode = "keep";
        l.record.port = "COM3";
        l.record.serial = st.serial;
        l.record.model = st.model;
        l.record.phase = st.phase;
        l.record.result = st.result;
        l.record.backupPath = st.backup;
        l.record.unconfirmed = st.unconfirmed;
        if (st.event == X) l.durationMs = 1000;
        lines.push_back(l);
    }
    return lines;
}

TEST(JournalRuns, LatestUnfinishedUpdateDecidesWhoseBackupWins) {
    test::ScratchDir dir("journal-runs");
    dir.Write("a.bin", {1});
    dir.Write("b.bin", {2});
    const std::string abs = (dir / "a.bin").string();
    using P = RunPhase;
    using R = RunResult;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::optional<std::string> runId;  // expected run, nullopt: none
        bool backupExists = true;
    } cases[] = {
        {"empty journal", {}, std::nullopt},
        {"killed before the erase", {{"a", S, "", P::Unknown, R::None, ""}}, std::nullopt},
        {"killed after the erase",
         {{"a", S, "", P::Unknown, R::None, ""}, {"a", E, "1v1", P::Erase, R::None, "a.bin"}},
         "a"},
        {"success",
         {{"a", E, "1v1", P::Erase, R::None, "a.bin"}, {"a", X, "1v1", P::Done, R::Ok, ""}},
         std::nullopt},
        {"failed in code records", {{"a", X, "1v1", P::Code, R::Failed, "a.bin"}}, "a"},
        {"unconfirmed writes", {{"a", X, "1v1", P::Done, R::Unconfirmed, "a.bin", 2}}, "a"},
        {"ok but records unanswered", {{"a", X, "1v1", P::Done, R::Ok, "a.bin", 1}}, "a"},
        {"interrupted in data records", {{"a", X, "1v1", P::Data, R::Interrupted, "a.bin"}}, "a"},
        {"failed before the erase", {{"a", X, "1v1", P::Read, R::Failed, "a.bin"}}, std::nullopt},
        {"failed while erasing, only the end line says so",
         {{"a", X, "1v1", P::Erase, R::Failed, "a.bin"}},
         "a"},
        {"erase line, then no boot-ROM link",
         {{"a", E, "1v1", P::Erase, R::None, "a.bin"}, {"a", X, "1v1", P::Boot, R::Failed, ""}},
         std::nullopt},
        {"second failure keeps the first backup",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Code, R::Failed, "b.bin"}},
         "a"},
        {"success after a failure clears it",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"}, {"b", X, "1v1", P::Done, R::Ok, "b.bin"}},
         std::nullopt},
        {"a refused re-run does not clear it",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Nothing, R::Refused, ""}},
         "a"},
        {"a declined re-run ending ok before the erase does not clear it",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"}, {"b", X, "1v1", P::Link, R::Ok, ""}},
         "a"},
        {"another serial", {{"a", X, "2v2", P::Data, R::Failed, "a.bin"}}, std::nullopt},
        {"not an update",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin", 0, "program"}},
         std::nullopt},
        {"backup gone", {{"a", X, "1v1", P::Data, R::Failed, "gone.bin"}}, "a", false},
        // Every later confirmed write of that instrument closes the chain.
        {"write-data ok closes it",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Unknown, R::Ok, "", 0, "write-data"}},
         std::nullopt},
        {"restore ok closes it",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Data, R::Ok, "b.bin", 0, "restore"}},
         std::nullopt},
        {"a passing verify closes it",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Read, R::Ok, "", 0, "verify"}},
         std::nullopt},
        {"a failing verify does not",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Read, R::Failed, "", 0, "verify"}},
         "a"},
        {"write-data that failed does not",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Unknown, R::Failed, "", 0, "write-data"}},
         "a"},
        {"write-data of another serial does not",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "2v2", P::Unknown, R::Ok, "", 0, "write-data"}},
         "a"},
        {"write-data of no known serial does not",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "", P::Unknown, R::Ok, "", 0, "write-data"}},
         "a"},
        {"an identified update that ended ok closes it",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Done, R::Ok, "b.bin", 0, "update", "7"}},
         std::nullopt},
        {"a jumper recovery closes it once the instrument identifies",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Done, R::Ok, "a.bin", 0, "update", ""}},
         std::nullopt},
        {"a jumper recovery that failed does not",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Code, R::Failed, "a.bin", 0, "update", ""}},
         "a"},
        {"a failure after a closing write opens a new chain",
         {{"a", X, "1v1", P::Data, R::Failed, "a.bin"},
          {"b", X, "1v1", P::Unknown, R::Ok, "", 0, "write-data"},
          {"c", X, "1v1", P::Code, R::Failed, "b.bin"}},
         "c"},
        {"absolute backup path", {{"a", X, "1v1", P::Data, R::Failed, abs.c_str()}}, "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto runs = MergeRuns(Lines(c.steps, dir.path().string()));
        const auto found = LatestUnfinishedUpdate(runs, "1v1");
        ASSERT_EQ(found.has_value(), c.runId.has_value());
        if (!found) continue;
        EXPECT_EQ(found->run.runId, *c.runId);
        EXPECT_FALSE(found->reason.empty());
        EXPECT_EQ(found->backup.has_value(), c.backupExists);
        if (found->backup) {
            EXPECT_TRUE(std::filesystem::exists(*found->backup));
        }
    }
}

// Where the instrument cannot say who it is, a jumper recovery has not been
// confirmed by an identification: its serial's backup stays on offer.
TEST(JournalRuns, JumperOfferIgnoresAnUnconfirmedJumperRecovery) {
    test::ScratchDir dir("journal-jumper");
    dir.Write("a.bin", {1});
    const auto runs =
        MergeRuns(Lines({{"a", X, "1v1", RunPhase::Code, RunResult::Failed, "a.bin"},
                         {"b", X, "1v1", RunPhase::Done, RunResult::Ok, "a.bin", 0, "update", ""}},
                        dir.path().string()));
    const auto offers = UnfinishedUpdatesWithBackup(runs, "PC", "COM3");
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(offers[0].run.runId, "a");
    EXPECT_FALSE(LatestUnfinishedUpdate(runs, "1v1").has_value());
}

TEST(JournalRuns, MergeKeepsWhatEarlierLinesKnew) {
    const auto runs = MergeRuns(Lines({{"a", S, "", RunPhase::Unknown, RunResult::None, ""},
                                       {"b", S, "", RunPhase::Unknown, RunResult::None, ""},
                                       {"a", E, "1v1", RunPhase::Erase, RunResult::None, "a.bin"},
                                       {"a", X, "", RunPhase::Data, RunResult::Failed, ""}},
                                      "/w"));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].runId, "a");
    EXPECT_TRUE(runs[0].finished);
    EXPECT_TRUE(runs[0].reachedErase);
    EXPECT_EQ(runs[0].record.serial, "1v1");
    EXPECT_EQ(runs[0].record.backupPath, "a.bin");
    EXPECT_EQ(runs[0].record.phase, RunPhase::Data);
    EXPECT_EQ(runs[0].startTime, "2026-12-10T10:10:00+03:00");
    EXPECT_EQ(runs[0].endTime, "2026-12-10T10:13:00+03:00");
    EXPECT_FALSE(runs[1].finished);
    EXPECT_FALSE(runs[1].reachedErase);
}

TEST(JournalRuns, JumperOfferPrefersThisPortAndNeedsABackup) {
    test::ScratchDir dir("journal-offer");
    dir.Write("a.bin", {1});
    dir.Write("c.bin", {3});
    auto lines = Lines({{"a", X, "1v1", RunPhase::Code, RunResult::Failed, "a.bin"},
                        {"b", X, "2v2", RunPhase::Code, RunResult::Failed, "missing.bin"},
                        {"c", X, "3v3", RunPhase::Code, RunResult::Failed, "c.bin"}},
                       dir.path().string());
    lines[2].record.port = "COM9";
    const auto runs = MergeRuns(lines);
    auto onCom3 = UnfinishedUpdatesWithBackup(runs, "PC", "COM3");
    ASSERT_EQ(onCom3.size(), 2u);
    EXPECT_EQ(onCom3[0].run.record.serial, "1v1");
    EXPECT_EQ(onCom3[1].run.record.serial, "3v3");
    auto onCom9 = UnfinishedUpdatesWithBackup(runs, "PC", "COM9");
    ASSERT_EQ(onCom9.size(), 2u);
    EXPECT_EQ(onCom9[0].run.record.serial, "3v3");
    auto elsewhere = UnfinishedUpdatesWithBackup(runs, "OTHER", "COM3");
    ASSERT_EQ(elsewhere.size(), 2u);
    EXPECT_EQ(elsewhere[0].run.record.serial, "3v3");  // most recent first
}

TEST(JournalHistory, OneLinePerRunUnfinishedShown) {
    auto lines = Lines({{"a", S, "", RunPhase::Unknown, RunResult::None, ""},
                        {"a", E, "1v1", RunPhase::Erase, RunResult::None, "backup/1v1.bin"},
                        {"b", S, "", RunPhase::Unknown, RunResult::None, ""},
                        {"b", X, "2v2", RunPhase::Done, RunResult::Ok, ""},
                        {"c", X, "1v1", RunPhase::Done, RunResult::Unconfirmed, "", 4}},
                       "/w");
    const auto runs = MergeRuns(lines);
    const auto all = JournalHistoryLines(runs, "");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_NE(all[0].find("update keep  1v1  не завершено, этап erase"), std::string::npos)
        << all[0];
    EXPECT_NE(all[0].find("копия backup/1v1.bin"), std::string::npos) << all[0];
    EXPECT_NE(all[1].find("2v2  успешно, этап done, 1,0 с  COM3"), std::string::npos) << all[1];
    EXPECT_NE(all[2].find("не подтверждено (4)"), std::string::npos) << all[2];
    const auto one = JournalHistoryLines(runs, "1v1");
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], all[0]);
    EXPECT_EQ(one[1], all[2]);
}

}  // namespace
}  // namespace zentor

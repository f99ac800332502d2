// Damaged journals: a crash mid-write, zeros left by a power loss, a hand-edited
// line, two files joined, old Mac line ends. Each damaged line is skipped alone;
// every intact line is still read, and so the backup a re-run chooses is the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

JournalLine Line(const char* run, JournalEvent event, RunPhase phase, RunResult result,
                 const std::string& folder) {
    JournalLine l;
    l.time = "2026-12-10T10:00:00+03:00";
    l.computer = "PC";
    l.event = event;
    l.runId = run;
    l.folder = folder;
    l.record.command = "update";
    l.record.mode = "keep";
    l.record.port = "COM3";
    l.record.serial = "1v1";
    l.record.phase = phase;
    l.record.result = result;
    l.record.backupPath = "a.bin";
    l.record.note = "папка; с \"кавычками\"";
    if (event == JournalEvent::End) l.durationMs = 1000;
    return l;
}

TEST(JournalDamage, EachIntactLineIsReadAndTheBackupChoiceHolds) {
    test::ScratchDir dir("journal-damage");
    std::filesystem::create_directories(dir.path() / "w;x");
    dir.Write("w;x/a.bin", {1});
    const std::string folder = (dir.path() / "w;x").string();  // quoted on every line
    const std::string bom = "\xEF\xBB\xBF";
    const std::string head = bom + JournalHeader() + "\r\n";
    // An earlier success, then the failed run whose backup must win.
    const std::string ok =
        FormatJournalLine(Line("old", JournalEvent::End, RunPhase::Done, RunResult::Ok, folder));
    const std::string start = FormatJournalLine(
        Line("a", JournalEvent::Start, RunPhase::Unknown, RunResult::None, folder));
    const std::string failed =
        FormatJournalLine(Line("a", JournalEvent::End, RunPhase::Data, RunResult::Failed, folder));
    const std::string torn = ok.substr(0, ok.find(";x") + 1);  // cut inside a quoted field
    JournalLine plain = Line("old", JournalEvent::End, RunPhase::Done, RunResult::Ok, "/w");
    plain.record.note.clear();
    std::string missing = FormatJournalLine(plain);
    missing.erase(missing.rfind(';'));  // one column short

    struct Case {
        const char* name;
        std::string text;
        int malformed;
    } cases[] = {
        {"intact", head + ok + "\r\n" + start + "\r\n" + failed + "\r\n", 0},
        {"cut in a quote", head + ok + "\r\n" + torn + "\r\n" + start + "\r\n" + failed + "\r\n",
         1},
        {"cut in a quote, last", head + ok + "\r\n" + start + "\r\n" + failed + "\r\n" + torn, 1},
        {"zeros instead of a line",
         head + ok + "\r\n" + std::string(40, '\0') + "\r\n" + start + "\r\n" + failed + "\r\n", 0},
        {"zeros before a line",
         head + ok + "\r\n" + std::string(40, '\0') + start + "\r\n" + failed + "\r\n", 0},
        {"zeros inside a line",
         head + ok + "\r\n" + ok.substr(0, 30) + std::string(8, '\0') + "\r\n" + start + "\r\n" +
             failed + "\r\n",
         1},
        {"a missing column",
         head + ok + "\r\n" + missing + "\r\n" + start + "\r\n" + failed + "\r\n", 1},
        {"a second BOM and header", head + ok + "\r\n" + head + start + "\r\n" + failed + "\r\n",
         0},
        {"CR only", bom + JournalHeader() + "\r" + ok + "\r" + start + "\r" + failed + "\r", 0},
        {"LF only", head + ok + "\n" + torn + "\n" + start + "\n" + failed + "\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int bad = -1;
        const auto lines = ParseJournal(c.text, &bad);
        EXPECT_EQ(bad, c.malformed);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].runId, "old");
        EXPECT_EQ(lines[2].record.result, RunResult::Failed);
        EXPECT_EQ(lines[2].folder, folder);
        const auto found = LatestUnfinishedUpdate(MergeRuns(lines), "1v1");
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->run.runId, "a");
        ASSERT_TRUE(found->backup.has_value());
        EXPECT_EQ(found->backup->filename(), "a.bin");
    }
}

// A write cut short leaves no line end; the next append starts a line of its own.
TEST(JournalDamage, AppendAfterATornWriteStartsANewLine) {
    test::ScratchDir dir("journal-torn");
    const auto path = dir.path() / "journal.csv";
    const std::string folder = dir.path().string() + ";x";
    const std::string ok =
        FormatJournalLine(Line("old", JournalEvent::End, RunPhase::Done, RunResult::Ok, folder));
    {
        std::ofstream out(path, std::ios::binary);
        out << "\xEF\xBB\xBF" << JournalHeader() << "\r\n" << ok.substr(0, ok.find(";x") + 1);
    }
    std::string error;
    ASSERT_TRUE(AppendJournalLine(
        path, Line("a", JournalEvent::End, RunPhase::Data, RunResult::Failed, folder), &error))
        << error;
    int bad = -1;
    const auto lines = ReadJournal(path, &bad);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(bad, 1);
    ASSERT_EQ(lines->size(), 1u);
    EXPECT_EQ((*lines)[0].runId, "a");
    EXPECT_EQ((*lines)[0].record.result, RunResult::Failed);
}

}  // namespace
}  // namespace zentor

// zentor-cli and the work folder: a held folder refuses every folder command at
// once naming its holder; instrument-changing runs are journaled; `journal`
// prints the history.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/sha256.h"
#include "journal/folder_lock.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/scratch_dir.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

TEST(CliFolderLock, HeldFolderRefusesEveryFolderCommandAtOnce) {
    const ScratchDir dir("cli-lock");
    const ScratchDir other("cli-lock-other");
    const fs::path ini = dir / "zentor.ini";
    Settings settings;
    settings.NamePort = (dir / "no-such-port").string();
    WriteConfig(ini, settings);
    FolderLock holder = FolderLock::Acquire(dir.path(), "zentor", "update");
    ASSERT_TRUE(holder.held());
    const std::vector<std::vector<std::string>> commands = {
        {"read-data"}, {"write-data"}, {"program"}, {"restart"},
        {"prog"},      {"build"},      {"update"},  {"encode", "14v071510"}};
    for (auto args : commands) {
        SCOPED_TRACE(args[0]);
        args.insert(args.end(), {"--config", ini.string(), "--dir", dir.path().string(), "--yes"});
        const CliResult r = RunCli(args, {}, std::chrono::seconds(30));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("занята: в ней работает zentor update, процесс " +
                             std::to_string(::getpid())),
                  std::string::npos)
            << r.out << r.err;
        // Refused before anything else: no port message, no journal.
        EXPECT_EQ(r.out.find("порт"), std::string::npos) << r.out;
        EXPECT_FALSE(dir.Exists("journal.csv"));
    }
    // Another folder is free: the same command gets as far as the port.
    const CliResult free =
        RunCli({"program", "--config", ini.string(), "--dir", other.path().string(), "--yes"}, {},
               std::chrono::seconds(30));
    EXPECT_EQ(free.status, 1);
    EXPECT_EQ(free.out.find("занята"), std::string::npos) << free.out;
    EXPECT_TRUE(other.Exists("journal.csv"));
}

// A symbolic link planted as the lock or the journal of a shared folder, pointing
// at a calibration elsewhere: the lock refuses the command (exit 1), the journal
// is not written through (the fallback journal takes the run); the file either
// points to is left as it was.
TEST(CliFolderLock, PlantedLinksAreRefusedAndTheirTargetsLeftAlone) {
    const ScratchDir dir("cli-planted");
    const ScratchDir outside("cli-planted-target");
    const std::vector<std::uint8_t> calibration = {0xCA, 0x11, 0x00, 0x13, 0x0A};
    outside.Write("cal.bin", calibration);
    const fs::path ini = outside / "zentor.ini";
    Settings settings;
    settings.NamePort = (outside / "no-such-port").string();
    WriteConfig(ini, settings);
    const ScratchDir data("cli-planted-data");
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    const struct {
        const char* name;
        const char* command;
        std::string line;
        bool runs;  // the command goes on to its port (which does not exist)
    } cases[] = {
        {"zentor.lock", "read-data",
         "Не удалось занять папку: " + (dir / "zentor.lock").string() +
             ": символическая ссылка, а не файл. Команда не выполнена.",
         false},
        {"journal.csv", "write-data",
         "Журнал не записан: " + (dir / "journal.csv").string() +
             ": символическая ссылка, а не файл\nЖурнал этой команды ведётся в " +
             (data / "zentor" / "journal.csv").string(),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_symlink(outside / "cal.bin", dir / c.name);
        const CliResult r =
            RunCli({c.command, "--config", ini.string(), "--dir", dir.path().string(), "--yes"}, {},
                   std::chrono::seconds(30));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out << r.err;
        EXPECT_EQ((r.out + r.err).find("порт") != std::string::npos, c.runs) << r.out << r.err;
        EXPECT_EQ(outside.Read("cal.bin"), calibration);
        fs::remove(dir / c.name);
    }
    ::unsetenv("XDG_DATA_HOME");
}

TEST(CliJournal, FailedRunIsJournaledAndPrinted) {
    const ScratchDir dir("cli-journal");
    const fs::path ini = dir / "zentor.ini";
    Settings settings;
    settings.NamePort = (dir / "no-such-port").string();
    settings.BaudRate = 19200;
    WriteConfig(ini, settings);
    const fs::path journal = dir / "all.csv";
    const CliResult r = RunCli({"write-data", "--config", ini.string(), "--dir",
                                dir.path().string(), "--journal", journal.string()},
                               {}, std::chrono::seconds(30));
    EXPECT_EQ(r.status, 1);
    const auto runs = MergeRuns(*ReadJournal(journal));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].record.command, "write-data");
    EXPECT_EQ(runs[0].record.result, RunResult::Failed);
    EXPECT_EQ(runs[0].record.baud, 19200);

    // A second, unfinished run of a known serial, then the history.
    JournalLine start;
    start.time = "2026-12-10T16:20:44+03:00";
    start.computer = "ЦЕХ-3";
    start.runId = "killed";
    start.record.command = "update";
    start.record.mode = "keep";
    start.record.port = "COM7";
    start.record.serial = "14v071510";
    start.record.note = "a;b \"c\"";
    std::string error;
    ASSERT_TRUE(AppendJournalLine(journal, start, &error)) << error;

    const CliResult all = RunCli({"journal", "--journal", journal.string()});
    EXPECT_EQ(all.status, 0);
    const auto lines = all.OutLines();
    ASSERT_EQ(lines.size(), 2u) << all.out;
    EXPECT_NE(lines[0].find("write-data  -  ошибка"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("2026-12-10T16:20:44+03:00  update keep  14v071510  не завершено"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[1].find("(a;b \"c\")"), std::string::npos) << lines[1];

    const CliResult one =
        RunCli({"journal", "--journal", journal.string(), "--serial", "14v071510"});
    EXPECT_EQ(one.status, 0);
    ASSERT_EQ(one.OutLines().size(), 1u);
    EXPECT_EQ(one.OutLines()[0], lines[1]);

    const CliResult none = RunCli({"journal", "--dir", dir.path().string()});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.empty());
    EXPECT_NE(none.err.find("Журнал пуст"), std::string::npos);
}

// The questions of a production line: which instruments got a program, the
// backups of one instrument as they are now, a time range, JSON lines.
TEST(CliJournal, QueriesByProgramCalibrationAndTime) {
    const ScratchDir dir("cli-journal-query");
    const fs::path journal = dir / "journal.csv";
    {
        std::ofstream(dir / "prog_c.bin", std::ios::binary) << "program A";
        std::ofstream(dir / "other.bin", std::ios::binary) << "program B";
    }
    fs::create_directories(dir / "backup");
    std::ofstream(dir / "backup" / "14v071510_20261201-100000_data.bin", std::ios::binary)
        << "calibration";
    const std::string shaA = *Sha256OfFile(dir / "prog_c.bin");
    const std::string shaB = *Sha256OfFile(dir / "other.bin");
    const std::string shaCal = *Sha256OfFile(dir / "backup" / "14v071510_20261201-100000_data.bin");

    const struct {
        const char* id;
        const char* start;
        const char* command;
        const char* serial;
        std::string sha;
        const char* backup;
        RunResult result;
    } runs[] = {
        {"r1", "2026-12-01T10:00:00+03:00", "update", "14v071510", shaA,
         "backup/14v071510_20261201-100000_data.bin", RunResult::Ok},
        {"r2", "2026-12-05T11:00:00+03:00", "update", "14v071511", shaA,
         "backup/14v071511_20261205-110000_data.bin", RunResult::Failed},
        {"r3", "2026-12-10T12:00:00+03:00", "program", "14v071510", shaB, "", RunResult::Ok},
    };
    for (const auto& r : runs) {
        JournalLine line;
        line.time = r.start;
        line.computer = "ЦЕХ-3";
        line.runId = r.id;
        line.folder = dir.path().string();
        line.record.command = r.command;
        line.record.serial = r.serial;
        line.record.programName = "prog_c.bin";
        line.record.programSha256 = r.sha;
        line.record.backupPath = r.backup;
        std::string error;
        ASSERT_TRUE(AppendJournalLine(journal, line, &error)) << error;
        line.event = JournalEvent::End;
        line.record.result = r.result;
        line.durationMs = 1000;
        ASSERT_TRUE(AppendJournalLine(journal, line, &error)) << error;
    }

    // Which runs each query selects, by the start times on the printed lines.
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> starts;
    } cases[] = {
        {{"--firmware", shaA}, {"2026-12-01", "2026-12-05"}},
        {{"--firmware", (dir / "other.bin").string()}, {"2026-12-10"}},
        {{"--serial", "14v071510"}, {"2026-12-01", "2026-12-10"}},
        {{"--calibration"}, {"2026-12-01", "2026-12-05"}},
        {{"--since", "2026-12-05"}, {"2026-12-05", "2026-12-10"}},
        {{"--until", "2026-12-05"}, {"2026-12-01", "2026-12-05"}},
        {{"--since", "2026-12-02", "--until", "2026-12-09"}, {"2026-12-05"}},
        {{"--firmware", shaB, "--since", "2026-12-11"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"journal", "--journal", journal.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> starts;
        for (const auto& line : r.OutLines())
            if (line.rfind("2026-", 0) == 0) starts.push_back(line.substr(0, 10));
        EXPECT_EQ(starts, c.starts) << r.out;
        if (c.starts.empty()) {
            EXPECT_FALSE(r.err.empty());
        }
    }

    // The backups as they are now: the kept one's SHA-256, the missing one said so.
    const CliResult cal = RunCli({"journal", "--journal", journal.string(), "--calibration"});
    const auto lines = cal.OutLines();
    ASSERT_EQ(lines.size(), 4u) << cal.out;
    EXPECT_EQ(lines[1], "    копия backup/14v071510_20261201-100000_data.bin: SHA-256 " + shaCal);
    EXPECT_EQ(lines[3], "    копия backup/14v071511_20261205-110000_data.bin: файл не найден");

    // JSON lines: one object a run, the program's serials and the backup's state.
    const CliResult json = RunCli(
        {"journal", "--journal", journal.string(), "--firmware", shaA, "--calibration", "--json"});
    EXPECT_EQ(json.status, 0);
    const auto objects = json.OutLines();
    ASSERT_EQ(objects.size(), 2u) << json.out;
    for (const auto& o : objects) {
        EXPECT_EQ(o.front(), '{');
        EXPECT_EQ(o.back(), '}');
        EXPECT_NE(o.find("\"program_sha256\":\"" + shaA + "\""), std::string::npos) << o;
    }
    EXPECT_NE(objects[0].find("\"serial\":\"14v071510\""), std::string::npos) << objects[0];
    EXPECT_NE(objects[0].find("\"result\":\"ok\""), std::string::npos) << objects[0];
    EXPECT_NE(objects[0].find("\"backup_sha256\":\"" + shaCal + "\""), std::string::npos);
    EXPECT_NE(objects[1].find("\"result\":\"failed\""), std::string::npos) << objects[1];
    EXPECT_NE(objects[1].find("\"backup_sha256\":null"), std::string::npos) << objects[1];

    const CliResult missing =
        RunCli({"journal", "--journal", journal.string(), "--firmware", "no-such.bin"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.empty());
}

}  // namespace
}  // namespace zentor::test

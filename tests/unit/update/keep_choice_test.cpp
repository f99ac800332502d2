// What a keep-mode update writes back when the journal holds an open failure of
// the instrument, when a --data-from file names another instrument, and where a
// stop asked around Prog leaves the instrument.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/sha256.h"
#include "journal/journal.h"
#include "workflow_rig.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

const std::string kSerial = "14v071510";

// One journal line of a finished run in the rig's folder.
void Journal(WorkflowRig& rig, const std::string& run, const std::string& command, RunPhase phase,
             RunResult result, const std::string& backup, const std::string& serial = kSerial) {
    JournalLine l;
    l.time = "2026-12-01T10:00:00+03:00";
    l.computer = "PC";
    l.event = JournalEvent::End;
    l.runId = run;
    l.folder = PathToUtf8(fs::absolute(rig.dir.path()));
    l.record.command = command;
    l.record.mode = command == "update" ? "keep" : "";
    l.record.port = "COM3";
    l.record.model = "7";
    l.record.serial = serial;
    l.record.phase = phase;
    l.record.result = result;
    l.record.backupPath = backup;
    l.durationMs = 1000;
    std::string error;
    ASSERT_TRUE(AppendJournalLine(rig.dir / "journal.csv", l, &error)) << error;
}

bool Logged(const WorkflowRig& rig, const std::string& part) {
    for (const auto& line : rig.ui.history)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

TEST(KeepChoice, AnOpenFailuresBackupIsWeighedAgainstTheReading) {
    enum class Backup { Equal, Different, Missing };
    enum class Wrote { Reading, Backup, Nothing };
    using Mode = UpdateOptions::OpenFailure;
    const struct {
        const char* name;
        Backup backup;
        Mode mode;
        std::deque<bool> answers;
        int questions;
        Wrote wrote;
    } cases[] = {
        {"equal: the reading, nothing asked", Backup::Equal, Mode::Ask, {}, 0, Wrote::Reading},
        {"differs, window: the backup", Backup::Different, Mode::Ask, {true}, 1, Wrote::Backup},
        {"differs, window: the reading",
         Backup::Different,
         Mode::Ask,
         {false, true},
         2,
         Wrote::Reading},
        {"differs, window: neither",
         Backup::Different,
         Mode::Ask,
         {false, false},
         2,
         Wrote::Nothing},
        {"no backup, window: the reading", Backup::Missing, Mode::Ask, {true}, 1, Wrote::Reading},
        {"no backup, window: no", Backup::Missing, Mode::Ask, {false}, 1, Wrote::Nothing},
        {"differs, CLI: refused", Backup::Different, Mode::Refuse, {true, true}, 0, Wrote::Nothing},
        {"differs, CLI --use-reading", Backup::Different, Mode::TakeReading, {}, 0, Wrote::Reading},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        const Bytes backup = c.backup == Backup::Equal ? rig.dev.flash : Pattern(2048, 5);
        fs::create_directories(rig.dir / "backup");
        if (c.backup != Backup::Missing) rig.Put("backup/old.bin", backup);
        Journal(rig, "a", "update", RunPhase::Data, RunResult::Failed, "backup/old.bin");
        rig.ui.answers = c.answers;
        UpdateOptions options;
        options.openFailure = c.mode;
        RunFirmwareUpdate(rig.s, options);

        int asked = 0;
        for (const auto& b : rig.ui.boxes) asked += b.kind == "yesno";
        EXPECT_EQ(asked, c.questions);
        EXPECT_TRUE(Logged(rig, "Прежнее обновление прибора " + kSerial));
        // The instrument's own DATA FLASH is on disk whatever is written.
        EXPECT_EQ(rig.Listing("backup").size(), c.backup == Backup::Missing ? 1u : 2u);
        EXPECT_EQ(rig.SentRegister(0xFD, 0xAF), c.wrote != Wrote::Nothing) << "Prog";
        if (c.wrote == Wrote::Reading) {
            EXPECT_EQ(rig.s.run.dataSha256, Sha256Hex(rig.dev.flash));
        }
        if (c.wrote == Wrote::Backup) {
            EXPECT_EQ(rig.s.run.dataSha256, Sha256Hex(backup));
            EXPECT_EQ(rig.s.run.backupPath, "backup/old.bin");
            EXPECT_TRUE(Logged(rig, "Вместо нового чтения записывается его резервная копия"));
        }
        if (c.mode == Mode::Refuse) {
            EXPECT_TRUE(Logged(rig, "--data-from " + (rig.dir / "backup/old.bin").string()));
            EXPECT_TRUE(Logged(rig, "--use-reading"));
        }
        if (c.backup == Backup::Different) {
            EXPECT_TRUE(Logged(rig, "Новое чтение отличается от неё: байт "));
        }
    }
}

// A dry run cannot weigh a reading it does not make: it names the open failure
// and its backup, and still reads, writes and sends nothing after the identification.
TEST(KeepChoice, ADryRunNamesTheOpenFailure) {
    WorkflowRig rig;
    fs::create_directories(rig.dir / "backup");
    rig.Put("backup/old.bin", Pattern(2048, 5));
    Journal(rig, "a", "update", RunPhase::Data, RunResult::Failed, "backup/old.bin");
    const auto files = rig.Listing("backup");
    UpdateOptions options;
    options.openFailure = UpdateOptions::OpenFailure::Refuse;
    options.dryRun = UpdateMode::Keep;
    EXPECT_EQ(RunFirmwareUpdate(rig.s, options), UpdateResult::Done);
    EXPECT_TRUE(Logged(rig, "Прежнее обновление прибора " + kSerial));
    EXPECT_TRUE(Logged(rig, "чтение будет сравнено с его резервной копией backup/old.bin"));
    EXPECT_EQ(rig.port.Writes().size(), 1u) << "the identification alone";
    EXPECT_EQ(rig.Listing("backup"), files);
}

// A confirmed write of that instrument after the failure closes it: the reading
// is written without a word about the old run.
TEST(KeepChoice, AConfirmedWriteClosesTheFailure) {
    for (const char* command : {"write-data", "restore", "verify", "update"}) {
        SCOPED_TRACE(command);
        WorkflowRig rig;
        fs::create_directories(rig.dir / "backup");
        rig.Put("backup/old.bin", Pattern(2048, 5));
        Journal(rig, "a", "update", RunPhase::Data, RunResult::Failed, "backup/old.bin");
        Journal(rig, "b", command, RunPhase::Done, RunResult::Ok, "");
        UpdateOptions options;
        options.openFailure = UpdateOptions::OpenFailure::Refuse;
        RunFirmwareUpdate(rig.s, options);
        EXPECT_FALSE(Logged(rig, "Прежнее обновление прибора"));
        EXPECT_TRUE(rig.SentRegister(0xFD, 0xAF));
        EXPECT_EQ(rig.s.run.dataSha256, Sha256Hex(rig.dev.flash));
    }
}

// --data-from on an instrument that identifies: a backup of another serial is
// refused unless forced; whatever is written, the instrument is read and backed up
// first, and the last backup line names that reading, not the other file.
TEST(KeepChoice, DataFromIsCheckedAndTheInstrumentBackedUpFirst) {
    const struct {
        const char* name;
        const char* file;
        bool force;
        bool written;
    } cases[] = {
        {"this serial", "14v071510_20261201-100000_data.bin", false, true},
        {"another serial", "14v071599_20261201-100000_data.bin", false, false},
        {"another serial, forced", "14v071599_20261201-100000_data.bin", true, true},
        {"no serial in the name", "cal.bin", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        const Bytes named = Pattern(2048, 6);
        rig.Put(c.file, named);
        UpdateOptions options;
        options.dataFrom = rig.dir / c.file;
        options.force = c.force;
        RunFirmwareUpdate(rig.s, options);
        EXPECT_EQ(rig.SentRegister(0xFD, 0xAF), c.written);
        if (!c.written) {
            EXPECT_TRUE(Logged(rig, "резервная копия прибора 14v071599, подключено s/n 14v071510"));
            EXPECT_FALSE(fs::exists(rig.dir / "backup")) << "refused before the read";
            continue;
        }
        EXPECT_EQ(rig.s.run.dataSha256, Sha256Hex(named));
        const auto backups = rig.Listing("backup");
        ASSERT_EQ(backups.size(), 1u);
        EXPECT_EQ(rig.Get("backup/" + *backups.begin()), rig.dev.flash);
        EXPECT_EQ(rig.s.run.backupPath, "backup/" + *backups.begin());
        EXPECT_EQ(rig.ui.log[rig.ui.log.size() - 3],
                  "Резервная копия DATA FLASH: backup/" + *backups.begin());
    }
}

// A stop asked while Prog goes out: the restart still brings the chip into its
// boot ROM, nothing more is sent, and the log says a power cycle brings the old
// firmware back (not that the instrument is unchanged).
TEST(KeepChoice, AStopDuringProgEndsInTheBootRomWithNothingErased) {
    WorkflowRig rig;
    auto inner = rig.port.responder;
    rig.port.responder = [&rig, inner](const Bytes& w) {
        Bytes reply = inner(w);
        if (!rig.dev.registerWrites.empty() &&
            rig.dev.registerWrites.back() == std::pair{0xFD, 0xAF})
            rig.s.AbortRequested = true;
        return reply;
    };
    EXPECT_EQ(RunFirmwareUpdate(rig.s), UpdateResult::Interrupted);
    EXPECT_EQ(rig.dev.restarts, 1);
    const auto writes = rig.port.Writes();
    ASSERT_FALSE(writes.empty());
    const Bytes restart = writes.back();
    EXPECT_EQ(rig.WritesStartingWith(Bytes(restart.begin(), restart.begin() + 3)).size(), 1u);
    EXPECT_TRUE(Logged(rig, "устройство ждёт в загрузчике"));
    EXPECT_FALSE(Logged(rig, "устройство не изменено"));
    EXPECT_EQ(rig.s.run.result, RunResult::Interrupted);
    EXPECT_EQ(rig.s.run.phase, RunPhase::Boot);
}

}  // namespace
}  // namespace zentor::test

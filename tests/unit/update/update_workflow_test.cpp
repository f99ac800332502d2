#include "update/update_workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "unit/instrument/instrument_rig.h"
#include "workflow_rig.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

const char* const kPowerCycle =
    "Отключите питание устройства и через 30 секунд включите его снова.";
const char* const kJumperQuestion = "Устройство не определено!\n\nПроизвести прошивку?";
const char* const kJumperSteps =
    "Внимание! Выполните следующие действия:\n"
    "1. Отключите питание устройства (не меньше 30 секунд).\n"
    "2. Закоротите перемычку на плате устройства.\n"
    "3. Не размыкая перемычку включите его питание.\n"
    "4. Нажмите кнопку \"OK\"\n";

TEST(UpdateWorkflow, MissingProgCNeverOpensThePort) {
    WorkflowRig rig;
    fs::remove(rig.dir / "prog_c.bin");
    EXPECT_FALSE(rig.Run());
    EXPECT_EQ(rig.ui.history, std::vector<std::string>{"Файл prog_c.bin не обнаружен!"});
    EXPECT_TRUE(rig.opener.opened.empty());
    EXPECT_TRUE(rig.port.events.empty());
}

// The port, bit rate and address of the settings are the ones the update opens
// and asks.
TEST(UpdateWorkflow, OpensTheChosenPortRateAndAddress) {
    const struct {
        const char* port;
        int baud;
        int address;
        const char* opened;
    } cases[] = {
        {"COM7", 19200, 12, "COM7@19200"},
        {"COM3", 38400, 1, "COM3@38400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opened);
        WorkflowRig rig;
        rig.ui.confirmReply = {};
        rig.station.settings.NamePort = c.port;
        rig.station.settings.BaudRate = c.baud;
        rig.station.settings.AdrPribor = c.address;
        rig.Run();
        EXPECT_EQ(rig.opener.opened, std::vector<std::string>{c.opened});
        ASSERT_FALSE(rig.port.Writes().empty());
        EXPECT_EQ(rig.port.Writes()[0], IdentityRequest(c.address));
    }
}

TEST(UpdateWorkflow, PortThatCannotBeOpened) {
    WorkflowRig rig;
    rig.opener.nextStatus = OpenStatus::Busy;
    EXPECT_FALSE(rig.Run());
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].kind, "message");
    EXPECT_TRUE(rig.port.events.empty());
}

// "Нет", or "Да" without a mode: the port is closed, the log is untouched and
// nothing is sent after the identification.
TEST(UpdateWorkflow, DeclinedConfirmation) {
    const UpdateChoice replies[] = {{}, {"Да", UpdateMode::None}, {"", UpdateMode::Keep}};
    for (const auto& reply : replies) {
        SCOPED_TRACE(reply.answer + "/" + UpdateModeText(reply.mode));
        WorkflowRig rig;
        rig.station.settings.HCR1FromFile = "A3";
        rig.station.settings.HCR1Value = "11";
        rig.s.UpdateMode = UpdateMode::Factory;  // left over from an earlier run
        rig.ui.confirmReply = reply;
        EXPECT_FALSE(rig.Run());
        ASSERT_EQ(rig.ui.boxes.size(), 1u);
        EXPECT_EQ(rig.ui.boxes[0].kind, "confirm");
        EXPECT_EQ(rig.ui.boxes[0].text, "Velmar 7  s/n: 14v071510.");
        EXPECT_EQ(rig.ui.boxes[0].title, "Zentor Velmar");
        EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{IdentityRequest(1)});
        EXPECT_TRUE(rig.ui.history.empty());
        EXPECT_TRUE(rig.ui.busyChanges.empty());
        EXPECT_TRUE(rig.PortClosed());
        EXPECT_EQ(rig.s.UpdateMode, reply.mode);
        // Taken from the file before the identification; model 7 keeps it.
        EXPECT_EQ(rig.s.Hcr1(), "A3");
        EXPECT_EQ(rig.station.settings.HCR1Value, "11");
        EXPECT_EQ(rig.Listing(), (std::set<std::string>{"prog_c.bin", "data.bin"}));
    }
}

TEST(UpdateWorkflow, FactoryModeWithoutDataBin) {
    WorkflowRig rig;
    fs::remove(rig.dir / "data.bin");
    rig.ui.confirmReply = {"Да", UpdateMode::Factory};
    EXPECT_FALSE(rig.Run());
    EXPECT_EQ(rig.ui.boxes.size(), 1u);  // asked only after the dialog
    EXPECT_EQ(rig.ui.history, std::vector<std::string>{"Файл data.bin не обнаружен!"});
    EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{IdentityRequest(1)});
    EXPECT_TRUE(rig.ui.busyChanges.empty());
    EXPECT_TRUE(rig.PortClosed());
}

// The read fails: six looks of a second, then the message; the busy display is
// left and the port closed. An old data_rd.bin is set aside before the read, so
// it can never be written into this instrument.
TEST(UpdateWorkflow, KeepModeWhenTheReadFails) {
    WorkflowRig rig;
    rig.answers = false;
    const Bytes stale = Pattern(2048, 77);
    rig.Put("data_rd.bin", stale);
    EXPECT_FALSE(rig.Run());
    ASSERT_FALSE(rig.ui.log.empty());
    EXPECT_EQ(rig.ui.log.back(), "Файл data_rd.bin не обнаружен!");
    EXPECT_EQ(rig.LongWaits(), std::vector<int>(6, 1000));
    const auto sleeps = rig.clock.Sleeps();
    ASSERT_GE(sleeps.size(), 7u);
    EXPECT_EQ(std::vector<int>(sleeps.end() - 6, sleeps.end()), std::vector<int>(6, 1000));
    EXPECT_EQ(rig.ui.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(rig.PortClosed());
    EXPECT_FALSE(rig.SentRegister(0xFD, 0xAF));

    // The old reading went to backup/, beside no calibration backup.
    const auto aside = rig.Listing("backup");
    ASSERT_EQ(aside.size(), 1u);
    const std::string name = *aside.begin();
    EXPECT_EQ(name.rfind("data_rd.", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".bak") << name;
    EXPECT_EQ(rig.Get("backup/" + name), stale);
    EXPECT_NE(std::find(rig.ui.history.begin(), rig.ui.history.end(),
                        "Файл data_rd.bin прежнего чтения переименован в backup/" + name),
              rig.ui.history.end());
    EXPECT_TRUE(rig.Listing().count("backup/"));
    EXPECT_FALSE(ExistsNoCase(rig.dir.path(), "data_rd.bin"));
    EXPECT_EQ(rig.s.run.linkError, LinkError::Timeout);
}

// Keep mode up to the reflash: the reading is saved and backed up under the
// serial number before Prog, then Prog, 1 s, restart, 2 s, ProgramChip. With no
// boot ROM the reflash fails; the backup is named again and the tail follows.
TEST(UpdateWorkflow, KeepModeBacksUpTheReadingBeforeTheChipIsTouched) {
    WorkflowRig rig;
    bool backupBeforeProg = false;
    rig.dev.onFrame = [&](const Bytes& w) {
        if (w.size() == 4 && w[0] == 0x01 && w[1] == 0xFD && w[2] == 0xAF) {
            std::error_code ec;
            backupBeforeProg =
                fs::exists(rig.dir / "backup", ec) && !fs::is_empty(rig.dir / "backup", ec);
        }
    };
    EXPECT_FALSE(rig.Run());
    EXPECT_TRUE(backupBeforeProg);
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);

    const auto backups = rig.Listing("backup");
    ASSERT_EQ(backups.size(), 1u);
    const std::string name = *backups.begin();
    EXPECT_EQ(name.rfind("14v071510_", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 9), "_data.bin");
    EXPECT_EQ(name.size(), std::string("14v071510_20261210-031500_data.bin").size());
    EXPECT_EQ(rig.Get("backup/" + name), rig.dev.flash);
    const std::string backupLine = "Резервная копия DATA FLASH: backup/" + name;
    EXPECT_NE(std::find(rig.ui.history.begin(), rig.ui.history.end(), backupLine),
              rig.ui.history.end());

    // Prog's two writes, then the restart, after the read's copies.
    std::vector<std::pair<int, int>> tail;
    for (const auto& rw : rig.dev.registerWrites)
        if (rw.first == 0xFD || rw == std::pair{0xFF, 0x0B} || rw == std::pair{0xFF, 0x01})
            tail.push_back(rw);
    EXPECT_EQ(tail, (std::vector<std::pair<int, int>>{{0xFD, 0xAF}, {0xFF, 0x0B}, {0xFF, 0x01}}));
    EXPECT_EQ(rig.LongWaits(), (std::vector<int>{1000, 1000, 2000}));
    EXPECT_EQ(rig.dev.restarts, 1);

    // The backup is named before the empty line; the power-cycle instruction stays last.
    ASSERT_GE(rig.ui.log.size(), 4u);
    const auto& log = rig.ui.log;
    EXPECT_EQ(log[log.size() - 4], "Нет связи с MSC1210!");
    EXPECT_EQ(log[log.size() - 3], backupLine);
    EXPECT_EQ(log[log.size() - 2], "");
    EXPECT_EQ(log[log.size() - 1], kPowerCycle);
    EXPECT_EQ(rig.ui.busyChanges, (std::vector<bool>{true, false}));
    // The whole-run progress got to the boot ROM and is hidden again.
    EXPECT_EQ(rig.ui.stages,
              (std::vector<RecordingFrontend::Stage>{
                  {1, 6, "чтение DATA FLASH"}, {2, 6, "вход в загрузчик"}, {0, 0, ""}}));
    EXPECT_TRUE(rig.PortClosed());
    EXPECT_EQ(rig.s.UpdateMode, UpdateMode::Keep);
    EXPECT_EQ(rig.s.run.linkError, LinkError::Timeout);  // the boot ROM's silence
}

// A reading that cannot be backed up is not written into a freshly erased chip:
// the run ends before Prog, with the instrument still running its firmware.
TEST(UpdateWorkflow, KeepModeStopsWhenTheBackupCannotBeWritten) {
    WorkflowRig rig;
    rig.Put("backup", Bytes{1});  // a file where the folder should go
    EXPECT_FALSE(rig.Run());
    ASSERT_FALSE(rig.ui.log.empty());
    EXPECT_EQ(
        rig.ui.log.back().rfind("Невозможно сохранить резервную копию DATA FLASH: backup/", 0), 0u)
        << rig.ui.log.back();
    EXPECT_FALSE(rig.SentRegister(0xFD, 0xAF));
    EXPECT_EQ(rig.dev.restarts, 0);
    EXPECT_EQ(rig.ui.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(rig.PortClosed());
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
}

TEST(UpdateWorkflow, FactoryModeSkipsTheRead) {
    WorkflowRig rig;
    rig.ui.confirmReply = {"Да", UpdateMode::Factory};
    EXPECT_FALSE(rig.Run());
    EXPECT_FALSE(rig.SentRegister(0xFF, 0x06));  // no page copied for reading
    EXPECT_TRUE(rig.SentRegister(0xFD, 0xAF));
    EXPECT_EQ(rig.dev.restarts, 1);
    EXPECT_EQ(rig.LongWaits(), (std::vector<int>{1000, 1000, 2000}));
    EXPECT_FALSE(ExistsNoCase(rig.dir.path(), "data_rd.bin"));
    EXPECT_FALSE(fs::exists(rig.dir / "backup"));
    ASSERT_GE(rig.ui.log.size(), 3u);
    EXPECT_EQ(rig.ui.log[rig.ui.log.size() - 3], "Нет связи с MSC1210!");
    EXPECT_EQ(rig.ui.log[rig.ui.log.size() - 2], "");
    EXPECT_EQ(rig.ui.log.back(), kPowerCycle);
    EXPECT_EQ(rig.ui.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(rig.PortClosed());
}

TEST(UpdateWorkflow, JumperPath) {
    const struct {
        const char* name;
        bool dataBin;
        std::deque<bool> answers;
        std::vector<std::string> boxKinds;
        bool reflash;
    } cases[] = {
        {"no data.bin: nothing asked", false, {true, true}, {}, false},
        {"No to the first box", true, {false}, {"yesno-default-no"}, false},
        {"Cancel in the second box", true, {true, false}, {"yesno-default-no", "okcancel"}, false},
        {"OK: reflash at once", true, {true, true}, {"yesno-default-no", "okcancel"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        rig.silentIdentity = true;
        rig.answers = false;
        if (!c.dataBin) fs::remove(rig.dir / "data.bin");
        rig.station.settings.HCR1FromFile = "C5";
        rig.station.settings.HCR1Value = "77";
        rig.ui.answers = c.answers;
        rig.Run();

        std::vector<std::string> kinds;
        for (const auto& b : rig.ui.boxes) kinds.push_back(b.kind);
        EXPECT_EQ(kinds, c.boxKinds);
        if (kinds.size() >= 1) {
            // The question keeps its text and says that data.bin replaces the calibration.
            EXPECT_EQ(rig.ui.boxes[0].text.rfind(kJumperQuestion, 0), 0u) << rig.ui.boxes[0].text;
            EXPECT_NE(rig.ui.boxes[0].text.find("заводскими данными data.bin"), std::string::npos);
            EXPECT_EQ(rig.ui.boxes[0].title, "Zentor Velmar");
            EXPECT_EQ(rig.ui.boxes[0].icon, MessageIcon::Exclamation);
        }
        if (kinds.size() >= 2) {
            EXPECT_EQ(rig.ui.boxes[1].text, kJumperSteps);
            EXPECT_EQ(rig.ui.boxes[1].title, "Zentor Velmar");
            EXPECT_EQ(rig.ui.boxes[1].icon, MessageIcon::Exclamation);
        }
        EXPECT_EQ(rig.s.Hcr1(), "C5");
        EXPECT_EQ(rig.s.UpdateMode, UpdateMode::None);
        EXPECT_TRUE(rig.PortClosed());
        EXPECT_TRUE(rig.LongWaits().empty());
        if (!c.dataBin) {
            EXPECT_EQ(rig.ui.history, std::vector<std::string>{"Файл data.bin не обнаружен!"});
        }
        if (c.reflash) {
            EXPECT_EQ(rig.ui.busyChanges, (std::vector<bool>{true, false}));
            ASSERT_GE(rig.ui.log.size(), 2u);
            EXPECT_EQ(rig.ui.log[rig.ui.log.size() - 2], "");
            EXPECT_EQ(rig.ui.log.back(), kPowerCycle);
        } else {
            EXPECT_TRUE(rig.ui.busyChanges.empty());
            // Nothing was sent after the identification request.
            EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{IdentityRequest(1)});
        }
    }
}

// The reflash asks nothing of its own (no "Произвести запись?") and takes prog_c.bin.
TEST(UpdateWorkflow, ReflashAsksNothingOfItsOwn) {
    WorkflowRig rig;
    rig.silentIdentity = true;
    rig.answers = false;
    rig.ui.answers = {true, true, true};
    rig.Run();
    std::vector<std::string> kinds;
    for (const auto& b : rig.ui.boxes) kinds.push_back(b.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"yesno-default-no", "okcancel"}));
    ASSERT_GE(rig.ui.log.size(), 3u);
    EXPECT_EQ(rig.ui.log[rig.ui.log.size() - 3], "Нет связи с MSC1210!");
}

// One configured reading is not enough for the only copy of the calibration: keep
// mode reads until two agree, so a first reading with a page of zeros (the
// instrument restarted under it) never reaches data_rd.bin or the backup.
TEST(UpdateWorkflow, KeepModeReadsUntilTwoReadingsAgree) {
    WorkflowRig rig;
    rig.station.settings.MaxKolReadings = 1;
    Bytes restarted = rig.dev.flash;
    std::fill_n(restarted.begin() + 512, 256, std::uint8_t{0});
    rig.dev.readings = {restarted, rig.dev.flash};
    EXPECT_FALSE(rig.Run());  // no boot ROM behind the fake
    EXPECT_EQ(rig.dev.readingCount, 3);
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
    const auto backups = rig.Listing("backup");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(rig.Get("backup/" + *backups.begin()), rig.dev.flash);
    EXPECT_NE(std::find(rig.ui.history.begin(), rig.ui.history.end(),
                        "Данные 2-го чтения DATA FLASH - не совпали с предыдущим."),
              rig.ui.history.end());
    EXPECT_EQ(rig.station.settings.MaxKolReadings, 1);  // the setting itself is unchanged
}

UpdateOptions Options(bool jumperPath, const std::string& expectSerial, bool logIdentity) {
    UpdateOptions o;
    o.jumperPath = jumperPath;
    o.expectSerial = expectSerial;
    o.logIdentity = logIdentity;
    return o;
}

// The caller's conditions are checked right after the identification: a refused
// run sends nothing more, asks nothing and leaves the busy display alone.
TEST(UpdateWorkflow, RefusedAfterTheIdentification) {
    const struct {
        const char* name;
        bool identified;
        UpdateOptions options;
        UpdateResult result;
        std::vector<std::string> lines;
    } cases[] = {
        {"not identified, no jumper path",
         false,
         Options(false, "", false),
         UpdateResult::Unidentified,
         {"Устройство не определено!",
          "Прошивка через перемычку записала бы в DATA FLASH заводские данные data.bin вместо "
          "калибровки устройства - обновление отменено"}},
        {"another serial",
         true,
         Options(true, "14v071511", true),
         UpdateResult::WrongInstrument,
         {"Устройство: Velmar 7  s/n: 14v071510.",
          "Подключено устройство s/n: 14v071510, ожидалось 14v071511 - обновление отменено"}},
        {"expected serial, not identified",
         false,
         Options(true, "14v071510", false),
         UpdateResult::WrongInstrument,
         {"Устройство не определено: s/n 14v071510 не подтверждён - обновление отменено"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        rig.silentIdentity = !c.identified;
        rig.answers = false;  // only the identification is ever answered
        rig.ui.answers = {true, true};
        EXPECT_EQ(RunFirmwareUpdate(rig.s, c.options), c.result);
        EXPECT_EQ(rig.ui.history, c.lines);
        EXPECT_TRUE(rig.ui.boxes.empty());
        EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{IdentityRequest(1)});
        EXPECT_TRUE(rig.ui.busyChanges.empty());
        EXPECT_TRUE(rig.PortClosed());
    }
}

}  // namespace
}  // namespace zentor::test

// Field updates of the simulated instrument, end to end over a pseudo-terminal in
// real time: in process through the workflow, and through zentor-cli.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/clock.h"
#include "common/files.h"
#include "common/image_key.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "station/com_port.h"
#include "station/job.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"
#include "testing/recording_frontend.h"
#include "update/update_workflow.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kFlashSize = 32768;  // MSC1210Y5
constexpr int kDataSize = 2048;
const char* const kPowerCycle =
    "Отключите питание устройства и через 30 секунд включите его снова.";

Bytes Scrambled(Bytes b) {
    ScrambleImage(b);
    return b;
}

class UpdateOnSim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileAtomic(dir_ / "prog_c.bin", Scrambled(program_)));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", factory_));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "old.bin", oldProgram_));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "cal.bin", calibration_));
    }

    std::vector<std::string> SimArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args{"--code-file", (dir_ / "old.bin").string(), "--data-file",
                                      (dir_ / "cal.bin").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // The workflow in process, on the real serial back end.
    bool RunWorkflow(SimProcess& sim, RecordingFrontend& ui, Settings settings) {
        SystemClock clock;
        auto opener = MakeSystemPortOpener(dir_);
        Station station{ui, clock, *opener, {}, {}};
        Controls controls;
        Job s(station, controls);
        station.place.caption = "Zentor Velmar";
        station.place.workDir = dir_;
        station.settings = settings;
        station.settings.NamePort = sim.DevicePath();
        station.settings.BaudRate = 38400;
        station.settings.AdrPribor = 1;
        return FieldUpdate(s);
    }

    static Settings QuickSettings() {
        Settings st;
        st.BaudRate = SimProcess::kDefaultBaud;
        st.DopPause = 0;
        st.TypeController = 4;
        st.SizeData = kDataSize;
        st.MaxKolReadings = 2;
        return st;
    }

    // CODE FLASH holds the program, the rest below the DATA FLASH is erased.
    void ExpectProgramInstalled(const Bytes& flash) const {
        ASSERT_EQ(flash.size(), static_cast<std::size_t>(kFlashSize));
        EXPECT_TRUE(std::equal(program_.begin(), program_.end(), flash.begin()));
        EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(program_.size()),
                                flash.end() - kDataSize, [](std::uint8_t b) { return b == 0xFF; }));
    }

    std::vector<fs::path> Backups() const {
        std::vector<fs::path> out;
        std::error_code ec;
        // Calibration backups only, not the set-aside readings beside them.
        for (const auto& e : fs::directory_iterator(dir_ / "backup", ec))
            if (e.path().filename().string().rfind("data_rd.", 0) != 0) out.push_back(e.path());
        return out;
    }

    const ScratchDir scratch_{"upd-it"};
    const fs::path dir_ = scratch_.path();
    const Bytes program_ = Pattern(8192, 1);
    const Bytes oldProgram_ = Pattern(6144, 2);
    const Bytes factory_ = Pattern(kDataSize, 3);
    const Bytes calibration_ = Pattern(kDataSize, 4);
};

// Keep mode for 16-byte (version 99) and 128-byte (version 120) instruments; the
// model decides HCR1 when the configuration has no HCR1 key.
TEST_F(UpdateOnSim, KeepModePreservesTheDataFlash) {
    const struct {
        const char* version;
        const char* identity;
        const char* serial;
        const char* device;
        const char* hcr1;
    } cases[] = {
        {"99", "14,7,15,10", "14v071510", "Velmar 7  s/n: 14v071510.", "A3"},
        {"120", "5,120,3,200", "05v12003200", "Velmar 120  s/n: 05v12003200.", "93"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        fs::remove_all(dir_ / "backup");
        SimProcess sim(SimArgs({"--version-code", c.version, "--identity", c.identity}));
        RecordingFrontend ui;
        ASSERT_TRUE(RunWorkflow(sim, ui, QuickSettings())) << ::testing::PrintToString(ui.log);
        ASSERT_GE(ui.log.size(), 4u);
        EXPECT_EQ(ui.log[ui.log.size() - 4], "Запись регистров конфигурации - ok!");
        EXPECT_EQ(ui.log[ui.log.size() - 2], "");
        EXPECT_EQ(ui.log[ui.log.size() - 1], kPowerCycle);
        EXPECT_EQ(ui.boxes.at(0).text, c.device);
        // The whole run in six stages, each once and in order, hidden at the end.
        EXPECT_EQ(ui.stages, (std::vector<RecordingFrontend::Stage>{{1, 6, "чтение DATA FLASH"},
                                                                    {2, 6, "вход в загрузчик"},
                                                                    {3, 6, "стирание"},
                                                                    {4, 6, "запись CODE FLASH"},
                                                                    {5, 6, "запись DATA FLASH"},
                                                                    {6, 6, "запись конфигурации"},
                                                                    {0, 0, ""}}));

        const auto backups = Backups();
        ASSERT_EQ(backups.size(), 1u);
        // The backup is named at the end, where the window's cleared log still shows it.
        EXPECT_EQ(ui.log[ui.log.size() - 3],
                  "Резервная копия DATA FLASH: backup/" + backups[0].filename().string());
        EXPECT_EQ(backups[0].filename().string().rfind(std::string(c.serial) + "_", 0), 0u);
        EXPECT_EQ(ReadWholeFile(backups[0]), calibration_);

        sim.PowerCycle();
        EXPECT_EQ(sim.Mode(), "firmware");
        ExpectProgramInstalled(sim.Flash());
        EXPECT_EQ(sim.DataFlash(), calibration_);
        EXPECT_EQ(sim.Hcr1(), c.hcr1);
        EXPECT_EQ(sim.Hcr0(), "7D");
    }
}

TEST_F(UpdateOnSim, FactoryModeInstallsDataBin) {
    SimProcess sim(SimArgs({}));
    RecordingFrontend ui;
    ui.confirmReply = {"Да", UpdateMode::Factory};
    ASSERT_TRUE(RunWorkflow(sim, ui, QuickSettings())) << ::testing::PrintToString(ui.log);
    EXPECT_EQ(ui.log.back(), kPowerCycle);
    EXPECT_FALSE(ExistsNoCase(dir_, "data_rd.bin"));
    // Nothing is read: five stages.
    ASSERT_EQ(ui.stages.size(), 6u);
    EXPECT_EQ(ui.stages.front(), (RecordingFrontend::Stage{1, 5, "вход в загрузчик"}));
    EXPECT_EQ(ui.stages[4], (RecordingFrontend::Stage{5, 5, "запись конфигурации"}));
    EXPECT_EQ(ui.stages.back(), (RecordingFrontend::Stage{0, 0, ""}));
    sim.PowerCycle();
    EXPECT_EQ(sim.Mode(), "firmware");
    ExpectProgramInstalled(sim.Flash());
    EXPECT_EQ(sim.DataFlash(), factory_);
}

// prog_c.bin is read once, when the run plans before the port opens: removed
// once the user has confirmed, it is still what the reflash writes.
TEST_F(UpdateOnSim, WritesTheProgramReadBeforeTheConfirmation) {
    struct RemovingFrontend : RecordingFrontend {
        fs::path dir;
        UpdateChoice ConfirmUpdate(const std::string& caption, const std::string& text) override {
            fs::remove(dir / "prog_c.bin");
            return RecordingFrontend::ConfirmUpdate(caption, text);
        }
    };
    SimProcess sim(SimArgs({}));
    RemovingFrontend ui;
    ui.dir = dir_;
    ui.confirmReply = {"Да", UpdateMode::Factory};
    ASSERT_TRUE(RunWorkflow(sim, ui, QuickSettings())) << ::testing::PrintToString(ui.log);
    EXPECT_FALSE(fs::exists(dir_ / "prog_c.bin"));
    sim.PowerCycle();
    ExpectProgramInstalled(sim.Flash());
    EXPECT_EQ(sim.DataFlash(), factory_);
}

// A chip held in its boot ROM by the jumper does not answer the identification;
// with --jumper named, after both questions the reflash writes data.bin and the
// configured HCR1.
TEST_F(UpdateOnSim, JumperPathThroughTheCli) {
    SimProcess sim(SimArgs({"--jumper", "--hcr1", "A3"}));
    Settings st = QuickSettings();
    st.HCR1Value = "C5";
    WriteConfig(dir_ / "z.ini", st);
    const CliResult r = RunCli({"--config", (dir_ / "z.ini").string(), "update", "--jumper",
                                "--yes", "--port", sim.DevicePath(), "--dir", dir_.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("Устройство не определено!"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("4. Нажмите кнопку \"OK\""), std::string::npos) << r.err;
    ASSERT_FALSE(r.OutLines().empty());
    EXPECT_EQ(r.OutLines().back(), kPowerCycle);
    // The silence this path starts from is not the run's link error.
    const CliResult json =
        RunCli({"--json", "--config", (dir_ / "z.ini").string(), "update", "--jumper", "--yes",
                "--port", sim.DevicePath(), "--dir", dir_.string()});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"link_error\":\"none\""), std::string::npos) << json.out;
    ExpectProgramInstalled(sim.Flash());
    EXPECT_EQ(sim.DataFlash(), factory_);
    EXPECT_EQ(sim.Hcr1(), "C5");
}

// The line goes away in the middle of CODE FLASH (the simulator closes its side,
// as a pulled adapter does): the run ends at once with that outcome, names the
// backup read before the erase and the one command that recovers the instrument,
// and never tells to switch it off. With the adapter back and the jumper closed,
// that command brings program and calibration back.
TEST_F(UpdateOnSim, PortGoneMidReflashNamesTheRecovery) {
    SimProcess sim(SimArgs({"--die-after-record", "20"}));
    Settings st = QuickSettings();
    st.ControlWrite = true;
    WriteConfig(dir_ / "z.ini", st);
    const auto started = std::chrono::steady_clock::now();
    const CliResult r = RunCli({"--config", (dir_ / "z.ini").string(), "update", "--mode", "keep",
                                "--yes", "--port", sim.DevicePath(), "--dir", dir_.string()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const auto backups = Backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(ReadWholeFile(backups[0]), calibration_);
    const auto lines = r.OutLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), kPowerCycle), lines.end()) << r.out;
    bool named = false;
    for (const auto& line : lines)
        named = named || line.find("пропал (запись CODE FLASH)") != std::string::npos;
    EXPECT_TRUE(named) << r.out;
    EXPECT_EQ(lines[lines.size() - 3],
              "Резервная копия DATA FLASH: backup/" + backups[0].filename().string());
    const std::string command = lines.back().substr(lines.back().find("zentor-cli"));
    EXPECT_NE(command.find("--data-from " + backups[0].string()), std::string::npos) << command;
    const auto runs =
        MergeRuns(ReadJournal(dir_ / "journal.csv").value_or(std::vector<JournalLine>{}));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].record.result, RunResult::Failed);
    EXPECT_NE(runs[0].record.note.find("порт пропал"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));

    // The adapter is back; the chip waits in its boot ROM behind the jumper.
    SimProcess back({"--code-file", (dir_ / "old.bin").string(), "--jumper"});
    ASSERT_NE(back.DataFlash(), calibration_);
    std::istringstream words(command);
    std::vector<std::string> args{"--config", (dir_ / "z.ini").string(), "--yes"};
    std::string word;
    words >> word;
    while (words >> word) args.push_back(word == sim.DevicePath() ? back.DevicePath() : word);
    const CliResult recovered = RunCli(args);
    EXPECT_EQ(recovered.status, 0) << recovered.out << recovered.err;
    EXPECT_EQ(back.DataFlash(), calibration_);
    const Bytes flash = back.Flash();
    EXPECT_TRUE(std::equal(program_.begin(), program_.end(), flash.begin()));
}

// Without --yes and without a terminal the confirmation is declined: nothing is
// sent after the identification and the chip keeps its old program.
TEST_F(UpdateOnSim, NoTerminalDeclines) {
    SimProcess sim(SimArgs({}));
    Settings st = QuickSettings();
    WriteConfig(dir_ / "z.ini", st);
    const CliResult r = RunCli({"--config", (dir_ / "z.ini").string(), "update", "--port",
                                sim.DevicePath(), "--dir", dir_.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Velmar 7  s/n: 14v071510."), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "Устройство: Velmar 7  s/n: 14v071510.\n");
    EXPECT_EQ(sim.Mode(), "firmware");
    const Bytes flash = sim.Flash();
    EXPECT_TRUE(std::equal(oldProgram_.begin(), oldProgram_.end(), flash.begin()));
    EXPECT_FALSE(fs::exists(dir_ / "backup"));
}

}  // namespace
}  // namespace zentor::test

// Verification after power-up and restore of a backup, against the simulator
// paced at 38400 bit/s and power-cycled by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_run.h"
#include "common/clock.h"
#include "common/files.h"
#include "common/image_key.h"
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

constexpr int kDataSize = 512;
constexpr int kProgramSize = 128;  // one record: data records are 2..5

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CloseLoop : public ::testing::Test {
protected:
    void SetUp() override {
        Bytes program = Pattern(kProgramSize, 1);
        ScrambleImage(program);
        ASSERT_TRUE(WriteFileAtomic(dir_ / "prog_c.bin", program));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", Pattern(kDataSize, 3)));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "cal.bin", calibration_));
        WriteSettings(false);
    }

    // The settings of every run: an MSC1210Y5 at the pace of SimArgs, DopPause 0.
    void WriteSettings(bool controlWrite) {
        Settings st;
        st.BaudRate = SimProcess::kDefaultBaud;  // the pace of SimArgs
        st.DopPause = 0;
        st.TypeController = 4;
        st.SizeData = kDataSize;
        st.MaxKolReadings = 1;
        st.ControlWrite = controlWrite;
        WriteConfig(ini_, st);
    }

    std::vector<std::string> SimArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args{"--data-file",
                                      (dir_ / "cal.bin").string(),
                                      "--data-flash-size",
                                      std::to_string(kDataSize),
                                      "--baud",
                                      "38400"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    CliResult Cli(const SimProcess& sim, std::vector<std::string> args,
                  std::function<void(pid_t)> whileRunning = {}) const {
        std::vector<std::string> all{"--config",       ini_.string(), "--port",
                                     sim.DevicePath(), "--dir",       dir_.string()};
        all.insert(all.end(), args.begin(), args.end());
        return RunCli(all, std::move(whileRunning));
    }

    // Keep-mode update in process; the chip is left in its boot ROM.
    bool Update(SimProcess& sim, RecordingFrontend& ui) const {
        SystemClock clock;
        auto opener = MakeSystemPortOpener(dir_);
        Station station{ui, clock, *opener, {}, {}};
        Controls controls;
        Job s(station, controls);
        station.place.workDir = dir_;
        station.settings.DopPause = 0;
        station.settings.TypeController = 4;
        station.settings.SizeData = kDataSize;
        station.settings.MaxKolReadings = 1;
        station.settings.NamePort = sim.DevicePath();
        station.settings.BaudRate = 38400;
        station.settings.AdrPribor = 1;
        return FieldUpdate(s);
    }

    fs::path OnlyBackup() const {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(dir_ / "backup"))
            if (e.path().filename().string().rfind("data_rd.", 0) != 0) found.push_back(e.path());
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? fs::path() : found[0];
    }

    const ScratchDir scratch_{"loop-it"};
    const fs::path dir_ = scratch_.path();
    const fs::path ini_ = dir_ / "z.ini";
    const Bytes calibration_ = Pattern(kDataSize, 4);
};

// The CLI waits after the power-cycle lines; the test switches the instrument
// off and on once the configuration record (HCR0 7D) is in.
TEST_F(CloseLoop, UpdateWithVerifyThroughTheCli) {
    const struct {
        const char* name;
        std::vector<std::string> sim;
        bool controlWrite;
        int status;
        std::string verdict;
    } cases[] = {
        {"kept", {}, false, 0, "Проверка DATA FLASH - Ok: 512 байт совпадают с записанными"},
        // Record 4 = data bytes 256..383, acknowledged and stored wrong.
        {"silently corrupted",
         {"--corrupt-record", "4"},
         true,
         1,
         "первое различие по смещению 256 (0100h), различных байт 1 из 512"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_ / "backup");
        std::vector<std::string> simArgs = SimArgs({"--hcr0", "7C"});
        simArgs.insert(simArgs.end(), c.sim.begin(), c.sim.end());
        SimProcess sim(simArgs);
        WriteSettings(c.controlWrite);
        bool cycled = false;
        const CliResult r =
            Cli(sim, {"update", "--mode", "keep", "--yes", "--verify=30"}, [&](pid_t) {
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                while (std::chrono::steady_clock::now() < end && sim.Hcr0() != "7D")
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                sim.PowerCycle();
                cycled = true;
            });
        ASSERT_TRUE(cycled);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        const auto lines = r.OutLines();
        const auto cycle =
            std::find(lines.begin(), lines.end(),
                      "Отключите питание устройства и через 30 секунд включите его снова.");
        ASSERT_NE(cycle, lines.end()) << r.out;
        const auto wait = std::find(cycle, lines.end(), "Ожидание ответа устройства (до 30 с) ...");
        EXPECT_NE(wait, lines.end()) << r.out;
        EXPECT_TRUE(Has(r.out, c.verdict)) << r.out;
        if (c.status == 0) continue;
        // The restore line printed brings the calibration back, and the journal
        // tells the instrument's story.
        const std::string restore = "Восстановление: zentor-cli --config " + ini_.string() +
                                    " --port " + sim.DevicePath() + " --dir " + dir_.string() +
                                    " restore " + OnlyBackup().generic_string();
        ASSERT_NE(std::find(lines.begin(), lines.end(), restore), lines.end()) << r.out;
        std::istringstream words(restore.substr(restore.find("zentor-cli ") + 11));
        std::vector<std::string> args;
        for (std::string w; words >> w;) args.push_back(w);
        const CliResult restored = RunCli(args);
        EXPECT_EQ(restored.status, 0) << restored.out << restored.err;
        EXPECT_EQ(sim.DataFlash(), calibration_);
        const CliResult journal = RunCli({"--config", ini_.string(), "--dir", dir_.string(),
                                          "journal", "--serial", "14v071510"});
        EXPECT_TRUE(Has(journal.out, "verify  14v071510")) << journal.out;
        EXPECT_TRUE(Has(journal.out, "restore  14v071510")) << journal.out;
    }
}

// ControlWrite off lets a refused DATA FLASH record pass: the update goes on to
// its end but does not call it success (one record unconfirmed), the check finds
// the hole, and the restore line it prints brings the calibration back.
TEST_F(CloseLoop, RefusedRecordFoundAndRestored) {
    SimProcess sim(SimArgs({"--refuse-record", "3"}));  // data bytes 128..255
    RecordingFrontend ui;
    EXPECT_FALSE(Update(sim, ui));
    EXPECT_NE(std::find(ui.log.begin(), ui.log.end(),
                        "Без подтверждения устройства осталось записей: 1. Устройство нужно "
                        "проверить: прочитайте его и сравните с записанным."),
              ui.log.end())
        << ::testing::PrintToString(ui.log);
    sim.PowerCycle();
    ASSERT_NE(sim.DataFlash(), calibration_);
    const fs::path backup = OnlyBackup();
    EXPECT_EQ(ReadWholeFile(backup), calibration_);

    const CliResult check = Cli(sim, {"verify", "--against", backup.string(), "--wait", "5"});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    const long holes = std::count_if(calibration_.begin() + 128, calibration_.begin() + 256,
                                     [](std::uint8_t b) { return b != 0xFF; });
    EXPECT_TRUE(Has(check.out, "первое различие по смещению 128 (0080h), различных байт " +
                                   std::to_string(holes) + " из 512"))
        << check.out;
    const auto lines = check.OutLines();
    ASSERT_FALSE(lines.empty());
    const std::string prefix = "Восстановление: zentor-cli ";
    ASSERT_EQ(lines.back().rfind(prefix, 0), 0u) << check.out;

    std::istringstream words(lines.back().substr(prefix.size()));
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w);
    const CliResult restore = RunCli(args);
    EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
    EXPECT_TRUE(Has(restore.out, "Восстановление DATA FLASH - Ok")) << restore.out;
    EXPECT_EQ(sim.DataFlash(), calibration_);
}

// The quick refusals and the round trip of a forced restore.
TEST_F(CloseLoop, VerifyAndRestoreRefusals) {
    const std::string other = (dir_ / "14v071511_20261210-101010_data.bin").string();
    const std::string own = (dir_ / "14v071510_20261210-101010_data.bin").string();
    ASSERT_TRUE(WriteFileAtomic(other, Pattern(512, 9)));
    ASSERT_TRUE(WriteFileAtomic(own, calibration_));
    const struct {
        const char* name;
        std::vector<std::string> sim;
        std::vector<std::string> cli;
        int status;
        std::string out;  // expected in stdout + stderr
        bool written;     // DATA FLASH starts with Pattern(512, 9) afterwards
        double maxSeconds;
    } cases[] = {
        {"nobody answers",
         {"--no-answer"},
         {"verify", "--against", own, "--wait", "2"},
         1,
         "устройство не ответило за 2 с",
         false,
         4.5},
        {"another serial answers",
         {},
         {"verify", "--against", other, "--wait", "2"},
         1,
         "ответило устройство s/n 14v071510, а не 14v071511",
         false,
         3},
        {"restore of another serial",
         {},
         {"restore", other},
         1,
         "--force: записать всё равно",
         false,
         3},
        {"instrument in its boot ROM",
         {"--jumper"},
         {"restore", own},
         1,
         "update --data-from " + fs::path(own).generic_string(),
         false,
         3},
        {"forced restore",
         {},
         {"restore", other, "--force"},
         0,
         "Восстановление DATA FLASH - Ok",
         true,
         10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimProcess sim(SimArgs(c.sim));
        const auto start = std::chrono::steady_clock::now();
        const CliResult r = Cli(sim, c.cli);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_TRUE(Has(r.out + r.err, c.out)) << r.out << r.err;
        EXPECT_LT(seconds, c.maxSeconds);
        const Bytes flash = sim.DataFlash();
        const Bytes written = Pattern(512, 9);
        EXPECT_EQ(std::equal(written.begin(), written.end(), flash.begin()), c.written);
    }
}

}  // namespace
}  // namespace zentor::test

// The chain of runs after a failed keep update, through zentor-cli: a confirmed
// write of the instrument closes it, so a backup of last month never overwrites
// this week's calibration; a stop during the first erase spares the second; an
// instrument in its boot ROM with nothing erased on this port is told to be
// switched off and on, and the latest backup of the port is named.
#include "update_safety.h"

namespace zentor::test {
namespace {

// Exit 4 (records unanswered, backup A), recalibration with write-data (B, read
// back by the instrument's own store status), then a keep update: it reads B and
// writes B, exit 0, never A.
TEST_F(UpdateSafety, WriteDataAfterAFailedUpdateClosesItsChain) {
    SimProcess sim(SimArgs(calibration_, "a", {"--silent-after-record", "10"}));
    const CliResult failed = RunCli(Update(sim, {}));
    ASSERT_EQ(failed.status, 4) << failed.out << failed.err;
    sim.PowerCycle();
    ASSERT_EQ(sim.Mode(), "firmware");
    ASSERT_NE(sim.DataFlash(), calibration_);

    // data.bin is the new calibration B.
    const CliResult recal =
        RunCli({"--config", (dir_ / "z.ini").string(), "write-data", "--yes", "--port",
                sim.DevicePath(), "--baud", kBaud, "--dir", dir_.string()});
    ASSERT_EQ(recal.status, 0) << recal.out << recal.err;
    ASSERT_EQ(sim.DataFlash(), factory_);
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].record.serial, "14v071510") << "write-data notes the instrument";

    const CliResult next = RunCli(Update(sim, {}));
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    EXPECT_FALSE(Contains(next.out, "Прежнее обновление прибора")) << next.out;
    EXPECT_FALSE(Contains(next.out, "Вместо нового чтения")) << next.out;
    sim.PowerCycle();
    EXPECT_EQ(sim.DataFlash(), factory_);
}

// Without write-data the re-run stops before Prog: the reading differs from the
// failed run's backup, and both commands are printed; --use-reading writes the
// reading.
TEST_F(UpdateSafety, UseReadingWritesTheReadingAfterARefusal) {
    SimProcess sim(SimArgs(calibration_, "a", {"--silent-after-record", "10"}));
    ASSERT_EQ(RunCli(Update(sim, {})).status, 4);
    sim.PowerCycle();
    const Bytes partial = sim.DataFlash();
    const CliResult refused = RunCli(Update(sim, {}));
    EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
    const std::string command = PrintedCommand(refused.OutLines(), "--use-reading");
    ASSERT_FALSE(command.empty()) << refused.out;
    const CliResult taken =
        RunCli(ArgsOf(command, dir_ / "z.ini", sim.DevicePath(), sim.DevicePath()));
    EXPECT_EQ(taken.status, 0) << taken.out << taken.err;
    sim.PowerCycle();
    EXPECT_EQ(sim.DataFlash(), partial);
}

// Ctrl-C (no terminal) while FLASH1 is erased: the run stops before the second
// erase is sent.
TEST_F(UpdateSafety, AStopDuringTheFirstEraseSparesTheSecond) {
    SimProcess sim(SimArgs(calibration_, "a"));
    const CliResult r =
        RunCli(Update(sim, {}), When(Rx("a"), "M0000", [](pid_t pid) { ::kill(pid, SIGINT); }));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Запись прервана по адресу 8000h")) << r.out;
    EXPECT_FALSE(Contains(Received("a"), "M8000")) << "the second erase was sent";
}

// Killed after Prog and run again before any power cycle: nothing was erased on
// this port, so the refusal says first that a power cycle brings the instrument
// back, and names the backup made seconds earlier with its exact command.
TEST_F(UpdateSafety, InstrumentInItsBootRomWithNothingErasedOnThisPort) {
    SimProcess sim(SimArgs(calibration_, "a"));
    const CliResult killed =
        RunCli(Update(sim, {}), When(Rx("a"), "\r", [&sim](pid_t pid) {
                   // The boot ROM's first exchange: Prog and the restart went out.
                   const auto end = std::chrono::steady_clock::now() + 30s;
                   while (std::chrono::steady_clock::now() < end && sim.Mode() != "bootrom")
                       std::this_thread::sleep_for(50ms);
                   ::kill(pid, SIGKILL);
               }));
    ASSERT_EQ(killed.status, 128 + SIGKILL);
    ASSERT_EQ(Backups().size(), 1u);
    const CliResult refused = RunCli(Update(sim, {}));
    EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
    const auto lines = refused.OutLines();
    std::size_t cycle = lines.size(), named = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (Contains(lines[i], "Стирание на этом порту в журнале не записано")) cycle = i;
        if (Contains(lines[i], "--data-from " + Backups()[0].string())) named = i;
    }
    EXPECT_LT(cycle, lines.size()) << refused.out;
    EXPECT_LT(named, lines.size()) << refused.out;
    EXPECT_LT(cycle, named) << "the power cycle is said first";
    EXPECT_EQ(sim.DataFlash(), calibration_);
}

}  // namespace
}  // namespace zentor::test

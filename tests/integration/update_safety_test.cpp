// Keep-mode updates through zentor-cli that the field gets wrong: an instrument
// in its boot ROM, another instrument than expected, two runs in one folder, a
// run killed or cut off after the erase and the re-run that follows, Ctrl-C.
// Simulator paced at the bit rate, real time.
#include "update_safety.h"

namespace zentor::test {
namespace {

// An instrument waiting in its boot ROM does not identify; --yes alone must not
// turn keep mode into a factory reflash. The user is told why and what to do.
TEST_F(UpdateSafety, KeepModeRefusesAnInstrumentInItsBootRom) {
    SimProcess sim(SimArgs(calibration_, "a", {"--jumper"}));
    const Bytes before = sim.Flash();
    const CliResult r = RunCli(Update(sim, {}));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "вместо калибровки устройства - обновление отменено")) << r.out;
    EXPECT_TRUE(Contains(r.out, "--jumper")) << r.out;
    EXPECT_TRUE(Contains(r.out, "--data-from")) << r.out;
    EXPECT_EQ(Received("a"), kIdentification);
    EXPECT_EQ(sim.Flash(), before);
    EXPECT_EQ(sim.DataFlash(), calibration_);
}

// Another instrument than the one named: refused after the identification, with
// the one found on standard output.
TEST_F(UpdateSafety, ExpectSerialRefusesAnotherInstrument) {
    SimProcess sim(SimArgs(calibration_, "a"));
    const CliResult r = RunCli(Update(sim, {"--expect-serial", "14v071511"}));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const auto lines = r.OutLines();
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0], "Устройство: Velmar 7  s/n: 14v071510.");
    EXPECT_EQ(lines[1],
              "Подключено устройство s/n: 14v071510, ожидалось 14v071511 - обновление отменено");
    EXPECT_EQ(Received("a"), kIdentification);
    EXPECT_EQ(sim.Mode(), "firmware");
    EXPECT_FALSE(fs::exists(dir_ / "backup"));
}

// Two keep-mode updates in one folder, half a second apart, on two instruments:
// the second is refused before it sends anything, and no calibration moves.
TEST_F(UpdateSafety, TwoUpdatesInOneFolder) {
    const Bytes otherCal = Pattern(kDataSize, 9);
    SimProcess a(SimArgs(calibration_, "a"));
    SimProcess b(SimArgs(otherCal, "b", {"--identity", "14,7,15,11"}));
    CliResult ra, rb;
    std::thread first([&] { ra = RunCli(Update(a, {})); });
    std::this_thread::sleep_for(500ms);
    rb = RunCli(Update(b, {}));
    first.join();
    EXPECT_EQ(ra.status, 0) << ra.out << ra.err;
    EXPECT_EQ(rb.status, 1) << rb.out << rb.err;
    EXPECT_TRUE(Contains(rb.out, "занята")) << rb.out;
    EXPECT_TRUE(Received("b").empty());
    a.PowerCycle();
    EXPECT_EQ(a.DataFlash(), calibration_);
    EXPECT_EQ(b.DataFlash(), otherCal);
    EXPECT_EQ(b.Mode(), "firmware");
}

// A run killed after the erase leaves a start line and no end line. The chip has
// no program: after power-up it is dead, the next run refuses it and prints the
// command that writes the killed run's backup; run with the jumper closed, that
// command brings the calibration back byte for byte.
TEST_F(UpdateSafety, KilledRunsBackupComesBackThroughTheJumper) {
    SimProcess sim(SimArgs(calibration_, "a"));
    const CliResult killed =
        RunCli(Update(sim, {}), When(Rx("a"), "M8000", [](pid_t pid) { ::kill(pid, SIGKILL); }));
    EXPECT_EQ(killed.status, 128 + SIGKILL);
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].finished);
    EXPECT_TRUE(runs[0].reachedErase);
    const auto backups = Backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(ReadWholeFile(backups[0]), calibration_);

    sim.PowerCycle();
    ASSERT_EQ(sim.Mode(), "dead");
    const CliResult refused = RunCli(Update(sim, {}));
    EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
    std::string command;
    for (const auto& line : refused.OutLines())
        if (Contains(line, " update --mode keep ") && Contains(line, "--data-from")) command = line;
    ASSERT_FALSE(command.empty()) << refused.out;
    EXPECT_TRUE(Contains(command, backups[0].string())) << command;

    // The technician closes the jumper on the same board and runs the printed command.
    const fs::path flash = scratch_.path() / "flash.bin";
    ASSERT_TRUE(WriteFileAtomic(flash, sim.Flash()));
    SimProcess jumpered({"--baud", kBaud, "--data-flash-size", std::to_string(kDataSize),
                         "--code-file", flash.string(), "--jumper"});
    const auto args = ArgsOf(command, dir_ / "z.ini", sim.DevicePath(), jumpered.DevicePath());
    const CliResult restored = RunCli(args);
    EXPECT_EQ(restored.status, 0) << restored.out << restored.err;
    EXPECT_EQ(jumpered.DataFlash(), calibration_);
    EXPECT_TRUE(std::equal(program_.begin(), program_.end(), jumpered.Flash().begin()));
}

// The re-run after a bad end: the journal holds that run's failure and the new
// reading (partial) differs from its backup, so the run stops before Prog and
// names both choices; the --data-from one writes that backup back.
void ExpectReRunRefusedThenBackup(SimProcess& sim, const std::vector<std::string>& args,
                                  const fs::path& config, const Bytes& calibration,
                                  std::vector<std::string> extra = {},
                                  std::function<void(pid_t)> whileRunning = {}) {
    const CliResult rerun = RunCli(args);
    EXPECT_EQ(rerun.status, 1) << rerun.out << rerun.err;
    EXPECT_TRUE(Contains(rerun.out, "Новое чтение отличается от неё: байт ")) << rerun.out;
    EXPECT_EQ(sim.Mode(), "firmware") << "nothing sent after the reading";
    const std::string useReading = PrintedCommand(rerun.OutLines(), "--use-reading");
    const std::string fromBackup = PrintedCommand(rerun.OutLines(), "--data-from");
    ASSERT_FALSE(useReading.empty()) << rerun.out;
    ASSERT_FALSE(fromBackup.empty()) << rerun.out;
    const CliResult restored =
        RunCli(ArgsOf(fromBackup, config, sim.DevicePath(), sim.DevicePath(), extra), whileRunning);
    EXPECT_EQ(restored.status, 0) << restored.out << restored.err;
    sim.PowerCycle();
    EXPECT_EQ(sim.Mode(), "firmware");
    EXPECT_EQ(sim.DataFlash(), calibration);
}

// The line goes silent during the DATA FLASH records (a power loss) with
// ControlWrite off: the run goes on to its end as it always did, but says how
// many records went unconfirmed and exits 4, never 0.
TEST_F(UpdateSafety, SilentLineDuringTheRecordsIsNotSuccess) {
    // 8 program records, then 4 DATA FLASH records and the configuration record.
    SimProcess sim(SimArgs(calibration_, "a", {"--silent-after-record", "10"}));
    const CliResult first = RunCli(Update(sim, {}));
    EXPECT_EQ(first.status, 4) << first.out << first.err;
    EXPECT_TRUE(Contains(first.out, "Без подтверждения устройства осталось записей: 3."))
        << first.out;
    const auto lines = first.OutLines();
    ASSERT_FALSE(lines.empty());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), kPowerCycle) << first.out;
    EXPECT_EQ(lines[lines.size() - 3].rfind("Резервная копия DATA FLASH: backup/14v071510_", 0), 0u)
        << first.out;
    auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].record.result, RunResult::Unconfirmed);
    EXPECT_EQ(runs[0].record.unconfirmed, 3);
    EXPECT_EQ(runs[0].record.phase, RunPhase::Done);

    sim.PowerCycle();
    ASSERT_EQ(sim.Mode(), "firmware");
    ASSERT_NE(sim.DataFlash(), calibration_) << "the last two records never landed";
    ASSERT_EQ(sim.Hcr0(), "FF") << "the configuration record never landed";

    // The re-run reads the partial DATA FLASH, which differs from the first run's
    // backup: refused with both commands. The backup's command writes it and
    // checks it after power-up against that backup, not against a data_rd.bin it
    // never read (here one that a read of another instrument left meanwhile).
    ASSERT_TRUE(WriteFileAtomic(dir_ / "data_rd.bin", Pattern(kDataSize, 7)));
    bool cycled = false;
    ExpectReRunRefusedThenBackup(
        sim, Update(sim, {}), dir_ / "z.ini", calibration_, {"--verify=30"}, [&](pid_t) {
            const auto end = std::chrono::steady_clock::now() + 60s;
            while (std::chrono::steady_clock::now() < end && sim.Hcr0() != "7D")
                std::this_thread::sleep_for(250ms);
            std::this_thread::sleep_for(300ms);
            sim.PowerCycle();
            cycled = true;
        });
    EXPECT_TRUE(cycled);
    EXPECT_EQ(Backups().size(), 2u) << "the first reading and the partial one, each once";
    // The verified write closed the failure: the next update reads and keeps.
    const CliResult next = RunCli(Update(sim, {}));
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    EXPECT_FALSE(Contains(next.out, "Прежнее обновление прибора")) << next.out;
}

// Without a terminal the first Ctrl-C during the records stops the write at the
// next record boundary: the tool is not killed, the journal says interrupted,
// the backup is named last, and the re-run writes that backup.
TEST_F(UpdateSafety, CtrlCDuringTheRecordsStopsAtARecordBoundary) {
    SimProcess sim(SimArgs(calibration_, "a"));
    const CliResult r = RunCli(
        Update(sim, {}), When(Rx("a"), kFirstDataRecord, [](pid_t pid) { ::kill(pid, SIGINT); }));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Запись прервана по адресу ")) << r.out;
    EXPECT_TRUE(Contains(r.out, " - устройство записано не полностью")) << r.out;
    const auto lines = r.OutLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), kPowerCycle) << r.out;
    EXPECT_EQ(lines[lines.size() - 3].rfind("Резервная копия DATA FLASH: backup/14v071510_", 0), 0u)
        << r.out;
    EXPECT_FALSE(Contains(Received("a"), ":02807E00")) << "no configuration record after the stop";
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].finished);
    EXPECT_TRUE(runs[0].reachedErase);
    EXPECT_EQ(runs[0].record.result, RunResult::Interrupted);
    EXPECT_EQ(runs[0].record.phase, RunPhase::Data);

    sim.PowerCycle();
    ASSERT_EQ(sim.Mode(), "firmware");
    ExpectReRunRefusedThenBackup(sim, Update(sim, {}), dir_ / "z.ini", calibration_);
    EXPECT_EQ(Backups().size(), 2u);
}

}  // namespace
}  // namespace zentor::test

// update --loop: the loop waits for a device, runs, verifies it after its power
// cycle, says PASS with the counts, and a Ctrl-C that comes while a device is
// being written ends the loop only after that device's run and verification:
// both finish, are journaled as done, and the calibration is kept.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

constexpr int kDataSize = 1024;

TEST(NextDevice, CtrlCDuringAWriteEndsTheLoopAfterThatDevice) {
    const ScratchDir dir("loop");
    const Bytes program = Pattern(6000, 3);
    Bytes scrambled = program;
    ScrambleImage(scrambled);
    ASSERT_TRUE(WriteFileAtomic(dir / "prog_c.bin", scrambled));
    const Bytes calibration = Pattern(kDataSize, 9);
    ASSERT_TRUE(WriteFileAtomic(dir / "cal.bin", calibration));
    Settings st;
    st.BaudRate = SimProcess::kDefaultBaud;
    st.DopPause = 0;
    st.SizeData = kDataSize;
    st.MaxKolReadings = 1;
    st.HCR0Value = "6D";
    st.HCR1Value = "A3";
    WriteConfig(dir / "z.ini", st);
    SimProcess sim({"--data-flash-size", std::to_string(kDataSize), "--data-file",
                    (dir / "cal.bin").string(), "--identity", "14,7,15,10"});

    bool signalled = false, cycled = false;
    const CliResult r = RunCli(
        {"--json", "--config", (dir / "z.ini").string(), "--dir", dir.path().string(), "update",
         "--mode", "keep", "--yes", "--loop", "--port", sim.DevicePath()},
        [&](pid_t pid) {
            // Ctrl-C once the chip is being erased or written.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!signalled && std::chrono::steady_clock::now() < deadline) {
                const auto lines = ReadJournal(dir / "journal.csv");
                if (lines && std::any_of(lines->begin(), lines->end(), [](const JournalLine& l) {
                        return l.event == JournalEvent::Erase;
                    }))
                    signalled = ::kill(pid, SIGINT) == 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            // The run goes on to its configuration record; then the power cycle
            // the verification waits for.
            deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (std::chrono::steady_clock::now() < deadline && sim.Hcr0() != "6D")
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sim.PowerCycle();
            cycled = true;
        },
        std::chrono::seconds(120));
    ASSERT_TRUE(signalled) << r.err;
    ASSERT_TRUE(cycled) << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("PASS (годных: 1, брак: 0)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Устройств: 1, годных: 1, брак: 0"), std::string::npos) << r.err;
    // Ended between devices: no wait for a next one after the pass.
    EXPECT_EQ(r.err.find("Отключите устройство"), std::string::npos) << r.err;

    const auto journal = ReadJournal(dir / "journal.csv");
    ASSERT_TRUE(journal.has_value());
    // The pass is the verification's: the DATA FLASH read back after the power cycle.
    EXPECT_NE(r.err.find("Проверка DATA FLASH - Ok"), std::string::npos) << r.err;
    const auto runs = MergeRuns(*journal);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].record.command, "update");
    EXPECT_EQ(runs[0].record.result, RunResult::Ok);
    EXPECT_EQ(runs[1].record.command, "verify");
    EXPECT_EQ(runs[1].record.result, RunResult::Ok);
    // Each run says its end as an event.
    for (const char* command : {"update", "verify"}) {
        const std::string end = "\"event\":\"end\",\"command\":\"" + std::string(command) + "\"";
        EXPECT_NE(r.out.find(end), std::string::npos) << command << "\n" << r.out;
    }
    sim.PowerCycle();
    EXPECT_EQ(sim.DataFlash(), calibration);
    const Bytes flash = sim.Flash();
    ASSERT_GE(flash.size(), program.size());
    EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin()));
}

// program --loop --ports: a loop on each port at once. Each chip waiting in its
// boot ROM is programmed and passes on its own port; Ctrl-C while both wait for
// their chips to be taken away ends both loops, and the summary counts each.
TEST(NextDevice, ALoopOnEveryPortAtOnce) {
    const ScratchDir dir("loop-ports");
    const Bytes program = Pattern(2048, 4);
    ASSERT_TRUE(WriteFileAtomic(dir / "prog.bin", program));
    ASSERT_TRUE(WriteFileAtomic(dir / "data.bin", Pattern(256, 5)));
    Settings st;
    st.BaudRate = SimProcess::kDefaultBaud;
    st.DopPause = 0;
    st.TypeController = 4;
    WriteConfig(dir / "z.ini", st);
    SimProcess a({"--jumper", "--data-flash-size", "256"});
    SimProcess b({"--jumper", "--data-flash-size", "256"});

    bool signalled = false;
    const CliResult r = RunCli(
        {"--config", (dir / "z.ini").string(), "--dir", dir.path().string(), "program", "--yes",
         "--loop", "--ports", a.DevicePath() + "," + b.DevicePath()},
        [&](pid_t pid) {
            // Both chips programmed: the loops now wait for them to go.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!signalled && std::chrono::steady_clock::now() < deadline) {
                const auto lines = ReadJournal(dir / "journal.csv");
                if (lines) {
                    const auto runs = MergeRuns(*lines);
                    if (runs.size() == 2 && std::all_of(runs.begin(), runs.end(), [](auto& run) {
                            return run.record.result == RunResult::Ok;
                        })) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(300));
                        signalled = ::kill(pid, SIGINT) == 0;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        },
        std::chrono::seconds(90));
    ASSERT_TRUE(signalled) << r.out << r.err;
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (SimProcess* sim : {&a, &b}) {
        const std::string port = sim->DevicePath();
        EXPECT_NE(r.out.find("[" + port + "] PASS (годных: 1, брак: 0)"), std::string::npos)
            << port << "\n"
            << r.out;
        const Bytes flash = sim->Flash();
        ASSERT_GE(flash.size(), program.size());
        EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin()));
    }
    // The summary: one row per port with its count.
    std::size_t counted = 0;
    for (std::size_t at = 0;
         (at = r.out.find("Устройств: 1, годных: 1, брак: 0", at)) != std::string::npos; ++at)
        ++counted;
    EXPECT_GE(counted, 2u) << r.out;
}

}  // namespace
}  // namespace zentor::test

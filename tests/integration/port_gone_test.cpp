// A pulled adapter in the middle of a command: the simulator closes its side of
// the line, as a USB adapter that is pulled does. Every command ends at once
// with a failure that names the port and the phase; a journaled one says so in
// its end line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

TEST(PortGone, EveryCommandEndsNamingThePortAndThePhase) {
    const struct {
        const char* command;
        std::vector<std::string> simArgs;
        const char* phase;
        bool journaled;
    } cases[] = {
        {"read-data", {"--die-after", "20"}, "связь с устройством", false},
        {"write-data", {"--die-after", "20"}, "связь с устройством", true},
        {"program", {"--jumper", "--die-after-record", "5"}, "запись CODE FLASH", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const ScratchDir dir("port-gone");
        Settings st;
        st.BaudRate = 38400;
        st.DopPause = 0;
        st.MaxKolReadings = 1;
        WriteConfig(dir / "z.ini", st);
        ASSERT_TRUE(WriteFileAtomic(dir / "prog.bin", Pattern(4096, 1)));
        ASSERT_TRUE(WriteFileAtomic(dir / "data.bin", Pattern(2048, 2)));
        std::vector<std::string> simArgs = c.simArgs;
        simArgs.insert(simArgs.end(), {"--baud", "38400"});
        SimProcess sim(simArgs);
        const auto started = std::chrono::steady_clock::now();
        const CliResult r =
            RunCli({"--json", c.command, "--config", (dir / "z.ini").string(), "--port",
                    sim.DevicePath(), "--dir", dir.path().string(), "--yes"},
                   {}, std::chrono::seconds(60));
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        const std::string line = "Порт " + sim.DevicePath() + " пропал (" + c.phase +
                                 "): адаптер отключён или неисправен";
        EXPECT_NE((r.out + r.err).find(line), std::string::npos) << r.out << r.err;
        EXPECT_LT(took, std::chrono::seconds(15));  // the whole command, not a chain of waits
        const auto lines = ReadJournal(dir / "journal.csv");
        if (!c.journaled) {
            EXPECT_FALSE(fs::exists(dir / "journal.csv"));
            continue;
        }
        ASSERT_TRUE(lines.has_value());
        const auto runs = MergeRuns(*lines);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].record.result, RunResult::Failed);
        EXPECT_EQ(runs[0].record.note, std::string("порт пропал: ") + c.phase);
        // The run's end event names the kind, as the journal's note names the phase.
        EXPECT_NE(r.out.find("\"link_error\":\"port-gone\""), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace zentor::test

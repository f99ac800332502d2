// update --ports: three instruments in one process, each keeping its own
// calibration, with one port that does not exist among them; the status is the
// worst port's and the summary names each port.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"
#include "support/sim_settings.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

constexpr int kDataSize = 1024;

struct Instrument {
    std::string identity;
    std::string serial;
    Bytes calibration;
    std::unique_ptr<SimProcess> sim;
};

class ManyPorts : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = Pattern(6000, 1);
        Bytes scrambled = program_;
        ScrambleImage(scrambled);
        ASSERT_TRUE(WriteFileAtomic(root() / "prog_c.bin", scrambled));
        const Settings st = PacedSimSettings(kDataSize);
        WriteConfig(root() / "z.ini", st);
    }
    const fs::path& root() const { return scratch_.path(); }

    // Port folders holding a backup of `serial`; each must hold nothing of another's.
    int BackupsOf(const std::string& serial) const {
        int folders = 0;
        for (const auto& port : fs::directory_iterator(root() / "ports")) {
            bool mine = false, other = false;
            if (!fs::exists(port.path() / "backup")) continue;
            for (const auto& b : fs::directory_iterator(port.path() / "backup"))
                (b.path().filename().string().rfind(serial + "_", 0) == 0 ? mine : other) = true;
            if (mine) ++folders;
            EXPECT_FALSE(mine && other) << port.path();
        }
        return folders;
    }

    void AddInstrument(const std::string& identity, const std::string& serial, unsigned seed) {
        Instrument in{identity, serial, Pattern(kDataSize, seed), nullptr};
        const fs::path cal = root() / ("cal" + std::to_string(seed) + ".bin");
        const fs::path old = root() / ("old" + std::to_string(seed) + ".bin");
        ASSERT_TRUE(WriteFileAtomic(cal, in.calibration));
        ASSERT_TRUE(WriteFileAtomic(old, Pattern(4096, seed + 50)));
        in.sim = std::make_unique<SimProcess>(std::vector<std::string>{
            "--data-flash-size", std::to_string(kDataSize), "--code-file", old.string(),
            "--data-file", cal.string(), "--identity", identity});
        instruments_.push_back(std::move(in));
    }

    CliResult Update(const std::string& ports) {
        return RunCli({"--config", (root() / "z.ini").string(), "--dir", root().string(), "update",
                       "--mode", "keep", "--yes", "--ports", ports},
                      {}, std::chrono::seconds(120));
    }

    ScratchDir scratch_{"ports"};
    Bytes program_;
    std::vector<Instrument> instruments_;
};

TEST_F(ManyPorts, EachInstrumentKeepsItsOwnCalibration) {
    AddInstrument("14,7,15,10", "14v071510", 11);
    AddInstrument("5,120,3,200", "05v12003200", 12);
    AddInstrument("14,7,16,1", "14v071601", 13);
    std::string list;
    for (const auto& in : instruments_) list += (list.empty() ? "" : ",") + in.sim->DevicePath();
    const CliResult r = Update(list);
    EXPECT_EQ(r.status, 0) << r.out << r.err;

    const auto journal = ReadJournal(root() / "journal.csv");
    ASSERT_TRUE(journal.has_value());
    const std::vector<JournalRun> runs = MergeRuns(*journal);
    ASSERT_EQ(runs.size(), instruments_.size());
    for (const Instrument& in : instruments_) {
        SCOPED_TRACE(in.serial);
        const auto run = std::find_if(runs.begin(), runs.end(), [&](const JournalRun& j) {
            return j.record.port == in.sim->DevicePath();
        });
        ASSERT_NE(run, runs.end());
        EXPECT_EQ(run->record.result, RunResult::Ok);
        EXPECT_EQ(run->record.serial, in.serial);
        // The instrument ends with the new program and its own calibration.
        in.sim->PowerCycle();
        const Bytes code = in.sim->Flash();
        ASSERT_GE(code.size(), program_.size());
        EXPECT_TRUE(std::equal(program_.begin(), program_.end(), code.begin()));
        EXPECT_EQ(in.sim->DataFlash(), in.calibration);
        // Its backup is in a port folder of its own, and the summary names it.
        EXPECT_EQ(BackupsOf(in.serial), 1) << in.serial;
        EXPECT_NE(r.out.find(in.serial), std::string::npos) << r.out;
    }
    // Piped output: every log line carries its port.
    for (const std::string& line : r.OutLines()) {
        if (line.empty() || line.rfind("port ", 0) == 0) continue;
        const bool summaryRow =
            std::any_of(instruments_.begin(), instruments_.end(),
                        [&](auto& in) { return line.rfind(in.sim->DevicePath(), 0) == 0; });
        EXPECT_TRUE(line.rfind("[", 0) == 0 || summaryRow) << line;
    }
}

TEST_F(ManyPorts, ASilentPortFailsAloneAndIsNamed) {
    AddInstrument("14,7,15,10", "14v071510", 21);
    const std::string missing = (root() / "no-such-port").string();
    const CliResult r = Update(instruments_[0].sim->DevicePath() + "," + missing);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.status, 2);
    instruments_[0].sim->PowerCycle();
    EXPECT_EQ(instruments_[0].sim->DataFlash(), instruments_[0].calibration);
    const Bytes code = instruments_[0].sim->Flash();
    ASSERT_GE(code.size(), program_.size());
    EXPECT_TRUE(std::equal(program_.begin(), program_.end(), code.begin()));
    // The summary row of the missing port says it failed.
    bool named = false;
    for (const std::string& line : r.OutLines())
        if (line.rfind(missing, 0) == 0) named = line.find("failed") != std::string::npos;
    EXPECT_TRUE(named) << r.out;
}

// --ports and --loop where they mean nothing: a usage error, no folder made.
TEST(ManyRunsUsage, RefusedWhereItMeansNothing) {
    const ScratchDir dir("ports-usage");
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"read-data", "--ports", "COM3,COM4"}, "--ports: only for"},
        {{"update", "--ports", "COM3", "--port", "COM4"}, "one or the other"},
        {{"program", "--ports", " , "}, "no port named"},
        {{"read-data", "--loop"}, "--loop: only for update and program"},
        {{"update", "--loop", "--ports", "auto"}, "--loop: name the ports"},
        {{"write-data", "--loop", "--ports", "COM3,COM4"}, "--ports: only for update"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> args = {"--dir", dir.path().string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.path() / "ports"));
    }
}

}  // namespace
}  // namespace zentor::test

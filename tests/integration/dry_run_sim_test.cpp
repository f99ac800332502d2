// The two dry runs of zentor-cli against the simulated instrument: the plan is
// printed, and the instrument's CODE FLASH, DATA FLASH and mode are as before.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kDataSize = 2048;

class DryRunOnSim : public ::testing::Test {
protected:
    void SetUp() override {
        Bytes scrambled = Pattern(8192, 1);
        ScrambleImage(scrambled);
        ASSERT_TRUE(WriteFileAtomic(dir_ / "prog_c.bin", scrambled));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "prog.bin", Pattern(8192, 1)));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", Pattern(kDataSize, 3)));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "old.bin", oldProgram_));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "cal.bin", calibration_));
        Settings st;
        st.BaudRate = SimProcess::kDefaultBaud;
        st.DopPause = 0;
        st.TypeController = 4;
        st.SizeData = kDataSize;
        WriteConfig(dir_ / "z.ini", st);
    }

    std::vector<std::string> SimArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args{"--code-file", (dir_ / "old.bin").string(), "--data-file",
                                      (dir_ / "cal.bin").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    CliResult Run(const SimProcess& sim, std::vector<std::string> command) const {
        std::vector<std::string> args{"--config", (dir_ / "z.ini").string(),
                                      "--port",   sim.DevicePath(),
                                      "--dir",    dir_.string()};
        args.insert(args.end(), command.begin(), command.end());
        return RunCli(args);
    }

    // Nothing the instrument-changing runs leave: reading, backups, journal.
    void ExpectNoRunFiles() const {
        EXPECT_FALSE(ExistsNoCase(dir_, "data_rd.bin"));
        EXPECT_FALSE(fs::exists(dir_ / "backup"));
        EXPECT_FALSE(fs::exists(dir_ / "journal.csv"));
    }

    const ScratchDir scratch_{"dry-it"};
    const fs::path dir_ = scratch_.path();
    const Bytes oldProgram_ = Pattern(6144, 2);
    const Bytes calibration_ = Pattern(kDataSize, 4);
};

TEST_F(DryRunOnSim, UpdateLeavesTheInstrumentRunningAsItWas) {
    for (const char* mode : {"keep", "factory"}) {
        SCOPED_TRACE(mode);
        SimProcess sim(SimArgs({}));
        const Bytes flash = sim.Flash();
        const std::string hcr1 = sim.Hcr1();
        const CliResult r = Run(sim, {"update", "--dry-run", "--mode", mode, "--yes"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.OutLines().back(),
                  "Пробный запуск: кроме опознания, устройству ничего не отправлено")
            << r.out;
        EXPECT_EQ(r.err.find("Произвести прошивку?"), std::string::npos) << r.err;
        // No Prog, restart, jumper, erase or write: still the old firmware.
        EXPECT_EQ(sim.Mode(), "firmware");
        EXPECT_EQ(sim.Flash(), flash);
        EXPECT_EQ(sim.DataFlash(), calibration_);
        EXPECT_EQ(sim.Hcr1(), hcr1);
        ExpectNoRunFiles();
    }
}

// A chip waiting in its boot ROM is not even asked for its banner: the next
// real run finds it as it was and writes it.
TEST_F(DryRunOnSim, ProgramLeavesTheBootRomWaiting) {
    SimProcess sim(SimArgs({"--jumper"}));
    const Bytes flash = sim.Flash();
    const CliResult r = Run(sim, {"program", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.OutLines().back(),
              "Пробный запуск: порт не открывался, устройству ничего не отправлено");
    EXPECT_EQ(r.err, "") << "no question";
    EXPECT_EQ(sim.Mode(), "bootrom");
    EXPECT_EQ(sim.Flash(), flash);
    EXPECT_EQ(sim.DataFlash(), calibration_);
    ExpectNoRunFiles();

    const CliResult real = Run(sim, {"program", "--yes"});
    EXPECT_EQ(real.status, 0) << real.out << real.err;
    const Bytes written = sim.Flash();
    const Bytes program = Pattern(8192, 1);
    EXPECT_TRUE(std::equal(program.begin(), program.end(), written.begin()));
}

}  // namespace
}  // namespace zentor::test

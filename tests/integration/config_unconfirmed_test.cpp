// The configuration record (HCR0/HCR1) that got no answer: the update says so
// and names the run that writes it again; verify says what it does not compare
// and passes on the DATA FLASH alone; the re-run of the update writes HCR0/HCR1.
// Simulator paced at the bit rate, real time.
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

constexpr int kDataSize = 512;
constexpr const char* kBaud = "115200";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ConfigUnconfirmed, AdviceNamesTheRunThatWritesItAgain) {
    const ScratchDir scratch("cfg-unconf");
    const fs::path dir = scratch.path();
    const Bytes program = Pattern(1024, 1);  // 8 records, then 4 DATA FLASH records
    const Bytes calibration = Pattern(kDataSize, 4);
    Bytes scrambled = program;
    ScrambleImage(scrambled);
    ASSERT_TRUE(WriteFileAtomic(dir / "prog_c.bin", scrambled));
    ASSERT_TRUE(WriteFileAtomic(dir / "old.bin", Pattern(2048, 2)));
    ASSERT_TRUE(WriteFileAtomic(dir / "cal.bin", calibration));
    Settings st;
    st.TypeController = 4;
    st.DopPause = 0;
    st.SizeData = kDataSize;
    st.MaxKolReadings = 2;
    WriteConfig(dir / "z.ini", st);

    // Silent from the 13th record on: only the configuration record goes unanswered.
    SimProcess sim({"--baud", kBaud, "--data-flash-size", std::to_string(kDataSize), "--code-file",
                    (dir / "old.bin").string(), "--data-file", (dir / "cal.bin").string(), "--hcr0",
                    "7C", "--silent-after-record", "12"});
    const std::vector<std::string> connection{
        "--config",  (dir / "z.ini").string(), "--port", sim.DevicePath(), "--baud", kBaud, "--dir",
        dir.string()};
    auto command = [&](std::vector<std::string> args) {
        args.insert(args.begin(), connection.begin(), connection.end());
        return args;
    };

    const CliResult update = RunCli(command({"update", "--mode", "keep", "--yes"}));
    EXPECT_EQ(update.status, 4) << update.out << update.err;
    EXPECT_TRUE(Contains(update.out,
                         "Без подтверждения устройства осталось записей: 1. Устройство нужно "
                         "проверить: прочитайте его и сравните с записанным.\n"))
        << update.out;
    EXPECT_TRUE(Contains(update.out,
                         "Запись регистров конфигурации (HCR0/HCR1) не подтверждена: проверка и "
                         "восстановление DATA FLASH их не читают. Запишите их снова повторной "
                         "прошивкой (повторите обновление или стирание + запись).\n"))
        << update.out;
    sim.PowerCycle();
    ASSERT_EQ(sim.Mode(), "firmware");
    ASSERT_EQ(sim.Hcr0(), "FF");
    ASSERT_EQ(sim.DataFlash(), calibration);

    // The DATA FLASH is whole, so verify passes; it says what it left out.
    std::vector<fs::path> backups;
    for (const auto& e : fs::directory_iterator(dir / "backup")) backups.push_back(e.path());
    ASSERT_EQ(backups.size(), 1u);
    const CliResult verify =
        RunCli(command({"verify", "--against", backups[0].string(), "--wait", "5"}));
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_TRUE(Contains(verify.out,
                         "Сравнивается только DATA FLASH: CODE FLASH и регистры конфигурации "
                         "(HCR0/HCR1) не проверяются\n"))
        << verify.out;

    // The step the advice names.
    const CliResult rerun = RunCli(command({"update", "--mode", "keep", "--yes"}));
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    EXPECT_FALSE(Contains(rerun.out, "HCR0/HCR1")) << rerun.out;
    sim.PowerCycle();
    EXPECT_EQ(sim.Hcr0(), "7D");
    EXPECT_EQ(sim.DataFlash(), calibration);
}

}  // namespace
}  // namespace zentor::test

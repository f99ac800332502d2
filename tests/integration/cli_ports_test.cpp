// zentor-cli ports --verbose, and --port with names other than COMn: a stable
// link to the simulator's line, and usb: names that lead to no adapter.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "config/config_store.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class CliPorts : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(ZENTOR_CLI_PATH, exe_);
        WriteConfig(dir_ / "zentor-cli.ini", Settings{});
    }
    CliResult Run(const std::vector<std::string>& args) {
        return RunCli(args, {}, std::chrono::seconds(60), exe_.string());
    }
    const ScratchDir scratch_{"cli-ports"};
    const fs::path dir_ = scratch_.path();
    const fs::path exe_ = dir_ / "zentor-cli";
};

TEST_F(CliPorts, VerboseListFollowsEachNameWithItsDevice) {
    SimProcess sim({"--link", dir_.string(), "--com", "200"});
    const CliResult plain = Run({"ports"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const Lines names = plain.OutLines();
    ASSERT_TRUE(std::find(names.begin(), names.end(), "COM200") != names.end()) << plain.out;

    for (const char* flag : {"--verbose", "-v"}) {
        const CliResult verbose = Run({"ports", flag});
        ASSERT_EQ(verbose.status, 0) << verbose.err;
        const Lines lines = verbose.OutLines();
        // The names of the plain list, in its order, each followed by its details.
        Lines keys;
        for (const std::string& line : lines)
            if (line.rfind("  ", 0) != 0) keys.push_back(line);
        EXPECT_EQ(keys, names) << verbose.out;
        auto at = std::find(lines.begin(), lines.end(), "COM200");
        ASSERT_NE(at, lines.end());
        ASSERT_NE(at + 1, lines.end());
        EXPECT_EQ(*(at + 1), "  устройство: " + fs::canonical(sim.DevicePath()).string());
    }
}

TEST_F(CliPorts, StableLinkOpensTheLineAndUnknownUsbSerialsAreNamed) {
    SimProcess sim({});
    const fs::path link = dir_ / "serial" / "by-id" / "usb-Zentor_Sim_0001-if00-port0";
    fs::create_directories(link.parent_path());
    fs::create_symlink(sim.DevicePath(), link);
    const CliResult id = Run({"--port", link.string(), "identify"});
    EXPECT_EQ(id.status, 0) << id.err;
    EXPECT_EQ(id.OutLines(), (Lines{"Model = 7", "SerialText = 14v071510", "HCR1Value = A3"}));

    const CliResult none = Run({"--port", "usb:NO-SUCH-ADAPTER", "identify"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("Не могу открыть \"usb:NO-SUCH-ADAPTER\",\nUSB-адаптер с серийным "
                            "номером \"NO-SUCH-ADAPTER\" не найден."),
              std::string::npos)
        << none.err;
}

}  // namespace
}  // namespace zentor::test

// The CLI and UUCP lock files: a port claimed by another live program is busy,
// and Ctrl-C in the middle of a run leaves no lock file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

#include "cli_run.h"
#include "common/files.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class PortLockCli : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("ZENTOR_LOCK_DIR", locks_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("ZENTOR_LOCK_DIR"); }
    bool NoLockFiles() const { return fs::is_empty(locks_.path()); }

    const ScratchDir locks_{"cli-locks"};
    const ScratchDir dir_{"cli-lock-run"};
};

TEST_F(PortLockCli, PortClaimedByAnotherLiveProgramIsBusy) {
    SimProcess sim({"--jumper"});
    std::string name = sim.DevicePath().substr(5);  // "pts/N"
    for (char& c : name)
        if (c == '/') c = '_';
    const std::string init = "         1\n";  // a process that is always there
    ScratchDir::WriteTo(locks_ / ("LCK.." + name), Bytes(init.begin(), init.end()));
    WriteConfig(dir_ / "z.ini", Settings{});
    const CliResult r =
        RunCli({"--config", (dir_ / "z.ini").string(), "timeouts", "--port", sim.DevicePath()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE((r.out + r.err).find("порт занят."), std::string::npos) << r.out << r.err;
}

TEST_F(PortLockCli, CtrlCDuringAProgrammingRunStopsAtARecordAndRemovesTheLockFile) {
    Settings st;
    st.TypeController = 1;
    st.BaudRate = 2400;
    st.DopPause = 0;
    WriteConfig(dir_ / "z.ini", st);
    ASSERT_TRUE(WriteFileAtomic(dir_ / "prog.bin", Bytes(512, 0x3C)));
    ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", Bytes(256, 0x5A)));
    SimProcess sim({"--jumper", "--chip", "Y2", "--baud", "2400"});

    bool sawLock = false;
    const CliResult r = RunCli(
        {"--config", (dir_ / "z.ini").string(), "program", "--port", sim.DevicePath(), "--dir",
         dir_.path().string(), "--yes"},
        [&](pid_t pid) {
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (!sawLock && std::chrono::steady_clock::now() < deadline) {
                sawLock = !NoLockFiles();
                std::this_thread::sleep_for(10ms);
            }
            std::this_thread::sleep_for(300ms);  // into the erase
            ::kill(pid, SIGINT);
        },
        20s);
    EXPECT_TRUE(sawLock);
    // Not killed: the write stops at a record boundary and the run ends normally.
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Запись прервана по адресу "), std::string::npos) << r.out;
    EXPECT_TRUE(NoLockFiles());
}

}  // namespace
}  // namespace zentor::test

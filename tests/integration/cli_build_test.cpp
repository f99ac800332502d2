// `zentor-cli build` with the assembler and linker stand-ins: the exit status of
// each outcome, and the batch and object files gone when the tool ends, as the
// window deletes them at exit.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "cli_run.h"
#include "support/scratch_dir.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

class CliBuild : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        fs::copy_file(ZENTOR_CLI_PATH, exe_);
        scratch_.Write("1.asm", {0x02, 0x00, 0x30});
    }
    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        ::unsetenv("ZENTOR_XLINK_DELAY_MS");
    }
    bool Left(const std::string& name) const { return fs::exists(dir_ / name); }

    std::string oldPath_;
    const ScratchDir scratch_{"cli-build"};
    const fs::path dir_ = scratch_.path();
    const fs::path exe_ = dir_ / "zentor-cli";
};

TEST_F(CliBuild, TemporaryFilesGoWhateverTheOutcome) {
    const std::string tools = std::string(ZENTOR_STANDIN_DIR) + ":" + oldPath_;
    const struct {
        const char* name;
        std::string path;
        bool yes;
        int status;
        const char* logged;
    } cases[] = {
        {"built", tools, true, 0, "Компиляция прошла успешно"},
        {"declined without a terminal", tools, false, 3, "Компоновка отменена"},
        {"no tools", "/nonexistent", true, 1, "Произошла ошибка компиляции"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir_ / "prog_c.bin");
        ::setenv("PATH", c.path.c_str(), 1);
        std::vector<std::string> args = {"build", "--dir", dir_.string()};
        if (c.yes) args.push_back("--yes");
        const CliResult r = RunCli(args, {}, std::chrono::seconds(60), exe_.string());
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        const auto lines = r.OutLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.logged), lines.end()) << r.out;
        EXPECT_FALSE(Left("zentor-cli.bat"));
        EXPECT_FALSE(Left("1.r03"));
        EXPECT_EQ(Left("prog_c.bin"), c.status == 0);
    }
}

// Ctrl-C while the build waits for Prog.bin: the files go, status 130.
TEST_F(CliBuild, InterruptRemovesTheTemporaryFiles) {
    ::setenv("PATH", (std::string(ZENTOR_STANDIN_DIR) + ":" + oldPath_).c_str(), 1);
    ::setenv("ZENTOR_XLINK_DELAY_MS", "3500", 1);
    bool seenBeforeInterrupt = false;
    const CliResult r = RunCli(
        {"build", "--yes", "--dir", dir_.string()},
        [&](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1200));
            seenBeforeInterrupt = Left("zentor-cli.bat") && Left("1.r03");
            ::kill(pid, SIGINT);
        },
        std::chrono::seconds(20), exe_.string());
    EXPECT_EQ(r.status, 130) << r.out << r.err;
    EXPECT_TRUE(seenBeforeInterrupt);
    EXPECT_FALSE(Left("zentor-cli.bat"));
    EXPECT_FALSE(Left("1.r03"));
    EXPECT_FALSE(Left("prog_c.bin"));
}

}  // namespace
}  // namespace zentor::test

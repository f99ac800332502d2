// The build command starting the assembler and linker stand-ins as real
// processes, found on PATH, in the working folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "bootrom/build_command.h"
#include "common/image_key.h"
#include "support/scratch_dir.h"
#include "support/scripted_port.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// Real time, with every wait recorded.
class RecordingSystemClock final : public Clock {
public:
    void SleepMs(int ms) override {
        sleeps.push_back(ms);
        real.SleepMs(ms);
    }
    std::int64_t NowMs() override { return real.NowMs(); }
    std::vector<int> sleeps;

private:
    SystemClock real;
};

class BuildWithStandIns : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        oldPath = path ? path : "";
        ::setenv("PATH", (std::string(ZENTOR_STANDIN_DIR) + ":" + oldPath).c_str(), 1);
        for (const char* v : kVariables) ::unsetenv(v);
        Write("1.asm", source);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath.c_str(), 1);
        for (const char* v : kVariables) ::unsetenv(v);
    }

    void Write(const std::string& name, const Bytes& b) const { scratch.Write(name, b); }
    Bytes Read(const std::string& name) const { return scratch.Read(name); }

    bool Build(Clock& clock) {
        test::ScriptedPort port;
        test::ScriptedOpener opener(port);
        Station station{ui, clock, opener, {}, {}};
        Controls controls;
        Job s(station, controls);
        station.place.workDir = dir;
        station.place.exePath = dir / "zentor";
        station.place.caption = "Zentor MSC";
        station.settings.AsmFileName = "1.asm";
        ui.answers.push_back(true);
        const bool ok = BuildFirmware(s);
        tempFiles = s.TempFiles;
        return ok;
    }

    // The log after the tools' own output.
    Lines Tail(std::size_t n) const {
        const Lines& log = ui.log;
        return Lines(log.end() - static_cast<std::ptrdiff_t>(std::min(n, log.size())), log.end());
    }
    bool Logged(const std::string& line) const {
        return std::find(ui.log.begin(), ui.log.end(), line) != ui.log.end();
    }

    static constexpr const char* kVariables[] = {"ZENTOR_A8051_FAIL", "ZENTOR_XLINK_MODE",
                                                 "ZENTOR_XLINK_PAYLOAD", "ZENTOR_XLINK_DELAY_MS"};
    const Bytes source = {0x02, 0x00, 0x30, 0xFF, 0x00, 0x41};
    const test::ScratchDir scratch{"build"};
    const fs::path dir = scratch.path();
    std::string oldPath;
    RecordingFrontend ui;
    Lines tempFiles;
};

Bytes Scrambled(Bytes b) {
    ScrambleImage(b);
    return b;
}

TEST_F(BuildWithStandIns, RunsBothToolsShowsTheirOutputAndScrambles) {
    VirtualClock clock;
    ASSERT_TRUE(Build(clock)) << ::testing::PrintToString(ui.log);
    EXPECT_EQ(ui.log, (Lines{"A8051.exe 1.asm", "1.r03 written, 0 errors",
                             "Xlink.exe 1.r03 -o Prog.bin -c8051 -FMPDS-CODE", "Ошибок: 0",
                             "Компиляция прошла успешно", ""}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, "okcancel");
    EXPECT_EQ(Read("Prog.bin"), source);
    EXPECT_EQ(Read("prog_c.bin"), Scrambled(source));
    EXPECT_EQ(tempFiles, (Lines{(dir / "zentor.bat").string(), (dir / "1.r03").string()}));
    const Bytes batch = Read("zentor.bat");
    EXPECT_EQ(std::string(batch.begin(), batch.end()),
              "@echo off\nA8051.exe 1.asm\npause\nXlink.exe 1.r03 -o Prog.bin -c8051 "
              "-FMPDS-CODE\npause\n");
    EXPECT_EQ(clock.Sleeps(), std::vector<int>{1000});
}

TEST_F(BuildWithStandIns, LateProgBinIsWaitedFor) {
    struct Case {
        const char* delayMs;
        Lines counters;
    };
    const std::string creating = "Создание файла \"prog.bin\"";
    const Case cases[] = {
        {"1500", {creating, creating + " - 2"}},
        {"2500", {creating, creating + " - 2", creating + " - 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delayMs);
        ui = RecordingFrontend();
        ::setenv("ZENTOR_XLINK_DELAY_MS", c.delayMs, 1);
        RecordingSystemClock clock;
        ASSERT_TRUE(Build(clock)) << ::testing::PrintToString(ui.log);
        Lines expected = c.counters;
        expected.push_back("Компиляция прошла успешно");
        expected.push_back("");
        EXPECT_EQ(Tail(expected.size()), expected);
        EXPECT_EQ(Read("prog_c.bin"), Scrambled(source));
    }
}

TEST_F(BuildWithStandIns, NoProgBinAfterFourPasses) {
    ::setenv("ZENTOR_XLINK_MODE", "none", 1);
    VirtualClock clock;
    EXPECT_FALSE(Build(clock));
    const std::string creating = "Создание файла \"prog.bin\"";
    EXPECT_EQ(Tail(6), (Lines{"Xlink: error: undefined symbol", creating, creating + " - 2",
                              creating + " - 3", creating + " - 4",
                              "Невозможно открыть файл \"prog.bin\""}));
    EXPECT_EQ(clock.Sleeps(), (std::vector<int>{1000, 1000, 1000, 1000}));
    EXPECT_FALSE(fs::exists(dir / "prog_c.bin"));
}

TEST_F(BuildWithStandIns, AssemblyErrorLeavesNoImage) {
    ::setenv("ZENTOR_A8051_FAIL", "1", 1);
    Write("1.r03", {'R', '0', '3', '\n', 0x55});  // from an earlier build: must not be linked
    Write("Prog.bin", {0x55});
    VirtualClock clock;
    EXPECT_FALSE(Build(clock));
    EXPECT_TRUE(Logged("1.asm(1): error: unknown mnemonic"));
    EXPECT_TRUE(Logged("Xlink: cannot open object file 1.r03"));
    EXPECT_EQ(ui.log.back(), "Невозможно открыть файл \"prog.bin\"");
    EXPECT_FALSE(fs::exists(dir / "prog_c.bin"));
    EXPECT_EQ(tempFiles, Lines{(dir / "zentor.bat").string()});
}

TEST_F(BuildWithStandIns, ZeroLengthProgBin) {
    ::setenv("ZENTOR_XLINK_MODE", "empty", 1);
    VirtualClock clock;
    ASSERT_TRUE(Build(clock));
    EXPECT_EQ(Tail(2), (Lines{"Компиляция прошла успешно", ""}));
    ASSERT_TRUE(fs::exists(dir / "prog_c.bin"));
    EXPECT_EQ(fs::file_size(dir / "prog_c.bin"), 0u);
}

TEST_F(BuildWithStandIns, OversizedProgBinIsRefused) {
    Write("big.bin", Bytes(65537, 0x11));
    ::setenv("ZENTOR_XLINK_PAYLOAD", (dir / "big.bin").c_str(), 1);
    VirtualClock clock;
    EXPECT_FALSE(Build(clock));
    EXPECT_EQ(ui.log.back(), "Файл \"prog.bin\" больше 65536 байт");
    EXPECT_FALSE(fs::exists(dir / "prog_c.bin"));
}

// Found as the command interpreter finds them: the working folder first, then PATH.
TEST_F(BuildWithStandIns, ToolsInTheWorkingFolderOrOnThePath) {
    const fs::path standins = ZENTOR_STANDIN_DIR;
    const fs::path empty = dir / "empty";
    fs::create_directory(empty);
    struct Case {
        const char* name;
        std::vector<const char*> copied;  // stand-ins copied into the working folder
        bool onPath;
        Lines tail;
    };
    const std::string failed = "Произошла ошибка компиляции";
    const Case cases[] = {
        {"both in the working folder",
         {"A8051.exe", "Xlink.exe"},
         false,
         {"Компиляция прошла успешно", ""}},
        {"neither anywhere",
         {},
         false,
         {"Не найдена программа A8051.exe (ни в рабочей папке, ни в PATH)", failed, ""}},
        {"only the assembler",
         {"A8051.exe"},
         false,
         {"Не найдена программа Xlink.exe (ни в рабочей папке, ни в PATH)", failed, ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui = RecordingFrontend();
        for (const char* tool : {"A8051.exe", "Xlink.exe"}) fs::remove(dir / tool);
        for (const char* tool : c.copied) fs::copy_file(standins / tool, dir / tool);
        ::setenv("PATH", empty.c_str(), 1);
        VirtualClock clock;
        EXPECT_EQ(Build(clock), c.tail.front() == "Компиляция прошла успешно");
        ASSERT_GE(ui.log.size(), c.tail.size());
        EXPECT_EQ(Tail(c.tail.size()), c.tail) << ::testing::PrintToString(ui.log);
    }

    // One in the working folder (any letter case) goes before the one on PATH.
    for (const char* tool : {"A8051.exe", "Xlink.exe"}) fs::remove(dir / tool);
    {
        std::ofstream script(dir / "a8051.EXE");
        script << "#!/bin/sh\necho assembler of the working folder\n";
    }
    fs::permissions(dir / "a8051.EXE", fs::perms::owner_all);
    ::setenv("PATH", standins.c_str(), 1);
    ui = RecordingFrontend();
    VirtualClock clock;
    EXPECT_FALSE(Build(clock));
    EXPECT_EQ(ui.log.front(), "assembler of the working folder");
}

}  // namespace
}  // namespace zentor

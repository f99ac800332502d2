// "Компиляция" on Windows: the batch file beside the executable, run by the
// command interpreter with CreateProcessA, with stand-ins for A8051.exe and
// Xlink.exe found on the search path. Each "pause" of the batch file takes a
// key from standard input (scripts/test-windows.sh feeds it blank lines).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "bootrom/build_command.h"
#include "common/clock.h"
#include "common/image_key.h"
#include "station/com_port.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"
#include "win_test_util.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;

const std::string kSource = "; program\r\n\tORG 0\r\n\tLJMP START\r\n\x01\x02\xFF";

// Puts the stand-in tools first on the search path for the life of the object.
class StandInsOnPath {
public:
    StandInsOnPath() {
        char buf[32768];
        DWORD n = GetEnvironmentVariableA("PATH", buf, sizeof buf);
        old_.assign(buf, n < sizeof buf ? n : 0);
        fs::path tools = wintest::BuildPath(ZENTOR_STANDIN_A8051).parent_path();
        std::string value = tools.make_preferred().string() + ";" + old_;
        SetEnvironmentVariableA("PATH", value.c_str());
    }
    ~StandInsOnPath() { SetEnvironmentVariableA("PATH", old_.c_str()); }

private:
    std::string old_;
};

struct BuildRig {
    BuildRig()
        : opener(MakeSystemPortOpener(dir.path())),
          station{ui, clock, *opener, {}, {}},
          s(station, controls) {
        fs::create_directories(dir / "app");
        fs::create_directories(dir / "work");
        station.place.exePath = dir / "app" / "zentor.exe";
        station.place.workDir = dir / "work";
        station.settings.AsmFileName = "1.asm";
        wintest::WriteBytes(dir / "work" / "1.asm", kSource);
    }

    // Runs the build on another thread so that a batch stuck at "pause" fails
    // the test instead of hanging it.
    bool Build() {
        auto done = std::async(std::launch::async, [this] { return BuildFirmware(s); });
        if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "the batch file did not end within 60 s (waiting at \"pause\"?)";
            std::fflush(stdout);
            std::_Exit(3);
        }
        return done.get();
    }

    wintest::TempDir dir;
    RecordingFrontend ui;
    VirtualClock clock;
    std::unique_ptr<PortOpener> opener;
    Station station;
    Controls controls;
    Job s;
};

std::vector<std::string> Log(const RecordingFrontend& ui) {
    return ui.history;
}

TEST(BuildBatch, AssemblesLinksAndScramblesTheImage) {
    StandInsOnPath tools;
    BuildRig rig;
    ASSERT_TRUE(rig.Build());

    EXPECT_EQ(Log(rig.ui), (std::vector<std::string>{"Компиляция прошла успешно", ""}));
    EXPECT_EQ(rig.clock.Sleeps(), std::vector<int>{1000});

    // Five lines, each ended by a line feed only.
    EXPECT_EQ(wintest::ReadBytes(rig.dir / "app" / "zentor.bat"),
              "@echo off\nA8051.exe 1.asm\npause\n"
              "Xlink.exe 1.r03 -o Prog.bin -c8051 -FMPDS-CODE\npause\n");

    const fs::path work = rig.dir / "work";
    ASSERT_TRUE(fs::exists(work / "1.r03")) << "the assembler did not run";
    std::string image = wintest::ReadBytes(work / "Prog.bin");
    EXPECT_EQ(image, kSource) << "the linker did not run";
    std::vector<std::uint8_t> scrambled(image.begin(), image.end());
    ScrambleImage(scrambled);
    EXPECT_EQ(wintest::ReadBytes(work / "prog_c.bin"),
              std::string(scrambled.begin(), scrambled.end()));

    // The batch file and the object file are deleted at exit.
    auto listed = [&](const fs::path& p) {
        return std::any_of(rig.s.TempFiles.begin(), rig.s.TempFiles.end(),
                           [&](const std::string& t) { return fs::equivalent(t, p); });
    };
    EXPECT_TRUE(listed(rig.dir / "app" / "zentor.bat"));
    EXPECT_TRUE(listed(work / "1.r03"));
}

TEST(BuildBatch, ALongerImageIsScrambledAcrossTheKey) {
    StandInsOnPath tools;
    BuildRig rig;
    std::string source(1500, '\0');
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i * 7);
    wintest::WriteBytes(rig.dir / "work" / "1.asm", source);
    ASSERT_TRUE(rig.Build());
    std::vector<std::uint8_t> expected(source.begin(), source.end());
    ScrambleImage(expected);
    EXPECT_EQ(wintest::ReadBytes(rig.dir / "work" / "prog_c.bin"),
              std::string(expected.begin(), expected.end()));
}

TEST(BuildBatch, WithoutToolsNoStaleImageIsUsed) {
    // The tools are not on the search path; an image of an earlier build, under
    // another letter case, must not be taken for this build's output.
    BuildRig rig;
    wintest::WriteBytes(rig.dir / "work" / "PROG.BIN", "stale");
    EXPECT_FALSE(rig.Build());
    EXPECT_EQ(Log(rig.ui), (std::vector<std::string>{
                               "Создание файла \"prog.bin\"",
                               "Создание файла \"prog.bin\" - 2",
                               "Создание файла \"prog.bin\" - 3",
                               "Создание файла \"prog.bin\" - 4",
                               "Невозможно открыть файл \"prog.bin\"",
                           }));
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{1000, 1000, 1000, 1000}));
    EXPECT_FALSE(fs::exists(rig.dir / "work" / "prog_c.bin"));
}

}  // namespace
}  // namespace zentor

// Programming runs against the simulated boot ROM and programmer over a real
// pseudo-terminal.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "common/image_key.h"
#include "station/com_port.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"
#include "testing/recording_frontend.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using test::Pattern;
using Lines = std::vector<std::string>;

Bytes Slice(const Bytes& b, std::size_t from, std::size_t n) {
    if (from + n > b.size()) return {};
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

// A session on the simulator's terminal, working in its own folder.
struct SimRun {
    explicit SimRun(std::vector<std::string> args, int typeController)
        : sim(std::move(args)), opener(MakeSystemPortOpener(folder.path())) {
        station = std::make_unique<Station>(Station{ui, clock, *opener, {}, {}});
        s = std::make_unique<Job>(*station, controls);
        station->place.workDir = folder.path();
        station->settings.TypeController = typeController;
        station->settings.NamePort = sim.DevicePath();
        station->settings.BaudRate = 38400;
        station->settings.DopPause = 0;
        station->settings.ControlWrite = true;
        ui.answers.push_back(true);
        if (!OpenComPort(*s)) throw std::runtime_error("cannot open " + sim.DevicePath());
    }
    ~SimRun() { CloseComPort(*s); }
    ProgramResult Program() { return ProgramChip(*s, options); }

    RecordingFrontend ui;
    SystemClock clock;
    test::ScratchDir folder{"bootrom"};
    test::SimProcess sim;
    ProgramOptions options = FactoryProgramOptions();
    std::unique_ptr<PortOpener> opener;
    std::unique_ptr<Station> station;
    Controls controls;
    std::unique_ptr<Job> s;
};

const Lines kBootRomLog = {
    "Стирание FLASH1 - ok!",
    "Стирание FLASH2 - ok!",
    "Запись CODE FLASH ...",
    "Запись CODE FLASH - Ok",
    "Запись DATA FLASH ...",
    "Запись DATA FLASH - Ok",
    "Запись регистров конфигурации - ok!",
};

TEST(BootRomOnSim, FullRunLeavesCodeDataAndConfiguration) {
    const test::ScratchDir logs("bootrom-logs");
    const fs::path hexLog = logs.path() / "hex.log";
    SimRun run({"--jumper", "--chip", "Y3", "--hex-log", hexLog.string()}, 2);
    run.station->settings.HCR1Value = "93";
    run.station->settings.HCR0Value = "5d";
    const Bytes program = Pattern(3000, 1);  // last record filled with FFh
    const Bytes data = Pattern(1024, 2);
    run.folder.Write("prog.bin", program);
    run.folder.Write("data.bin", data);

    ASSERT_TRUE(run.Program().Ok()) << ::testing::PrintToString(run.ui.log);
    const Lines log = run.ui.log;
    ASSERT_EQ(log.size(), 8u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0].rfind("MSC1210", 0), 0u) << log[0];
    EXPECT_LE(log[0].size(), 21u);
    EXPECT_EQ(Lines(log.begin() + 1, log.end()), kBootRomLog);

    const Bytes flash = run.sim.Flash();
    ASSERT_EQ(flash.size(), 8192u);
    EXPECT_EQ(Slice(flash, 0, 3000), program);
    EXPECT_EQ(Slice(flash, 3000, 72), Bytes(72, 0xFF));
    EXPECT_EQ(Slice(flash, 0x1C00, 1024), data);
    EXPECT_EQ(run.sim.Hcr1(), "93");
    EXPECT_EQ(run.sim.Hcr0(), "5D");

    // The records the chip received, turned back into a binary by an independent tool.
    const fs::path out = logs.path() / "out.bin";
    const fs::path cfg = logs.path() / "cfg.bin";
    const std::string hex = hexLog.string();
    const std::string cmd1 = "srec_cat '" + hex +
                             "' -Intel -crop 0 0x2000 -fill 0xEE 0 0x2000 -o '" + out.string() +
                             "' -Binary 2>/dev/null";
    const std::string cmd2 = "srec_cat '" + hex +
                             "' -Intel -crop 0x807E 0x8080 -offset -0x807E -o '" + cfg.string() +
                             "' -Binary 2>/dev/null";
    ASSERT_EQ(std::system(cmd1.c_str()), 0);
    ASSERT_EQ(std::system(cmd2.c_str()), 0);
    const Bytes rebuilt = logs.Read("out.bin");
    ASSERT_EQ(rebuilt.size(), 0x2000u);
    Bytes expected(0x2000, 0xEE);
    std::copy(program.begin(), program.end(), expected.begin());
    std::fill(expected.begin() + 3000, expected.begin() + 3072, 0xFF);
    std::copy(data.begin(), data.end(), expected.begin() + 0x1C00);
    EXPECT_EQ(rebuilt, expected);
    EXPECT_EQ(logs.Read("cfg.bin"), (Bytes{0x93, 0x5D}));
}

TEST(BootRomOnSim, UpdateFaceKeepsTheInstrumentsOwnData) {
    SimRun run({"--jumper", "--chip", "Y5"}, 4);
    run.options = UpdateProgramOptions(4, UpdateMode::Keep);
    const Bytes program = Pattern(4096, 3);
    Bytes scrambled = program;
    ScrambleImage(scrambled);
    run.folder.Write("prog_c.bin", scrambled);
    run.folder.Write("data_rd.bin", Pattern(2048, 4));
    run.folder.Write("data.bin", Pattern(2048, 5));
    ASSERT_TRUE(run.Program().Ok()) << ::testing::PrintToString(run.ui.log);
    const Bytes flash = run.sim.Flash();
    EXPECT_EQ(Slice(flash, 0, 4096), program);
    EXPECT_EQ(run.sim.DataFlash(), Pattern(2048, 4));
}

TEST(BootRomOnSim, ChipThatStopsMidwayNamesTheRecord) {
    struct Case {
        const char* option;
        const char* k;
        const char* line;
        ProgramStage stage;
    };
    const auto code = ProgramStage::CodeWriteFailed;
    // Records count from 1: the 5th record is the one at 0200h.
    const Case cases[] = {
        {"--silent-after-record", "4", "Ошибка записи по адресу 0200h", code},
        {"--refuse-record", "5", "Ошибка записи по адресу 0200h", code},
        {"--die-after-record", "4", "Ошибка записи по адресу 0200h", code},
        {"--refuse-record", "33", "Ошибка записи по адресу 1C00h",  // first DATA FLASH record
         ProgramStage::DataWriteFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.k);
        SimRun run({"--jumper", "--chip", "Y3", c.option, c.k}, 2);
        run.folder.Write("prog.bin", Pattern(4096, 6));
        run.folder.Write("data.bin", Pattern(1024, 7));
        EXPECT_EQ(run.Program().stage, c.stage);
        ASSERT_FALSE(run.ui.log.empty());
        EXPECT_EQ(run.ui.log.back(), c.line);
        EXPECT_EQ(run.ui.ProgressPosition(), 0);
    }
}

TEST(BootRomOnSim, ConnectionAndEraseFailures) {
    struct Case {
        const char* option;
        Lines log;
    };
    const std::vector<Case> cases = {
        {"--no-banner", {"Нет связи с MSC1210!"}},
        {"--wrong-banner", {"Нет связи с MSC1210!"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        SimRun run({"--jumper", "--chip", "Y5", c.option}, 4);
        run.folder.Write("prog.bin", Pattern(256, 1));
        run.folder.Write("data.bin", Pattern(128, 1));
        EXPECT_EQ(run.Program().stage, ProgramStage::NoLink);
        EXPECT_EQ(run.ui.log, c.log);
    }
    SimRun run({"--jumper", "--chip", "Y5", "--erase-fail"}, 4);
    run.folder.Write("prog.bin", Pattern(256, 1));
    run.folder.Write("data.bin", Pattern(128, 1));
    EXPECT_EQ(run.Program().stage, ProgramStage::EraseFailed);
    ASSERT_FALSE(run.ui.log.empty());
    EXPECT_EQ(run.ui.log.back(), "Ошибка стирания FLASH1");
}

TEST(ProgrammerOnSim, WritesAndVerifiesBothMemories) {
    SimRun run({"--programmer", "--prog-code-size", "8192", "--prog-data-size", "2048"}, 0);
    const Bytes program = Pattern(5000, 8);
    const Bytes data = Pattern(1000, 9);
    run.folder.Write("prog.bin", program);
    run.folder.Write("data.bin", data);
    ASSERT_TRUE(run.Program().Ok()) << ::testing::PrintToString(run.ui.log);
    EXPECT_EQ(run.ui.log, (Lines{"Chip Erase", "Write Program memory ...",
                                 "Write Program memory - Ok", "Verify Program memory ...",
                                 "Verify Program memory - Ok", "Write Data memory ...",
                                 "Verify Data memory ...", "Verify Data memory - Ok"}));
    EXPECT_EQ(Slice(run.sim.Flash(), 0, 5000), program);
    EXPECT_EQ(Slice(run.sim.DataFlash(), 0, 1000), data);
}

TEST(ProgrammerOnSim, ReadBackDifferenceIsReported) {
    SimRun run({"--programmer", "--verify-fail-page", "0x0080"}, 0);
    run.folder.Write("prog.bin", Pattern(512, 1));
    run.folder.Write("data.bin", Pattern(64, 2));
    EXPECT_EQ(run.Program().stage, ProgramStage::CodeWriteFailed);
    ASSERT_FALSE(run.ui.log.empty());
    EXPECT_EQ(run.ui.log.back(), "Ошибка записи программы");
    EXPECT_EQ(run.ui.ProgressPosition(), 0x80);
}

TEST(ProgrammerOnSim, NoSync) {
    SimRun run({"--programmer", "--no-sync"}, 0);
    run.folder.Write("prog.bin", Pattern(512, 1));
    run.folder.Write("data.bin", Pattern(64, 2));
    EXPECT_EQ(run.Program().stage, ProgramStage::NoLink);
    EXPECT_EQ(run.ui.log, Lines{"Нет связи с программатором!"});
}

}  // namespace
}  // namespace zentor

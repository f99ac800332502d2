// Programming over a line paced at its bit rate, against devices that are deaf
// while they write flash: every wait of the tool has to start when its bytes have
// reached the device, or bytes are lost and the run fails.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "station/com_port.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"
#include "testing/recording_frontend.h"

namespace zentor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Pattern;
using Lines = std::vector<std::string>;

Bytes Prefix(const Bytes& b, std::size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(std::min(n, b.size())));
}

// The factory face's programming run on the simulator's terminal at `baud`.
struct PacedRun {
    PacedRun(std::vector<std::string> simArgs, int typeController, int baud)
        : sim(std::move(simArgs)), opener(MakeSystemPortOpener(folder.path())) {
        station = std::make_unique<Station>(Station{ui, clock, *opener, {}, {}});
        s = std::make_unique<Job>(*station, controls);
        station->place.workDir = folder.path();
        station->settings.TypeController = typeController;
        station->settings.NamePort = sim.DevicePath();
        station->settings.BaudRate = baud;
        ui.answers.push_back(true);
        if (!OpenComPort(*s)) throw std::runtime_error("cannot open " + sim.DevicePath());
    }
    ~PacedRun() { CloseComPort(*s); }

    RecordingFrontend ui;
    SystemClock clock;
    test::ScratchDir folder{"paced"};
    test::SimProcess sim;
    std::unique_ptr<PortOpener> opener;
    std::unique_ptr<Station> station;
    Controls controls;
    std::unique_ptr<Job> s;
};

TEST(PacedProgrammer, SeveralKiBWrittenAndVerifiedWithoutALostByte) {
    struct Case {
        int baud;
        std::size_t program, data;
    };
    const Case cases[] = {{9600, 2048, 256}, {38400, 4096, 512}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.baud) + " bit/s");
        const std::string baud = std::to_string(c.baud);
        PacedRun run({"--programmer", "--baud", baud}, 0, c.baud);
        const Bytes program = Pattern(c.program, 1), data = Pattern(c.data, 2);
        run.folder.Write("prog.bin", program);
        run.folder.Write("data.bin", data);

        EXPECT_TRUE(ProgramChip(*run.s, FactoryProgramOptions()).Ok());
        EXPECT_EQ(run.ui.log, (Lines{"Chip Erase", "Write Program memory ...",
                                     "Write Program memory - Ok", "Verify Program memory ...",
                                     "Verify Program memory - Ok", "Write Data memory ...",
                                     "Verify Data memory ...", "Verify Data memory - Ok"}));
        EXPECT_EQ(run.sim.LostBytes(), 0);
        EXPECT_EQ(Prefix(run.sim.Flash(), c.program), program);
        EXPECT_EQ(Prefix(run.sim.DataFlash(), c.data), data);
    }
}

TEST(PacedBootRom, RecordsJudgedAt2400WithoutExtraPause) {
    // A 269-character record takes 1121 ms at 2400 bit/s, longer than the read
    // deadline: its "." can only be judged when the wait starts after the record.
    PacedRun run({"--jumper", "--chip", "Y2", "--data-flash-size", "512", "--baud", "2400"}, 1,
                 2400);
    run.station->settings.DopPause = 0;
    run.station->settings.ControlWrite = true;
    const Bytes program = Pattern(128, 3), data = Pattern(128, 4);
    run.folder.Write("prog.bin", program);
    run.folder.Write("data.bin", data);

    EXPECT_TRUE(ProgramChip(*run.s, FactoryProgramOptions()).Ok());
    const Lines log = run.ui.log;
    ASSERT_EQ(log.size(), 8u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0].rfind("MSC1210", 0), 0u) << log[0];
    EXPECT_EQ(Lines(log.begin() + 1, log.end()),
              (Lines{"Стирание FLASH1 - ok!", "Стирание FLASH2 - ok!", "Запись CODE FLASH ...",
                     "Запись CODE FLASH - Ok", "Запись DATA FLASH ...", "Запись DATA FLASH - Ok",
                     "Запись регистров конфигурации - ok!"}));
    EXPECT_EQ(run.sim.LostBytes(), 0);
    const Bytes flash = run.sim.Flash();
    ASSERT_EQ(flash.size(), 4096u);
    EXPECT_EQ(Prefix(flash, 128), program);
    EXPECT_EQ(Bytes(flash.end() - 128, flash.end()), data);
    EXPECT_EQ(run.sim.Hcr1(), "A3");
    EXPECT_EQ(run.sim.Hcr0(), "7D");
}

}  // namespace
}  // namespace zentor

// The plan made once from the image files and executed from memory, its cost
// (records or pages, bytes, pauses, expected time) and its dry run.
#include "bootrom/program_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "bootrom/plan_report.h"
#include "bootrom_rig.h"
#include "common/image_key.h"

namespace zentor {
namespace {

using test::Bytes;
using test::Pattern;
using test::Rig;
using Lines = std::vector<std::string>;

ProgramPlan PlanOf(Rig& rig, int programSize, int dataSize) {
    rig.dir.Write("prog.bin", Pattern(static_cast<std::size_t>(programSize), 1));
    rig.dir.Write("data.bin", Pattern(static_cast<std::size_t>(dataSize), 2));
    auto plan = PlanProgram(rig.s, FactoryProgramOptions());
    EXPECT_TRUE(plan.has_value()) << ::testing::PrintToString(rig.Log());
    return plan.value_or(ProgramPlan{});
}

// Counted by hand from the two sequences: boot ROM 31 command bytes, 269 per
// record and 17 for the configuration record sent, 57 + 1 per record + 1 read,
// DopPause after each command and 1000 ms per erase; programmer 9 bytes sent
// and 1 read, 71 sent and 64 read per code page, 39 and 32 per data page,
// 260 ms and 20 ms per page.
TEST(PlanCost, RecordsPagesBytesAndTime) {
    struct Case {
        const char* name;
        int typeController, program, data, dopPause, baud;
        int codeUnits, dataUnits;
        long sent, read, pauseMs;
        double seconds;
    };
    const std::vector<Case> cases = {
        {"Y5 384 + 512", 4, 384, 512, 0, 115200, 3, 4, 1931, 65, 2000, 2.17326},
        {"Y2 1000 + 1024, DopPause 50", 1, 1000, 1024, 50, 9600, 8, 8, 4352, 74, 3250, 7.86042},
        {"programmer 384 + 512", 0, 384, 512, 0, 115200, 6, 16, 1059, 897, 700, 0.86979},
        {"programmer 100 + 0", 0, 100, 0, 300, 9600, 2, 0, 151, 129, 300, 0.59167},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.typeController);
        const ProgramPlan plan = PlanOf(rig, c.program, c.data);
        const PlanCost cost = CostOf(plan, c.dopPause);
        EXPECT_EQ(cost.codeUnits, c.codeUnits);
        EXPECT_EQ(cost.dataUnits, c.dataUnits);
        EXPECT_EQ(cost.sentBytes, c.sent);
        EXPECT_EQ(cost.readBytes, c.read);
        EXPECT_EQ(cost.pauseMs, c.pauseMs);
        EXPECT_NEAR(cost.Seconds(c.baud), c.seconds, 1e-4);
    }
}

// The cost is the run's: every byte the run writes, every byte it asks to read
// and every wait it makes, counted on a scripted chip.
TEST(PlanCost, MatchesWhatTheRunSendsAndWaits) {
    for (const int type : {0, 1, 4}) {
        SCOPED_TRACE(type);
        Rig rig(type);
        rig.station.settings.DopPause = 40;
        const ProgramPlan plan = PlanOf(rig, 1000, 256);
        ASSERT_TRUE(ExecuteProgramPlan(rig.s, plan).Ok()) << ::testing::PrintToString(rig.Log());
        long sent = 0, requested = 0;
        for (const auto& e : rig.port.events) {
            if (e.kind == test::ScriptedPort::Event::Write)
                sent += static_cast<long>(e.bytes.size());
            if (e.kind == test::ScriptedPort::Event::Read)
                requested += static_cast<long>(e.requested);
        }
        const std::vector<int> sleeps = rig.clock.Sleeps();
        const PlanCost cost = CostOf(plan, 40);
        EXPECT_EQ(cost.sentBytes, sent);
        EXPECT_EQ(cost.readBytes, requested);
        EXPECT_EQ(cost.pauseMs, std::accumulate(sleeps.begin(), sleeps.end(), 0L));
    }
}

// The plan holds the images: once made, the files may go and the run writes
// what was read, unscrambled.
TEST(ProgramPlanRun, ExecutesFromMemoryAfterTheFilesAreGone) {
    for (const int type : {0, 4}) {
        SCOPED_TRACE(type);
        Rig rig(type);
        const Bytes program = Pattern(640, 7);
        const Bytes data = Pattern(256, 8);
        Bytes scrambled = program;
        ScrambleImage(scrambled);
        rig.dir.Write("prog_c.bin", scrambled);
        rig.dir.Write("prog.bin", program);
        rig.dir.Write("data.bin", data);
        const auto plan = PlanProgram(rig.s, UpdateProgramOptions(type, UpdateMode::Factory));
        ASSERT_TRUE(plan.has_value());
        for (const char* name : {"prog.bin", "prog_c.bin", "data.bin"})
            std::filesystem::remove(rig.File(name));

        ASSERT_TRUE(ProgramChip(rig.s, *plan).Ok()) << ::testing::PrintToString(rig.Log());
        if (type == 0) {
            EXPECT_TRUE(std::equal(program.begin(), program.end(), rig.chip.code.begin()));
            EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.chip.data.begin()));
        } else {
            for (std::size_t i = 0; i < program.size(); ++i)
                ASSERT_EQ(rig.chip.flash[static_cast<int>(i)], program[i]) << i;
            for (std::size_t i = 0; i < data.size(); ++i)
                ASSERT_EQ(rig.chip.flash[0x8000 - 256 + static_cast<int>(i)], data[i]) << i;
        }
    }
}

// The identification may choose another HCR1 after the plan was made: the
// configuration record follows it, and a text that is no hex byte is refused.
TEST(ProgramPlanRun, ConfigurationRecordFollowsTheJobsHcr1) {
    Rig rig(4);
    ProgramPlan plan = PlanOf(rig, 256, 128);
    rig.s.hcr1 = "93";
    ASSERT_TRUE(PlanConfig(rig.s, plan));
    EXPECT_EQ(plan.configRecord.substr(0, 11), ":02807E0093");
    rig.s.hcr1 = "9G";
    EXPECT_FALSE(PlanConfig(rig.s, plan));
    EXPECT_EQ(rig.Log().back(), "Неверное значение HCR1: \"9G\" - запись отменена");
}

// A dry run of the erase and write prints the plan and sends nothing, even with
// a chip waiting on an open port; a refused input is the real run's line.
TEST(EraseAndWriteDryRun, PrintsThePlanAndSendsNothing) {
    Rig rig(4);
    rig.station.settings.BaudRate = 115200;
    rig.station.settings.DopPause = 0;
    rig.s.hcr1 = "A3";
    rig.dir.Write("prog.bin", Pattern(384, 1));
    rig.dir.Write("data.bin", Pattern(512, 2));
    ASSERT_TRUE(ShowEraseAndWritePlan(rig.s));
    EXPECT_TRUE(rig.port.events.empty());
    EXPECT_TRUE(rig.chip.flash.empty());
    EXPECT_TRUE(rig.ui.boxes.empty()) << "nothing to confirm";
    EXPECT_EQ(rig.Log(),
              (Lines{
                  "План записи через загрузчик MSC1210Y5, FLASH 32768 байт:",
                  "  CODE FLASH: prog.bin, 384 байт, 0000h-017Fh, записей по 128 байт: 3",
                  "  DATA FLASH: data.bin, 512 байт, 7E00h-7FFFh, записей по 128 байт: 4",
                  "  регистры конфигурации: HCR1 A3, HCR0 " + rig.station.settings.HCR0Value,
                  "  на линии: передаётся 1931 байт, принимается до 65 байт, паузы 2,0 с",
                  "  ожидаемое время при 115200 бит/с: 2,2 с",
                  "Пробный запуск: порт не открывался, устройству ничего не отправлено",
              }));

    Rig refused(0);
    refused.dir.Write("prog.bin", Pattern(384, 1));
    EXPECT_FALSE(ShowEraseAndWritePlan(refused.s));
    EXPECT_EQ(refused.Log(), Lines{"Невозможно открыть файл data.bin"});
    EXPECT_TRUE(refused.port.events.empty());
}

}  // namespace
}  // namespace zentor

// A programming run that is asked to stop, and one whose records go unanswered:
// where it stops, what it logs, what it leaves for the journal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "bootrom_rig.h"

namespace zentor {
namespace {

using test::Bytes;
using test::Pattern;
using test::Rig;
using Lines = std::vector<std::string>;

ProgramResult RunUpdate(Rig& rig) {
    return ProgramChip(rig.s,
                       UpdateProgramOptions(rig.station.settings.TypeController, UpdateMode::None));
}

// Records (boot ROM) or page writes (programmer) the chip received.
std::size_t Written(const Rig& rig) {
    return rig.station.settings.TypeController == 0
               ? rig.chip.codePagesWritten.size() + rig.chip.dataPagesWritten.size()
               : rig.chip.recordAddresses.size();
}

// The stop is asked for while the chip takes its Nth record or page; the run
// ends before the next one, with the chip marked safe again.
TEST(ProgramStop, AtTheNextRecordOrPageBoundary) {
    struct Case {
        const char* name;
        int typeController;
        std::size_t stopDuring;  // 1-based record or page
        const char* lastLine;
        RunPhase phase;
        ProgramStage stage;
    };
    const Case cases[] = {
        {.name = "boot ROM, code",
         .typeController = 4,
         .stopDuring = 1,
         .lastLine = "Запись прервана по адресу 0080h - устройство записано не полностью",
         .phase = RunPhase::Code,
         .stage = ProgramStage::CodeWriteFailed},
        {.name = "boot ROM, data",
         .typeController = 4,
         .stopDuring = 3,
         .lastLine = "Запись прервана по адресу 7F80h - устройство записано не полностью",
         .phase = RunPhase::Data,
         .stage = ProgramStage::DataWriteFailed},
        {.name = "boot ROM, before the configuration record",
         .typeController = 4,
         .stopDuring = 4,
         .lastLine = "Запись прервана по адресу 807Eh - устройство записано не полностью",
         .phase = RunPhase::Config,
         .stage = ProgramStage::ConfigFailed},
        {.name = "programmer, code",
         .typeController = 0,
         .stopDuring = 2,
         .lastLine = "Запись прервана по адресу 0080h - устройство записано не полностью",
         .phase = RunPhase::Code,
         .stage = ProgramStage::CodeWriteFailed},
        {.name = "programmer, data",
         .typeController = 0,
         .stopDuring = 5,
         .lastLine = "Запись прервана по адресу 0020h - устройство записано не полностью",
         .phase = RunPhase::Data,
         .stage = ProgramStage::DataWriteFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.typeController);
        rig.dir.Write("prog.bin", Pattern(256, 1));
        rig.dir.Write("prog_c.bin", Pattern(256, 1));
        rig.dir.Write("data.bin", Pattern(256, 2));
        bool atRiskWhileWriting = true;
        auto answer = rig.port.responder;
        rig.port.responder = [&](const Bytes& w) {
            Bytes reply = answer(w);
            const bool write = !w.empty() && (w[0] == ':' || w[0] == 0x50 || w[0] == 0xD0);
            if (write) {
                atRiskWhileWriting = atRiskWhileWriting && rig.s.ChipAtRisk;
                if (Written(rig) == c.stopDuring) rig.s.AbortRequested = true;
            }
            return reply;
        };
        const ProgramResult result = RunUpdate(rig);
        EXPECT_TRUE(result.interrupted);
        EXPECT_EQ(result.stage, c.stage);
        EXPECT_FALSE(result.Ok());
        EXPECT_EQ(Written(rig), c.stopDuring) << "nothing goes out after the stop";
        EXPECT_TRUE(rig.chip.configRecord.empty());
        ASSERT_FALSE(rig.Log().empty());
        EXPECT_EQ(rig.Log().back(), c.lastLine);
        EXPECT_EQ(rig.s.run.phase, c.phase);
        EXPECT_TRUE(atRiskWhileWriting);
        EXPECT_FALSE(rig.s.ChipAtRisk);
    }
}

// Asked before the erase: the chip is left as it was.
TEST(ProgramStop, BeforeTheEraseNothingIsErased) {
    for (int type : {4, 0}) {
        SCOPED_TRACE(type);
        Rig rig(type);
        rig.dir.Write("prog.bin", Pattern(256, 1));
        rig.dir.Write("prog_c.bin", Pattern(256, 1));
        rig.dir.Write("data.bin", Pattern(128, 2));
        rig.s.AbortRequested = true;
        const ProgramResult result = RunUpdate(rig);
        EXPECT_TRUE(result.interrupted);
        EXPECT_EQ(result.stage, ProgramStage::Refused);
        EXPECT_FALSE(result.ChipTouched());
        EXPECT_EQ(rig.Log().back(), "Запись прервана - устройство не изменено");
        for (const Bytes& w : rig.port.Writes()) {
            EXPECT_NE(w, (Bytes{'M', '0', '0', '0', '0'}));
            EXPECT_NE(w, (Bytes{0xAC, 0x80, 0x00, 0x00}));
        }
        EXPECT_EQ(rig.s.run.phase, RunPhase::Boot) << "an erase line is taken back";
    }
}

// With ControlWrite off the run goes on past records nobody answered, as the
// window always did, but counts them for the log, the journal and the caller.
TEST(ProgramUnconfirmed, SilentRecordsAreCountedAndLogged) {
    struct Case {
        const char* name;
        int silentAfterRecord;  // 0-based; -1: every record answered
        std::string configReply;
        int unconfirmed;
        bool configUnconfirmed = false;
        int refuseRecord = -1;  // one data record answered with nothing
    };
    const Case cases[] = {
        {.name = "all answered", .silentAfterRecord = -1, .configReply = ".", .unconfirmed = 0},
        {.name = "silent from the second data record",
         .silentAfterRecord = 2,
         .configReply = ".",
         .unconfirmed = 2,  // the last data record and the configuration record
         .configUnconfirmed = true},
        {.name = "configuration refused",
         .silentAfterRecord = -1,
         .configReply = "X",
         .unconfirmed = 1,
         .configUnconfirmed = true},
        {.name = "one data record unanswered",
         .silentAfterRecord = -1,
         .configReply = ".",
         .unconfirmed = 1,
         .refuseRecord = 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(4);
        rig.station.settings.ControlWrite = false;
        rig.s.run.unconfirmed = 1;  // an earlier step of the same command
        rig.chip.silentAfterRecord = c.silentAfterRecord;
        rig.chip.configReply = c.configReply;
        rig.chip.refuseRecord = c.refuseRecord;
        rig.dir.Write("prog_c.bin", Pattern(256, 1));
        rig.dir.Write("data.bin", Pattern(256, 2));
        const ProgramResult result = RunUpdate(rig);
        EXPECT_TRUE(result.Ok());
        EXPECT_EQ(result.unconfirmed, c.unconfirmed);
        EXPECT_EQ(result.configUnconfirmed, c.configUnconfirmed);
        EXPECT_EQ(rig.s.run.unconfirmed, 1 + c.unconfirmed);
        EXPECT_EQ(rig.s.run.phase, RunPhase::Done);
        Lines log = rig.Log();
        ASSERT_GE(log.size(), 3u);
        // Verify and restore read only the DATA FLASH: an unconfirmed configuration
        // record is named with the step that writes it again.
        if (c.configUnconfirmed) {
            EXPECT_EQ(log.back(),
                      "Запись регистров конфигурации (HCR0/HCR1) не подтверждена: проверка и "
                      "восстановление DATA FLASH их не читают. Запишите их снова повторной "
                      "прошивкой (повторите обновление или стирание + запись).");
            log.pop_back();
        }
        const std::string configLine = c.configUnconfirmed
                                           ? "Запись регистров конфигурации - без подтверждения"
                                           : "Запись регистров конфигурации - ok!";
        if (c.unconfirmed == 0) {
            EXPECT_EQ(log.back(), configLine);
        } else {
            EXPECT_EQ(log[log.size() - 2], configLine);
            EXPECT_EQ(log.back(), "Без подтверждения устройства осталось записей: " +
                                      std::to_string(c.unconfirmed) +
                                      ". Устройство нужно проверить: прочитайте его и сравните с "
                                      "записанным.");
        }
    }
}

}  // namespace
}  // namespace zentor

#include "bootrom/program_chip.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bootrom_rig.h"
#include "common/image_key.h"
#include "testing/recording_frontend.h"

namespace zentor {
namespace {

using test::Bytes;
using test::Pattern;
using test::Rig;
using test::WindowFace;
using Lines = std::vector<std::string>;

const Lines kBootRomRunLog = {
    "MSC1210 Boot ROM v1.0",  "Стирание FLASH1 - ok!",
    "Стирание FLASH2 - ok!",  "Запись CODE FLASH ...",
    "Запись CODE FLASH - Ok", "Запись DATA FLASH ...",
    "Запись DATA FLASH - Ok", "Запись регистров конфигурации - ok!",
};

Bytes Scrambled(Bytes b) {
    ScrambleImage(b);
    return b;
}

Bytes FlashRange(const test::FakeChip& chip, int from, int size) {
    Bytes out;
    for (int a = from; a < from + size; ++a) {
        auto it = chip.flash.find(a);
        out.push_back(it == chip.flash.end() ? 0xEE : it->second);  // EE: never written
    }
    return out;
}

std::vector<std::string> WrittenTexts(const Rig& rig) {
    std::vector<std::string> out;
    for (const Bytes& w : rig.port.Writes()) out.emplace_back(w.begin(), w.end());
    return out;
}

TEST(BootRomRun, UpdateFaceWritesEverythingAndLogsInOrder) {
    Rig rig(4);
    const Bytes program = Pattern(1024, 5);
    const Bytes data = Pattern(256, 77);
    rig.dir.Write("prog_c.bin", Scrambled(program));
    rig.dir.Write("data.bin", data);

    EXPECT_TRUE(rig.Program());
    EXPECT_EQ(rig.Log(), kBootRomRunLog);
    EXPECT_EQ(rig.ui.clears, 1);
    EXPECT_TRUE(rig.ui.boxes.empty()) << "the update face asks nothing";

    const auto texts = WrittenTexts(rig);
    ASSERT_EQ(texts.size(), 8u + 8u + 2u + 1u);
    EXPECT_EQ(Lines(texts.begin(), texts.begin() + 8),
              (Lines{"\r", "E", "RWFB15", "RWFC65", "RWFD56", "M0000", "M8000", "L"}));
    EXPECT_EQ(texts.back(), ":02807E00A37DE0\r\n");
    EXPECT_EQ(rig.chip.recordAddresses, (std::vector<int>{0x000, 0x080, 0x100, 0x180, 0x200, 0x280,
                                                          0x300, 0x380, 0x7F00, 0x7F80}));
    EXPECT_EQ(FlashRange(rig.chip, 0, 1024), program);
    EXPECT_EQ(FlashRange(rig.chip, 0x7F00, 256), data);
}

TEST(BootRomRun, WaitsOfAWholeRun) {
    Rig rig(4);
    rig.station.settings.DopPause = 50;
    rig.dir.Write("prog_c.bin", Pattern(256));
    rig.dir.Write("data.bin", Pattern(128));
    ASSERT_TRUE(rig.Program());
    // identify, echo, 3 registers, 2 erases, load, 3 records, configuration record.
    const std::vector<int> expected = {50, 50, 50, 50, 50, 1000, 50, 1000, 50, 50, 50, 50, 50, 50};
    EXPECT_EQ(rig.clock.Sleeps(), expected);
}

TEST(BootRomRun, Msc1210Y3DataImageEndsAtTopOfFlash) {
    Rig rig(2);
    const Bytes data = Pattern(1024, 33);
    rig.dir.Write("prog_c.bin", Pattern(512));
    rig.dir.Write("data.bin", data);
    ASSERT_TRUE(rig.Program());
    const std::vector<int> dataRecords(rig.chip.recordAddresses.begin() + 4,
                                       rig.chip.recordAddresses.end());
    EXPECT_EQ(dataRecords,
              (std::vector<int>{0x1C00, 0x1C80, 0x1D00, 0x1D80, 0x1E00, 0x1E80, 0x1F00, 0x1F80}));
    EXPECT_EQ(FlashRange(rig.chip, 0x1C00, 1024), data);
}

TEST(BootRomRun, EmptyDataImageStillLogsAndWritesConfiguration) {
    Rig rig(4);
    rig.dir.Write("prog_c.bin", Pattern(256));
    rig.dir.Write("data.bin", {});
    ASSERT_TRUE(rig.Program());
    EXPECT_EQ(rig.Log(), kBootRomRunLog);
    EXPECT_EQ(rig.chip.recordAddresses, (std::vector<int>{0x000, 0x080}));
    EXPECT_EQ(rig.chip.configRecord, ":02807E00A37DE0\r\n");
}

TEST(BootRomRun, LastRecordIsFilledWithErasedBytes) {
    Rig rig(4);
    const Bytes program = Pattern(200, 4);
    rig.dir.Write("prog_c.bin", Scrambled(program));
    rig.dir.Write("data.bin", {});
    ASSERT_TRUE(rig.Program());
    Bytes expected = program;
    expected.resize(256, 0xFF);
    EXPECT_EQ(FlashRange(rig.chip, 0, 256), expected);
}

TEST(BootRomRun, ConfigurationRecordCarriesSettingsAsTheyStand) {
    Rig rig(4);
    rig.station.settings.HCR1Value = "93";
    rig.station.settings.HCR0Value = "7d";
    rig.dir.Write("prog_c.bin", Pattern(128));
    rig.dir.Write("data.bin", {});
    ASSERT_TRUE(rig.Program());
    EXPECT_EQ(rig.chip.configRecord, ":02807E00937dF0\r\n");
}

TEST(BootRomRun, ProgressFollowsRecordOffsets) {
    Rig rig(2);
    rig.dir.Write("prog_c.bin", Pattern(256));
    rig.dir.Write("data.bin", Pattern(256));
    ASSERT_TRUE(rig.Program());
    using P = RecordingFrontend::Progress;
    // Range and position calls for the code, then the data (offsets, not addresses).
    const std::vector<P> half = {{0, 128, 0}, {0, 128, 0}, {0, 128, 0}, {0, 128, 128}, {0, 128, 0}};
    ASSERT_EQ(rig.ui.progress.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        const P& got = rig.ui.progress[i];
        const P& want = half[i % 5];
        EXPECT_EQ(std::tie(got.min, got.max, got.position),
                  std::tie(want.min, want.max, want.position))
            << "progress change " << i;
    }
}

TEST(BootRomRun, ShortImageGivesSwappedRange) {
    Rig rig(4);
    rig.dir.Write("prog_c.bin", Pattern(64));
    rig.dir.Write("data.bin", {});
    ASSERT_TRUE(rig.Program());
    // 0 .. L - 128 = 0 .. -64, swapped; the empty data image gives -128 .. 0.
    EXPECT_EQ(rig.ui.progress.front().min, -64);
    EXPECT_EQ(rig.ui.progress.front().max, 0);
    EXPECT_EQ(rig.ui.ProgressMin(), -128);
}

// Which files a run takes, by face, UpdateMode and link.
TEST(ImageChoice, FaceModeAndLinkPickTheFiles) {
    struct Case {
        const char* name;
        WindowFace face;
        std::string mode;
        int typeController;
        const char* dataFile;  // whose bytes must land in the chip
        bool programScrambled;
    };
    const std::vector<Case> cases = {
        {"update, keep settings", WindowFace::UpdateFace, kKeepModeText, 4, "data_rd.bin", true},
        {"update, factory settings", WindowFace::UpdateFace, kFactoryModeText, 4, "data.bin", true},
        {"update, no mode", WindowFace::UpdateFace, "", 4, "data.bin", true},
        {"update, mode not exact", WindowFace::UpdateFace, std::string(kKeepModeText) + " ", 4,
         "data.bin", true},
        {"factory, keep mode ignored", WindowFace::FactoryFace, kKeepModeText, 4, "data.bin",
         false},
        {"update, programmer", WindowFace::UpdateFace, kKeepModeText, 0, "data.bin", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.typeController);
        rig.face = c.face;
        rig.s.UpdateMode = UpdateModeFromText(c.mode);
        rig.ui.answers.push_back(true);
        const Bytes program = Pattern(256, 1);
        const Bytes plainProgram = Pattern(256, 2);
        rig.dir.Write("prog_c.bin", Scrambled(program));
        rig.dir.Write("PROG.BIN", plainProgram);  // names match without regard to case
        rig.dir.Write("data.bin", Pattern(128, 3));
        rig.dir.Write("Data_Rd.bin", Pattern(128, 4));
        ASSERT_TRUE(rig.Program());
        const Bytes expectedData =
            rig.dir.Read(c.dataFile == std::string("data.bin") ? "data.bin" : "Data_Rd.bin");
        const Bytes expectedProgram = c.programScrambled ? program : plainProgram;
        if (c.typeController == 0) {
            EXPECT_EQ(Bytes(rig.chip.code.begin(), rig.chip.code.begin() + 256), expectedProgram);
            EXPECT_EQ(Bytes(rig.chip.data.begin(), rig.chip.data.begin() + 128), expectedData);
        } else {
            EXPECT_EQ(FlashRange(rig.chip, 0, 256), expectedProgram);
            EXPECT_EQ(FlashRange(rig.chip, 0x8000 - 128, 128), expectedData);
        }
    }
}

TEST(FactoryFace, AsksFirstAndNoSendsNothing) {
    Rig rig(4);
    rig.Factory(false);
    rig.dir.Write("prog.bin", Pattern(256));
    rig.dir.Write("data.bin", Pattern(128));
    rig.ui.AppendLine("earlier line");
    EXPECT_FALSE(rig.Program());
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].kind, "yesno");
    EXPECT_EQ(rig.ui.boxes[0].text, "Произвести запись?");
    EXPECT_EQ(rig.ui.boxes[0].title, "Zentor");
    EXPECT_EQ(rig.ui.boxes[0].icon, MessageIcon::Question);
    EXPECT_TRUE(rig.port.events.empty());
    EXPECT_EQ(rig.ui.clears, 0);
    EXPECT_EQ(rig.Log(), Lines{"earlier line"});
}

TEST(FactoryFace, YesRunsFromPlainFiles) {
    Rig rig(4);
    rig.Factory(true);
    rig.dir.Write("prog.bin", Pattern(256, 8));
    rig.dir.Write("data.bin", Pattern(128));
    EXPECT_TRUE(EraseAndWrite(rig.s));
    EXPECT_EQ(rig.Log(), kBootRomRunLog);
    EXPECT_EQ(FlashRange(rig.chip, 0, 256), Pattern(256, 8));
}

// A failure ends the run with one line after the lines of the steps that passed.
TEST(BootRomFailures, EachStepReportsAndStops) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> setup;
        Lines log;
        std::string lastSent;
    };
    const std::vector<Case> cases = {
        {"no banner",
         [](Rig& r) { r.chip.banner = "\r\nMSC1201"; },
         {"Нет связи с MSC1210!"},
         "\r"},
        {"no echo",
         [](Rig& r) { r.chip.echoReply = ""; },
         {"MSC1210 Boot ROM v1.0", "Ошибка отключения ЭХО"},
         "E"},
        {"FLASH1 not erased",
         [](Rig& r) { r.chip.failErase = "M0000"; },
         {"MSC1210 Boot ROM v1.0", "Ошибка стирания FLASH1"},
         "M0000"},
        {"FLASH2 not erased",
         [](Rig& r) { r.chip.failErase = "M8000"; },
         {"MSC1210 Boot ROM v1.0", "Стирание FLASH1 - ok!", "Ошибка стирания FLASH2"},
         "M8000"},
        {"configuration refused",
         [](Rig& r) {
             r.port.responder = [&r](const Bytes& w) {
                 return w.size() == 17 ? Bytes{} : r.chip.AnswerBootRom(w);
             };
         },
         {"MSC1210 Boot ROM v1.0", "Стирание FLASH1 - ok!", "Стирание FLASH2 - ok!",
          "Запись CODE FLASH ...", "Запись CODE FLASH - Ok", "Запись DATA FLASH ...",
          "Запись DATA FLASH - Ok", "Ошибка записи регистров конфигурации"},
         ":02807E00A37DE0\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(4);
        rig.dir.Write("prog_c.bin", Pattern(256));
        rig.dir.Write("data.bin", Pattern(128));
        c.setup(rig);
        EXPECT_FALSE(rig.Program());
        EXPECT_EQ(rig.Log(), c.log);
        const auto texts = WrittenTexts(rig);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), c.lastSent);
    }
}

TEST(BootRomFailures, UnacknowledgedRecordNamesItsLoadAddress) {
    struct Case {
        int refused;  // record index: 2 code records, then 8 data records on the Y3
        const char* line;
        std::size_t recordsSent;
    };
    const Case cases[] = {
        {0, "Ошибка записи по адресу 0000h", 1},
        {1, "Ошибка записи по адресу 0080h", 2},
        {2, "Ошибка записи по адресу 1C00h", 3},
        {9, "Ошибка записи по адресу 1F80h", 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Rig rig(2);
        rig.dir.Write("prog_c.bin", Pattern(256));
        rig.dir.Write("data.bin", Pattern(1024));
        rig.chip.refuseRecord = c.refused;
        EXPECT_FALSE(rig.Program());
        EXPECT_EQ(rig.Log().back(), c.line);
        EXPECT_EQ(rig.chip.recordAddresses.size(), c.recordsSent);
        EXPECT_TRUE(rig.chip.configRecord.empty());
        EXPECT_EQ(rig.ui.ProgressPosition(), 0);
    }
}

TEST(BootRomFailures, ControlWriteOffStillJudgesErases) {
    Rig rig(4);
    rig.station.settings.ControlWrite = false;
    rig.dir.Write("prog_c.bin", Pattern(256));
    rig.dir.Write("data.bin", Pattern(128));
    rig.port.responder = [&rig](const Bytes& w) {
        return w == Bytes{0x0D} ? rig.chip.AnswerBootRom(w) : Bytes{};
    };
    EXPECT_FALSE(rig.Program());
    EXPECT_EQ(rig.Log(), (Lines{"MSC1210 Boot ROM v1.0", "Ошибка стирания FLASH1"}));
}

TEST(BootRomFailures, ControlWriteOffGoesOnPastSilentRecords) {
    Rig rig(4);
    rig.station.settings.ControlWrite = false;
    rig.chip.recordReply = "";
    rig.chip.echoReply = "";
    rig.dir.Write("prog_c.bin", Pattern(256));
    rig.dir.Write("data.bin", Pattern(128));
    EXPECT_TRUE(rig.Program());
    // A stage whose records went unanswered does not end with "Ok".
    Lines expected = {"MSC1210 Boot ROM v1.0",
                      "Стирание FLASH1 - ok!",
                      "Стирание FLASH2 - ok!",
                      "Запись CODE FLASH ...",
                      "Запись CODE FLASH - без подтверждения записей: 2",
                      "Запись DATA FLASH ...",
                      "Запись DATA FLASH - без подтверждения записей: 1",
                      "Запись регистров конфигурации - ok!"};
    expected.push_back(
        "Без подтверждения устройства осталось записей: 3. Устройство нужно проверить: "
        "прочитайте его и сравните с записанным.");
    EXPECT_EQ(rig.Log(), expected);
    EXPECT_EQ(rig.chip.recordAddresses.size(), 3u);
}

TEST(BootRomFailures, ChipVanishingMidRunFailsEvenWithoutReplyCheck) {
    Rig rig(4);
    rig.station.settings.ControlWrite = false;
    rig.dir.Write("prog_c.bin", Pattern(512));
    rig.dir.Write("data.bin", Pattern(128));
    int records = 0;
    auto answer = rig.port.responder;
    rig.port.responder = [&](const Bytes& w) {
        if (!w.empty() && w[0] == ':' && ++records == 2) rig.port.hungUp = true;
        return answer(w);
    };
    EXPECT_FALSE(rig.Program());
    ASSERT_FALSE(rig.Log().empty());
    EXPECT_EQ(rig.Log().back(), "Ошибка записи по адресу 0100h");
}

TEST(BootRomFailures, ClosedPortReportsNoConnection) {
    for (int type : {4, 0}) {
        SCOPED_TRACE(type);
        Rig rig(type);
        rig.s.port.reset();
        rig.dir.Write("prog_c.bin", Pattern(256));
        rig.dir.Write("prog.bin", Pattern(256));
        rig.dir.Write("data.bin", Pattern(128));
        EXPECT_FALSE(rig.Program());
        EXPECT_EQ(rig.Log(), Lines{type ? "Нет связи с MSC1210!" : "Нет связи с программатором!"});
        EXPECT_LE(rig.clock.NowMs(), 300);
    }
}

void WriteGoodImages(Rig& r) {
    r.dir.Write("prog.bin", Pattern(256));
    r.dir.Write("data.bin", Pattern(128));
}

// Everything known in advance is refused before a byte is sent: the chip is
// never erased for a run that cannot finish.
TEST(Refusals, OneLineAndNothingSent) {
    struct Case {
        const char* name;
        int typeController;
        WindowFace face;
        std::function<void(Rig&)> setup;
        std::string line;
    };
    const auto F = WindowFace::FactoryFace;
    const auto U = WindowFace::UpdateFace;
    const std::vector<Case> cases = {
        {"prog.bin missing", 4, F, [](Rig& r) { r.dir.Write("data.bin", Pattern(128)); },
         "Невозможно открыть файл \"prog.bin\""},
        {"prog_c.bin missing", 4, U, [](Rig& r) { r.dir.Write("data.bin", Pattern(128)); },
         "Невозможно открыть файл \"prog_c.bin\""},
        {"prog.bin is a folder", 4, F,
         [](Rig& r) {
             std::filesystem::create_directory(r.dir.path() / "prog.bin");
             r.dir.Write("data.bin", Pattern(128));
         },
         "Невозможно открыть файл \"prog.bin\""},
        {"data.bin missing", 4, F, [](Rig& r) { r.dir.Write("prog.bin", Pattern(128)); },
         "Невозможно открыть файл data.bin"},
        {"data_rd.bin missing", 4, U,
         [](Rig& r) {
             r.s.UpdateMode = UpdateMode::Keep;
             r.dir.Write("prog_c.bin", Pattern(128));
             r.dir.Write("data.bin", Pattern(128));
         },
         "Невозможно открыть файл data_rd.bin"},
        {"programmer, prog.bin missing", 0, U,
         [](Rig& r) {
             r.dir.Write("prog_c.bin", Pattern(128));
             r.dir.Write("data.bin", Pattern(128));
         },
         "Невозможно открыть файл \"prog.bin\""},
        {"programmer, data.bin missing", 0, F, [](Rig& r) { r.dir.Write("prog.bin", Pattern(64)); },
         "Невозможно открыть файл data.bin"},
        {"program image too large", 4, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", Pattern(65537));
             r.dir.Write("data.bin", {});
         },
         "Файл \"prog.bin\" больше 65536 байт - запись отменена"},
        {"programmer, data image too large", 0, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", Pattern(64));
             r.dir.Write("data.bin", Pattern(65537));
         },
         "Файл data.bin больше 65536 байт - запись отменена"},
        {"program image empty", 4, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", {});
             r.dir.Write("data.bin", Pattern(128));
         },
         "Файл \"prog.bin\" пуст - запись отменена"},
        {"programmer, program image empty", 0, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", {});
             r.dir.Write("data.bin", Pattern(32));
         },
         "Файл \"prog.bin\" пуст - запись отменена"},
        {"data image larger than the flash", 2, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", Pattern(128));
             r.dir.Write("data.bin", Pattern(8192 + 128));
         },
         "Файл data.bin (8320 байт) больше FLASH (8192 байт) - запись отменена"},
        {"data image not whole records", 4, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", Pattern(128));
             r.dir.Write("data.bin", Pattern(1000));
         },
         "Длина файла data.bin (1000 байт) не кратна 128 - запись отменена"},
        {"program reaches into the data area", 2, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", Pattern(7169));
             r.dir.Write("data.bin", Pattern(1024));
         },
         "Программа (7169 байт) заходит в область данных с адреса 1C00h - запись отменена"},
        {"program larger than the flash", 1, F,
         [](Rig& r) {
             r.dir.Write("prog.bin", Pattern(4097));
             r.dir.Write("data.bin", {});
         },
         "Программа (4097 байт) заходит в область данных с адреса 1000h - запись отменена"},
        {"HCR0 one digit", 4, F,
         [](Rig& r) {
             WriteGoodImages(r);
             r.station.settings.HCR0Value = "7";
         },
         "Неверное значение HCR0: \"7\" - запись отменена"},
        {"HCR1 with a blank", 4, F,
         [](Rig& r) {
             WriteGoodImages(r);
             r.station.settings.HCR1Value = "A3 ";
         },
         "Неверное значение HCR1: \"A3 \" - запись отменена"},
        {"HCR0 not hexadecimal", 4, F,
         [](Rig& r) {
             WriteGoodImages(r);
             r.station.settings.HCR0Value = "G0";
         },
         "Неверное значение HCR0: \"G0\" - запись отменена"},
        {"controller type 5", 5, F, WriteGoodImages,
         "Неизвестный тип контроллера 5 - запись отменена"},
        {"controller type -1", -1, F, WriteGoodImages,
         "Неизвестный тип контроллера -1 - запись отменена"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.typeController);
        rig.face = c.face;
        rig.ui.answers.push_back(true);
        c.setup(rig);
        EXPECT_FALSE(rig.Program());
        EXPECT_EQ(rig.Log(), Lines{c.line});
        EXPECT_FALSE(rig.SentAnything());
        EXPECT_TRUE(rig.port.events.empty());
    }
}

TEST(Refusals, LimitsThemselvesAreAccepted) {
    struct Case {
        const char* name;
        int typeController;
        std::size_t program;
        std::size_t data;
    };
    const Case cases[] = {
        {"program up to the data area", 2, 7168, 1024},
        {"program fills the Y5 flash", 4, 32768, 0},
        {"data fills the Y2 flash but one record", 1, 128, 4096 - 128},
        {"programmer, 65536-byte images", 0, 65536, 65536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.typeController);
        rig.station.settings.DopPause = 0;
        rig.Factory(true);
        rig.dir.Write("prog.bin", Pattern(c.program, 1));
        rig.dir.Write("data.bin", Pattern(c.data, 2));
        EXPECT_TRUE(rig.Program()) << (rig.Log().empty() ? "" : rig.Log().back());
    }
}

const Lines kProgrammerRunLog = {
    "Chip Erase",
    "Write Program memory ...",
    "Write Program memory - Ok",
    "Verify Program memory ...",
    "Verify Program memory - Ok",
    "Write Data memory ...",
    "Verify Data memory ...",
    "Verify Data memory - Ok",
};

TEST(ProgrammerRun, WritesVerifiesAndLogsInOrder) {
    Rig rig(0);
    rig.Factory(true);
    const Bytes program = Pattern(200, 6);  // last page filled with FFh
    const Bytes data = Pattern(64, 7);
    rig.dir.Write("prog.bin", program);
    rig.dir.Write("data.bin", data);
    EXPECT_TRUE(rig.Program());
    EXPECT_EQ(rig.Log(), kProgrammerRunLog);
    Bytes expected = program;
    expected.resize(256, 0xFF);
    EXPECT_EQ(Bytes(rig.chip.code.begin(), rig.chip.code.begin() + 256), expected);
    EXPECT_EQ(Bytes(rig.chip.data.begin(), rig.chip.data.begin() + 64), data);
    EXPECT_EQ(rig.chip.codePagesWritten, (std::vector<int>{0, 64, 128, 192}));
    EXPECT_EQ(rig.chip.dataPagesWritten, (std::vector<int>{0, 32}));
    // sync, 100, enable 20, erase 100, 4 code pages, 20, 2 data pages, 20.
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{100, 20, 100, 20, 20, 20, 20, 20, 20, 20, 20}));
    for (const auto& e : rig.port.events) EXPECT_NE(e.kind, test::ScriptedPort::Event::Purge);
}

TEST(ProgrammerRun, ReadBackDifferenceStopsAtThatPage) {
    struct Case {
        int codePage, dataPage;
        Lines tail;
        int position;
    };
    const Case cases[] = {
        {128, -1, {"Verify Program memory ...", "Ошибка записи программы"}, 128},
        {-1, 32, {"Verify Data memory ...", "Ошибка записи данных"}, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail.back());
        Rig rig(0);
        rig.Factory(true);
        rig.chip.corruptCodePage = c.codePage;
        rig.chip.corruptDataPage = c.dataPage;
        rig.dir.Write("prog.bin", Pattern(256));
        rig.dir.Write("data.bin", Pattern(96));
        EXPECT_FALSE(rig.Program());
        const Lines log = rig.Log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(Lines(log.end() - 2, log.end()), c.tail);
        EXPECT_EQ(rig.ui.ProgressPosition(), c.position);
    }
}

TEST(ProgrammerRun, SilentProgrammer) {
    Rig rig(0);
    rig.Factory(true);
    rig.chip.programmerSilent = true;
    rig.dir.Write("prog.bin", Pattern(256));
    rig.dir.Write("data.bin", Pattern(96));
    EXPECT_FALSE(rig.Program());
    EXPECT_EQ(rig.Log(), Lines{"Нет связи с программатором!"});
    EXPECT_EQ(rig.port.Writes(), (std::vector<Bytes>{{0x55}}));
}

}  // namespace
}  // namespace zentor

namespace zentor {
namespace {

// How far a run got, for each place it can stop; the chip counts as touched
// from the first erase on.
TEST(ProgramResult, StageOfEachStop) {
    struct Case {
        const char* name;
        int typeController = 4;
        std::function<void(Rig&)> setup;
        ProgramStage stage;
        RunPhase phase;  // left in s.run for the journal
    };
    const std::vector<Case> cases = {
        {.name = "declined",
         .setup = [](Rig& r) { r.Factory(false); },
         .stage = ProgramStage::Refused,
         .phase = RunPhase::Nothing},
        {.name = "empty program image",
         .setup = [](Rig& r) { r.dir.Write("prog_c.bin", {}); },
         .stage = ProgramStage::Refused,
         .phase = RunPhase::Nothing},
        {.name = "no banner",
         .setup = [](Rig& r) { r.chip.banner = "\r\n?"; },
         .stage = ProgramStage::NoLink,
         .phase = RunPhase::Boot},
        {.name = "echo refused",
         .setup = [](Rig& r) { r.chip.echoReply = "?"; },
         .stage = ProgramStage::NoLink,
         .phase = RunPhase::Boot},
        {.name = "second erase",
         .setup = [](Rig& r) { r.chip.failErase = "M8000"; },
         .stage = ProgramStage::EraseFailed,
         .phase = RunPhase::Erase},
        {.name = "first code record",
         .setup = [](Rig& r) { r.chip.refuseRecord = 0; },
         .stage = ProgramStage::CodeWriteFailed,
         .phase = RunPhase::Code},
        {.name = "first data record",
         .setup = [](Rig& r) { r.chip.refuseRecord = 2; },
         .stage = ProgramStage::DataWriteFailed,
         .phase = RunPhase::Data},
        {.name = "configuration record",
         .setup = [](Rig& r) { r.chip.configReply = "?"; },
         .stage = ProgramStage::ConfigFailed,
         .phase = RunPhase::Config},
        {.name = "boot ROM done",
         .setup = [](Rig&) {},
         .stage = ProgramStage::Done,
         .phase = RunPhase::Done},
        {.name = "programmer silent",
         .typeController = 0,
         .setup = [](Rig& r) { r.chip.programmerSilent = true; },
         .stage = ProgramStage::NoLink,
         .phase = RunPhase::Boot},
        {.name = "programmer code page",
         .typeController = 0,
         .setup = [](Rig& r) { r.chip.corruptCodePage = 64; },
         .stage = ProgramStage::CodeWriteFailed,
         .phase = RunPhase::Code},
        {.name = "programmer data page",
         .typeController = 0,
         .setup = [](Rig& r) { r.chip.corruptDataPage = 32; },
         .stage = ProgramStage::DataWriteFailed,
         .phase = RunPhase::Data},
        {.name = "programmer done",
         .typeController = 0,
         .setup = [](Rig&) {},
         .stage = ProgramStage::Done,
         .phase = RunPhase::Done},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.typeController);
        rig.dir.Write("prog.bin", Pattern(256, 1));
        rig.dir.Write("prog_c.bin", Pattern(256, 1));
        rig.dir.Write("data.bin", Pattern(128, 2));
        c.setup(rig);
        const ProgramOptions options =
            rig.face == WindowFace::FactoryFace
                ? FactoryProgramOptions()
                : UpdateProgramOptions(c.typeController, UpdateMode::None);
        const ProgramResult result = ProgramChip(rig.s, options);
        EXPECT_EQ(result.stage, c.stage);
        EXPECT_EQ(result.Ok(), c.stage == ProgramStage::Done);
        EXPECT_EQ(rig.s.run.phase, c.phase);
        const bool touched = c.stage != ProgramStage::Refused && c.stage != ProgramStage::NoLink;
        EXPECT_EQ(result.ChipTouched(), touched);
        if (c.stage == ProgramStage::Refused) {
            EXPECT_FALSE(rig.SentAnything());
        }
    }
}

// The DATA FLASH image can come from memory or from any named file; the
// factory file is then not read at all.
TEST(DataFlashSource, BytesAndNamedFile) {
    const Bytes held = Pattern(256, 40);
    const Bytes named = Pattern(128, 41);
    struct Case {
        const char* name;
        DataFlashSource source;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {.name = "bytes",
         .source = DataFlashSource::FromBytes(held, "data_rd.bin"),
         .expected = held},
        {.name = "named file", .source = DataFlashSource::FromFile("Other.BIN"), .expected = named},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(4);
        rig.dir.Write("prog_c.bin", Pattern(256, 1));
        rig.dir.Write("other.bin", named);  // found without regard to case
        ProgramOptions options = UpdateProgramOptions(4, UpdateMode::Keep);
        options.data = c.source;
        ASSERT_TRUE(ProgramChip(rig.s, options).Ok()) << ::testing::PrintToString(rig.Log());
        EXPECT_EQ(FlashRange(rig.chip, 0x8000 - static_cast<int>(c.expected.size()),
                             static_cast<int>(c.expected.size())),
                  c.expected);
    }
    Rig rig(4);
    rig.dir.Write("prog_c.bin", Pattern(256, 1));
    ProgramOptions options = UpdateProgramOptions(4, UpdateMode::Keep);
    options.data = DataFlashSource::FromBytes(Bytes(65537, 0), "data_rd.bin");
    EXPECT_EQ(ProgramChip(rig.s, options).stage, ProgramStage::Refused);
    EXPECT_EQ(rig.Log(), Lines{"Файл data_rd.bin больше 65536 байт - запись отменена"});
    EXPECT_FALSE(rig.SentAnything());
}

}  // namespace
}  // namespace zentor

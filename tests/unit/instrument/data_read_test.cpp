#include <gtest/gtest.h>

#include "instrument/instrument_commands.h"
#include "instrument_rig.h"

namespace zentor::test {
namespace {

using Lines = std::vector<std::string>;

const Bytes kRestartFrame{0x01, 0xFF, 0x01, 0x2B};
const Bytes kOlder{'o', 'l', 'd'};

// Silent on the n-th time (from 1) the frame `f` is sent.
std::function<bool(const Bytes&)> SilentOnNth(Bytes f, int n) {
    return [f, n, seen = 0](const Bytes& w) mutable { return w == f && ++seen == n; };
}

Bytes Flipped(Bytes b, std::size_t at) {
    b[at] ^= 0x01;
    return b;
}

// The read as the update makes it: no restart afterwards.
bool ReadWithoutRestart(Session& s) {
    return ReadDataFlash(s, {.restartAfterwards = false}).has_value();
}

TEST(ReadData, FramesAndWaitsOfOnePage) {
    for (int version : {99, 100}) {
        SCOPED_TRACE(version);
        const int block = version >= 100 ? 128 : 16;
        InstrumentRig rig;
        rig.dev.version = static_cast<std::uint8_t>(version);
        rig.s.settings.SizeData = 256;

        EXPECT_TRUE(ReadWithoutRestart(rig.s));

        std::vector<Bytes> frames{{0x81, 0xED, 0x00, 0x6A},
                                  WithCrc({0x01, 0xFE, 0x00}),
                                  WithCrc({0x01, 0xFF, 0x06}),
                                  {0x81, 0xFF, 0x00, 0x17},
                                  {0x01, 0xFE, 0x03, 0x53}};
        std::vector<std::size_t> readSizes{4, 2, 2, 4, 2};
        std::vector<int> sleeps{10, 10, 5, 10, 10, 5, 10, 10, 5, 200, 10, 10, 5, 10, 10, 5};
        for (int x = 0; x < 256; x += block) {
            frames.push_back(WithCrc(
                {0xC1, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(block - 1)}));
            readSizes.push_back(static_cast<std::size_t>(block) + 3);
            sleeps.insert(sleeps.end(), {10, 10, 5});
        }
        sleeps.push_back(100);
        EXPECT_EQ(rig.port.Writes(), frames);
        std::vector<std::size_t> reads;
        for (const auto& e : rig.port.events)
            if (e.kind == ScriptedPort::Event::Read) reads.push_back(e.requested);
        EXPECT_EQ(reads, readSizes);
        EXPECT_EQ(rig.clock.Sleeps(), sleeps);
        EXPECT_EQ(rig.ui.log, (Lines{"Чтение данных из Velmar" + std::to_string(version),
                                     "Чтение DATA FLASH ...", "Чтение DATA FLASH - Ok"}));
        EXPECT_EQ(rig.Get("data_rd.bin"),
                  Bytes(rig.dev.flash.begin(), rig.dev.flash.begin() + 256));
        EXPECT_EQ(rig.dev.restarts, 0);  // read alone: no restart
    }
}

TEST(ReadData, EightPagesThenRestartInFactoryFace) {
    InstrumentRig rig;
    rig.s.settings.MaxKolReadings = 2;
    std::vector<int> positions;
    EXPECT_TRUE(BitBtnReadDataClick(rig.s));
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
    EXPECT_EQ(rig.dev.flash.size(), 2048u);
    EXPECT_EQ(rig.port.Writes().back(), kRestartFrame);
    EXPECT_EQ(rig.dev.restarts, 1);
    // The restart clears the log: its result is the only line left.
    EXPECT_EQ(rig.ui.log, Lines{"Restart - OK"});
    for (const auto& p : rig.ui.progress) positions.push_back(p.position);
    // Page positions 1..8 per reading, back to 0 between readings and at the end.
    const std::vector<int> reading{1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<int> expected{0, 0};
    expected.insert(expected.end(), reading.begin(), reading.end());
    expected.push_back(0);
    expected.insert(expected.end(), reading.begin(), reading.end());
    expected.push_back(0);
    expected.insert(expected.end(), {0, 0, 0, 0});  // restart countdown with pause 0
    EXPECT_EQ(positions, expected);
}

TEST(ReadData, StopButtonFollowsTheSetting) {
    for (bool show : {true, false}) {
        SCOPED_TRACE(show);
        InstrumentRig rig;
        rig.s.settings.ShowStopButton = show;
        bool visibleDuringRead = false;
        rig.dev.onFrame = [&](const Bytes& w) {
            if ((w[0] & 0xC0) == 0xC0) visibleDuringRead = rig.ui.stopButtonVisible;
        };
        EXPECT_TRUE(BitBtnReadDataClick(rig.s));
        EXPECT_EQ(visibleDuringRead, show);
        EXPECT_FALSE(rig.ui.stopButtonVisible);
    }
}

TEST(ReadData, VersionProbeAttempts) {
    struct Case {
        const char* name;
        int silentProbes;
        Lines head;
        std::size_t blockRead;  // size of the memory-read replies
        std::vector<int> probeSleeps;
    };
    const Case cases[] = {
        {"second attempt",
         1,
         {"Чтение данных из Velmar100", "Чтение DATA FLASH ..."},
         131,
         {10, 10, 5, 50, 10, 10, 5}},
        {"third attempt",
         2,
         {"Чтение данных из Velmar100", "Чтение DATA FLASH ..."},
         131,
         {10, 10, 5, 50, 10, 10, 5, 500, 10, 10, 5}},
        {"no version",
         3,
         {"Чтение DATA FLASH ..."},
         19,
         {10, 10, 5, 50, 10, 10, 5, 500, 10, 10, 5}},
    };
    const Bytes probe{0x81, 0xED, 0x00, 0x6A};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.dev.version = 100;
        rig.s.settings.SizeData = 256;
        rig.dev.silentOn = [&, seen = 0](const Bytes& w) mutable {
            return w == probe && ++seen <= c.silentProbes;
        };
        EXPECT_TRUE(ReadWithoutRestart(rig.s));
        EXPECT_EQ(Lines(rig.ui.log.begin(), rig.ui.log.begin() + c.head.size()), c.head);
        EXPECT_EQ(rig.port.Writes().size(),
                  static_cast<std::size_t>(std::min(c.silentProbes + 1, 3)) + 4 +
                      (c.blockRead == 131 ? 2 : 16));
        EXPECT_EQ(rig.port.events.back().requested, c.blockRead);
        const auto sleeps = rig.clock.Sleeps();
        EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + c.probeSleeps.size()),
                  c.probeSleeps);
        EXPECT_EQ(rig.s.DeviceVersionCode, c.silentProbes < 3 ? 100 : 0);
    }
}

// Which reading ends in the file, and the lines that tell the story.
TEST(ReadData, RepeatedReadings) {
    const Bytes a = Pattern(512, 0);
    const Bytes b = Flipped(a, 511);  // differs in the very last byte
    const Bytes c = Flipped(a, 0);
    struct Case {
        const char* name;
        int readingsWanted;
        std::vector<Bytes> readings;
        Lines tail;  // after "Чтение DATA FLASH ..."
        Bytes file;
        int readingsTaken;
    };
    const Case cases[] = {
        {"R = 1", 1, {a, b}, {"Чтение DATA FLASH - Ok"}, a, 1},
        {"three equal readings",
         3,
         {a, a, a},
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...", "2-e чтение DATA FLASH - Ok",
          "3-e чтение DATA FLASH ...", "3-e чтение DATA FLASH - Ok", "Чтение DATA FLASH - Ok"},
         a,
         3},
        {"reading 2 differs",
         3,
         {a, b, b, b},
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...",
          "Данные 2-го чтения DATA FLASH - не совпали с предыдущим.", "2-e чтение DATA FLASH ...",
          "2-e чтение DATA FLASH - Ok", "3-e чтение DATA FLASH ...", "3-e чтение DATA FLASH - Ok",
          "Чтение DATA FLASH - Ok"},
         b,
         4},
        {"reading 3 differs once",
         3,
         {a, a, b, a},
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...", "2-e чтение DATA FLASH - Ok",
          "3-e чтение DATA FLASH ...", "Данные 3-го чтения DATA FLASH - не совпали с предыдущим.",
          "3-e чтение DATA FLASH ...", "3-e чтение DATA FLASH - Ok", "Чтение DATA FLASH - Ok"},
         a,
         4},
        {"reading 3 differs twice",
         3,
         {a, a, b, c, c, c},
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...", "2-e чтение DATA FLASH - Ok",
          "3-e чтение DATA FLASH ...", "Данные 3-го чтения DATA FLASH - не совпали с предыдущим.",
          "3-e чтение DATA FLASH ...", "Данные 3-го чтения DATA FLASH - не совпали с предыдущим.",
          "2-e чтение DATA FLASH ...", "2-e чтение DATA FLASH - Ok", "3-e чтение DATA FLASH ...",
          "3-e чтение DATA FLASH - Ok", "Чтение DATA FLASH - Ok"},
         c,
         6},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        InstrumentRig rig;
        rig.dev.version = 100;
        rig.dev.readings = t.readings;
        rig.s.settings.SizeData = 512;
        rig.s.settings.MaxKolReadings = t.readingsWanted;
        EXPECT_TRUE(ReadWithoutRestart(rig.s));
        Lines expected{"Чтение данных из Velmar100", "Чтение DATA FLASH ..."};
        expected.insert(expected.end(), t.tail.begin(), t.tail.end());
        EXPECT_EQ(rig.ui.log, expected);
        EXPECT_EQ(rig.Get("data_rd.bin"), t.file);
        EXPECT_EQ(rig.dev.readingCount, t.readingsTaken);
    }
}

// A failing step ends the read with its lines; no file, no restart, the older
// data_rd.bin survives.
TEST(ReadData, FailureLines) {
    struct Case {
        const char* name;
        int version;
        int readingsWanted;
        std::function<bool(const Bytes&)> silent;
        int badStatusPage;
        Lines lines;  // after the start lines
    };
    auto noLink = [](const std::string& step) {
        return Lines{"", step, "Команда не прошла.", "Нет связи с устройством!", ""};
    };
    const Lines secondReading{"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ..."};
    auto concat = [](Lines x, const Lines& y) {
        x.insert(x.end(), y.begin(), y.end());
        return x;
    };
    const Case cases[] = {
        {"select page", 99, 1, SilentOnNth(WithCrc({0x01, 0xFE, 0x01}), 1), -1,
         noLink("Выбор страницы DATA FLASH = 1 ...")},
        {"copy page", 99, 1, SilentOnNth(WithCrc({0x01, 0xFF, 0x06}), 2), -1,
         noLink("Copy page DATA FLASH = 1 в SRAM = 3 ...")},
        {"status: no reply", 99, 1, SilentOnNth({0x81, 0xFF, 0x00, 0x17}, 2), -1,
         noLink("Check read page CODE FLASH = 1 ...")},
        {"status: not 0",
         99,
         1,
         nullptr,
         1,
         {"", "Check read page CODE FLASH = 1 ...", "Ошибка чтения", ""}},
        {"select SRAM page", 99, 1, SilentOnNth({0x01, 0xFE, 0x03, 0x53}, 2), -1,
         noLink("Выбор страницы SRAM = 3 ...")},
        {"16-byte block", 99, 1, SilentOnNth(WithCrc({0xC1, 0x20, 0x0F}), 2), -1,
         noLink("Чтение 16 байт DATA FLASH = 1 (32) ...")},
        {"128-byte block", 100, 1, SilentOnNth(WithCrc({0xC1, 0x80, 0x7F}), 2), -1,
         noLink("Чтение 128байт DATA FLASH = 1 (128) ...")},
        {"select page in the second reading", 99, 2, SilentOnNth(WithCrc({0x01, 0xFE, 0x01}), 2),
         -1, concat(secondReading, noLink("Выбор страницы DATA FLASH = 1 ..."))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.dev.version = static_cast<std::uint8_t>(c.version);
        if (c.silent) rig.dev.silentOn = c.silent;
        const int bad = c.badStatusPage;
        rig.dev.status = [bad](int page) { return page == bad ? 1 : 0; };
        Bytes lastSent;
        rig.dev.onFrame = [&](const Bytes& w) { lastSent = w; };
        rig.s.settings.SizeData = 512;
        rig.s.settings.MaxKolReadings = c.readingsWanted;
        rig.Put("data_rd.bin", kOlder);

        EXPECT_FALSE(BitBtnReadDataClick(rig.s));

        Lines expected{"Чтение данных из Velmar" + std::to_string(c.version),
                       "Чтение DATA FLASH ..."};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(rig.ui.log, expected);
        EXPECT_EQ(rig.Get("data_rd.bin"), kOlder);
        EXPECT_EQ(rig.dev.restarts, 0);
        EXPECT_FALSE(rig.ui.stopButtonVisible);
        EXPECT_EQ(rig.port.Writes().back(), lastSent);  // nothing sent after the failure
    }
}

// Stop is honoured before the next page or block: nothing more is sent, no
// file, no restart, the older file stays.
TEST(ReadData, StopDuringARead) {
    struct Case {
        const char* name;
        int readingsWanted;
        int stopOnBlockRead;  // the n-th memory read sets StopRequested
        Lines tail;           // lines after "Чтение DATA FLASH ..."
    };
    const Case cases[] = {
        {"between blocks", 1, 5, {}},
        {"between pages", 1, 16, {}},
        {"before the second reading",
         2,
         32,
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ..."}},
        {"inside the second reading",
         2,
         40,
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ..."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.s.settings.SizeData = 512;
        rig.s.settings.MaxKolReadings = c.readingsWanted;
        rig.Put("data_rd.bin", kOlder);
        int blockReads = 0;
        std::size_t writesAtStop = 0;
        rig.dev.onFrame = [&](const Bytes& w) {
            if ((w[0] & 0xC0) == 0xC0 && ++blockReads == c.stopOnBlockRead) {
                BitBtnStopClick(rig.s);
                writesAtStop = rig.port.Writes().size();
            }
        };

        EXPECT_FALSE(BitBtnReadDataClick(rig.s));

        EXPECT_EQ(rig.port.Writes().size(), writesAtStop);
        EXPECT_FALSE(rig.s.StopRequested);
        EXPECT_FALSE(rig.ui.stopButtonVisible);
        EXPECT_EQ(rig.Get("data_rd.bin"), kOlder);
        EXPECT_EQ(rig.dev.restarts, 0);
        Lines expected{"Чтение данных из Velmar99", "Чтение DATA FLASH ..."};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(rig.ui.log, expected);
    }
}

// The restart that ends a read or a write is one of its steps: the same silent
// instrument fails both commands, and the last line says it was the restart.
TEST(ReadData, FailedRestartFailsTheReadAsItFailsTheWrite) {
    const struct {
        const char* name;
        bool (*command)(Session&);
    } commands[] = {{"read", BitBtnReadDataClick}, {"write", BitBtnWriteDataClick}};
    for (const auto& c : commands) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.Put("data.bin", rig.dev.flash);
        rig.dev.silentOn = [](const Bytes& w) { return w == kRestartFrame; };
        EXPECT_FALSE(c.command(rig.s));
        ASSERT_FALSE(rig.ui.log.empty());
        EXPECT_EQ(rig.ui.log.back(), "Нет связи с устройством!");
        EXPECT_EQ(rig.dev.restarts, 0);
    }
}

// A stop request that comes after the last page is not a stop of the read: it
// is left set, and the read counts as done.
TEST(ReadData, StopRequestAfterTheReadIsNotHonoured) {
    InstrumentRig rig;
    rig.dev.onFrame = [&](const Bytes& w) {
        if (w == kRestartFrame) BitBtnStopClick(rig.s);
    };
    EXPECT_TRUE(BitBtnReadDataClick(rig.s));
    EXPECT_TRUE(rig.s.StopRequested);
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
}

TEST(ReadData, StaleStopRequestIsClearedAtStart) {
    InstrumentRig rig;
    rig.s.StopRequested = true;
    EXPECT_TRUE(BitBtnReadDataClick(rig.s));
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
}

TEST(ReadData, UnusableSizesAreRefusedBeforeSending) {
    struct Case {
        int size;
        std::string line;
    };
    const Case cases[] = {
        {300, "Размер данных 300 байт должен быть кратен 256"},
        {2047, "Размер данных 2047 байт должен быть кратен 256"},
        {65792, "Размер данных 65792 байт вне диапазона 0..65536"},
        {-256, "Размер данных -256 байт вне диапазона 0..65536"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        InstrumentRig rig;
        rig.s.settings.SizeData = c.size;
        rig.Put("data_rd.bin", kOlder);
        EXPECT_FALSE(BitBtnReadDataClick(rig.s));
        EXPECT_EQ(rig.ui.log, Lines{c.line});
        EXPECT_TRUE(rig.port.events.empty());
        EXPECT_TRUE(rig.clock.Sleeps().empty());
        EXPECT_TRUE(rig.ui.stopButtonChanges.empty());
        EXPECT_EQ(rig.Get("data_rd.bin"), kOlder);
    }
}

// The largest image: 256 pages, the last one numbered 255.
TEST(ReadData, LargestSizeReadsPage255) {
    InstrumentRig rig;
    rig.dev.version = 100;
    rig.dev.flash = Pattern(65536, 9);
    rig.s.settings.SizeData = 65536;
    const auto image = ReadDataFlash(rig.s, {.restartAfterwards = false});
    ASSERT_TRUE(image);
    EXPECT_EQ(*image, rig.dev.flash) << "the caller gets the bytes it saved";
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
    EXPECT_EQ(rig.WritesStartingWith({0x01, 0xFE, 0xFF}).size(), 1u);
}

TEST(ReadData, EmptySizeWritesAnEmptyFile) {
    InstrumentRig rig;
    rig.s.settings.SizeData = 0;
    rig.Put("data_rd.bin", kOlder);
    EXPECT_TRUE(ReadWithoutRestart(rig.s));
    EXPECT_EQ(rig.Get("data_rd.bin"), Bytes{});
}

TEST(ReadData, ReplacesAnExistingFileWhateverItsCase) {
    InstrumentRig rig;
    rig.Put("DATA_RD.BIN", kOlder);
    EXPECT_TRUE(ReadWithoutRestart(rig.s));
    EXPECT_EQ(rig.Get("DATA_RD.BIN"), rig.dev.flash);
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(rig.dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST(ReadData, FileThatCannotBeWritten) {
    InstrumentRig rig;
    rig.s.workDir = rig.dir.path() / "missing";
    EXPECT_FALSE(BitBtnReadDataClick(rig.s));
    EXPECT_EQ(rig.ui.log.back(), "Невозможно открыть файл data_rd.bin");
    EXPECT_EQ(rig.dev.restarts, 0);
    EXPECT_FALSE(rig.ui.stopButtonVisible);
}

TEST(ReadData, ClosedPortFailsAtTheFirstPage) {
    InstrumentRig rig;
    rig.s.hComPort.reset();
    EXPECT_FALSE(BitBtnReadDataClick(rig.s));
    EXPECT_EQ(rig.ui.log, (Lines{"Чтение DATA FLASH ...", "", "Выбор страницы DATA FLASH = 0 ...",
                                 "Команда не прошла.", "Нет связи с устройством!", ""}));
    EXPECT_FALSE(std::filesystem::exists(rig.File("data_rd.bin")));
}

}  // namespace
}  // namespace zentor::test

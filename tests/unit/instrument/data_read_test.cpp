#include <gtest/gtest.h>

#include "instrument/instrument_commands.h"
#include "instrument_rig.h"

namespace zentor::test {
namespace {

using Lines = std::vector<std::string>;

const Bytes kRestartFrame{0x01, 0xFF, 0x01, 0x2B};
const Bytes kOlder{'o', 'l', 'd'};

Bytes Flipped(Bytes b, std::size_t at) {
    b[at] ^= 0x01;
    return b;
}

// The read as the update makes it: no restart afterwards.
bool ReadWithoutRestart(Job& s) {
    return ReadDataFlash(s, {.restartAfterwards = false}).has_value();
}

TEST(ReadData, FramesAndWaitsOfOnePage) {
    for (int version : {99, 100}) {
        SCOPED_TRACE(version);
        const int block = version >= 100 ? 128 : 16;
        InstrumentRig rig;
        rig.dev.version = static_cast<std::uint8_t>(version);
        rig.station.settings.SizeData = 256;

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
    rig.station.settings.MaxKolReadings = 2;
    std::vector<int> positions;
    EXPECT_TRUE(ReadData(rig.s));
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
        rig.station.settings.ShowStopButton = show;
        bool visibleDuringRead = false;
        rig.dev.onFrame = [&](const Bytes& w) {
            if ((w[0] & 0xC0) == 0xC0) visibleDuringRead = rig.ui.stopButtonVisible;
        };
        EXPECT_TRUE(ReadData(rig.s));
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
        {.name = "second attempt",
         .silentProbes = 1,
         .head = {"Чтение данных из Velmar100", "Чтение DATA FLASH ..."},
         .blockRead = 131,
         .probeSleeps = {10, 10, 5, 50, 10, 10, 5}},
        {.name = "third attempt",
         .silentProbes = 2,
         .head = {"Чтение данных из Velmar100", "Чтение DATA FLASH ..."},
         .blockRead = 131,
         .probeSleeps = {10, 10, 5, 50, 10, 10, 5, 500, 10, 10, 5}},
        {.name = "no version",
         .silentProbes = 3,
         .head = {"Чтение DATA FLASH ..."},
         .blockRead = 19,
         .probeSleeps = {10, 10, 5, 50, 10, 10, 5, 500, 10, 10, 5}},
    };
    const Bytes probe{0x81, 0xED, 0x00, 0x6A};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.dev.version = 100;
        rig.station.settings.SizeData = 256;
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
        {.name = "R = 1",
         .readingsWanted = 1,
         .readings = {a, b},
         .tail = {"Чтение DATA FLASH - Ok"},
         .file = a,
         .readingsTaken = 1},
        {.name = "three equal readings",
         .readingsWanted = 3,
         .readings = {a, a, a},
         .tail = {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...",
                  "2-e чтение DATA FLASH - Ok", "3-e чтение DATA FLASH ...",
                  "3-e чтение DATA FLASH - Ok", "Чтение DATA FLASH - Ok"},
         .file = a,
         .readingsTaken = 3},
        {.name = "reading 2 differs",
         .readingsWanted = 3,
         .readings = {a, b, b, b},
         .tail = {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...",
                  "Данные 2-го чтения DATA FLASH - не совпали с предыдущим.",
                  "2-e чтение DATA FLASH ...", "2-e чтение DATA FLASH - Ok",
                  "3-e чтение DATA FLASH ...", "3-e чтение DATA FLASH - Ok",
                  "Чтение DATA FLASH - Ok"},
         .file = b,
         .readingsTaken = 4},
        {.name = "reading 3 differs once",
         .readingsWanted = 3,
         .readings = {a, a, b, a},
         .tail = {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...",
                  "2-e чтение DATA FLASH - Ok", "3-e чтение DATA FLASH ...",
                  "Данные 3-го чтения DATA FLASH - не совпали с предыдущим.",
                  "3-e чтение DATA FLASH ...", "3-e чтение DATA FLASH - Ok",
                  "Чтение DATA FLASH - Ok"},
         .file = a,
         .readingsTaken = 4},
        {.name = "reading 3 differs twice",
         .readingsWanted = 3,
         .readings = {a, a, b, c, c, c},
         .tail = {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...",
                  "2-e чтение DATA FLASH - Ok", "3-e чтение DATA FLASH ...",
                  "Данные 3-го чтения DATA FLASH - не совпали с предыдущим.",
                  "3-e чтение DATA FLASH ...",
                  "Данные 3-го чтения DATA FLASH - не совпали с предыдущим.",
                  "2-e чтение DATA FLASH ...", "2-e чтение DATA FLASH - Ok",
                  "3-e чтение DATA FLASH ...", "3-e чтение DATA FLASH - Ok",
                  "Чтение DATA FLASH - Ok"},
         .file = c,
         .readingsTaken = 6},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        InstrumentRig rig;
        rig.dev.version = 100;
        rig.dev.readings = t.readings;
        rig.station.settings.SizeData = 512;
        rig.station.settings.MaxKolReadings = t.readingsWanted;
        EXPECT_TRUE(ReadWithoutRestart(rig.s));
        Lines expected{"Чтение данных из Velmar100", "Чтение DATA FLASH ..."};
        expected.insert(expected.end(), t.tail.begin(), t.tail.end());
        EXPECT_EQ(rig.ui.log, expected);
        EXPECT_EQ(rig.Get("data_rd.bin"), t.file);
        EXPECT_EQ(rig.dev.readingCount, t.readingsTaken);
    }
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
        rig.station.settings.SizeData = c.size;
        rig.Put("data_rd.bin", kOlder);
        EXPECT_FALSE(ReadData(rig.s));
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
    rig.station.settings.SizeData = 65536;
    const auto image = ReadDataFlash(rig.s, {.restartAfterwards = false});
    ASSERT_TRUE(image);
    EXPECT_EQ(*image, rig.dev.flash) << "the caller gets the bytes it saved";
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
    EXPECT_EQ(rig.WritesStartingWith({0x01, 0xFE, 0xFF}).size(), 1u);
}

TEST(ReadData, EmptySizeWritesAnEmptyFile) {
    InstrumentRig rig;
    rig.station.settings.SizeData = 0;
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
    rig.station.place.workDir = rig.dir.path() / "missing";
    EXPECT_FALSE(ReadData(rig.s));
    EXPECT_EQ(rig.ui.log.back(), "Невозможно открыть файл data_rd.bin");
    EXPECT_EQ(rig.dev.restarts, 0);
    EXPECT_FALSE(rig.ui.stopButtonVisible);
}

TEST(ReadData, ClosedPortFailsAtTheFirstPage) {
    InstrumentRig rig;
    rig.s.port.reset();
    EXPECT_FALSE(ReadData(rig.s));
    EXPECT_EQ(rig.ui.log, (Lines{"Чтение DATA FLASH ...", "", "Выбор страницы DATA FLASH = 0 ...",
                                 "Команда не прошла.", "Нет связи с устройством!", ""}));
    EXPECT_FALSE(std::filesystem::exists(rig.File("data_rd.bin")));
}

}  // namespace
}  // namespace zentor::test

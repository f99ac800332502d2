#include <gtest/gtest.h>

#include <numeric>

#include "instrument/instrument_commands.h"
#include "instrument_rig.h"

namespace zentor::test {
namespace {

using Lines = std::vector<std::string>;

const Bytes kProbe{0x81, 0xED, 0x00, 0x6A};
const Bytes kRestartFrame{0x01, 0xFF, 0x01, 0x2B};

std::vector<int> Range(int n) {
    std::vector<int> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), 0);
    return v;
}

TEST(WriteData, FramesAndWaitsOfOnePage) {
    for (int version : {99, 100}) {
        SCOPED_TRACE(version);
        const int block = version >= 100 ? 128 : 16;
        InstrumentRig rig;
        rig.dev.version = static_cast<std::uint8_t>(version);
        const Bytes data = Pattern(256, 4);
        rig.Put("data.bin", data);

        EXPECT_TRUE(WriteData(rig.s));

        std::vector<Bytes> frames{kProbe, {0x01, 0xFE, 0x03, 0x53}};
        frames.push_back(block == 16 ? WithCrc({0x01, 0xFB, 0x01}) : WithCrc({0x01, 0xFF, 0xFB}));
        for (int x = 0; x < 256; x += block) {
            Bytes f{0x41, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(block - 1)};
            f.insert(f.end(), data.begin() + x, data.begin() + x + block);
            frames.push_back(WithCrc(f));
        }
        frames.push_back(block == 16 ? WithCrc({0x01, 0xFB, 0x00, 0x00})
                                     : Bytes{0x01, 0xFF, 0x00, 0xFA, 0xCD});
        frames.push_back(WithCrc({0x01, 0xFE, 0x00}));
        frames.push_back(WithCrc({0x01, 0xFF, 0x05}));
        frames.push_back({0x81, 0xFF, 0x00, 0x17});
        frames.push_back(kRestartFrame);
        EXPECT_EQ(rig.port.Writes(), frames);

        // Every exchange is paced 10/10/5; the store is followed by 200 ms.
        std::vector<int> sleeps;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            sleeps.insert(sleeps.end(), {10, 10, 5});
            if (frames[i] == WithCrc({0x01, 0xFF, 0x05})) sleeps.push_back(200);
        }
        EXPECT_EQ(rig.clock.Sleeps(), sleeps);
        EXPECT_EQ(rig.ui.log, (Lines{"Запись данных в Velmar" + std::to_string(version) + " ...",
                                     "Запись данных - Ok", "Restart ...", "Restart - OK"}));
        EXPECT_EQ(Bytes(rig.dev.flash.begin(), rig.dev.flash.begin() + 256), data);
        EXPECT_EQ(rig.dev.restarts, 1);
    }
}

TEST(WriteData, EveryPageStoredInOrder) {
    InstrumentRig rig;
    const Bytes data = Pattern(2048, 5);
    rig.Put("data.bin", data);
    rig.dev.flash.assign(2048, 0xFF);
    EXPECT_TRUE(WriteData(rig.s));
    EXPECT_EQ(rig.dev.flash, data);
    EXPECT_EQ(rig.dev.storedPages, Range(8));
    std::vector<int> positions;
    for (const auto& p : rig.ui.progress) positions.push_back(p.position);
    EXPECT_EQ(positions, (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0}));
    EXPECT_EQ(rig.ui.ProgressMax(), 8);
}

// Only whole pages are written; the largest file has page 255 as its last.
TEST(WriteData, FileSizes) {
    struct Case {
        std::size_t size;
        int pages;
    };
    for (const Case c : {Case{300, 1}, Case{255, 0}, Case{0, 0}, Case{65536, 256}}) {
        SCOPED_TRACE(c.size);
        InstrumentRig rig;
        rig.dev.version = 100;
        const Bytes data = Pattern(c.size, 6);
        rig.Put("data.bin", data);
        rig.dev.flash.clear();
        EXPECT_TRUE(WriteData(rig.s));
        EXPECT_EQ(rig.dev.storedPages, Range(c.pages));
        EXPECT_EQ(rig.dev.flash, Bytes(data.begin(), data.begin() + c.pages * 256));
        EXPECT_EQ(rig.ui.log, (Lines{"Запись данных в Velmar100 ...", "Запись данных - Ok",
                                     "Restart ...", "Restart - OK"}));
        EXPECT_EQ(rig.port.Writes().back(), kRestartFrame);
    }
}

TEST(WriteData, FindsTheFileWhateverItsCase) {
    InstrumentRig rig;
    const Bytes data = Pattern(256, 8);
    rig.Put("DATA.BIN", data);
    EXPECT_TRUE(WriteData(rig.s));
    EXPECT_EQ(Bytes(rig.dev.flash.begin(), rig.dev.flash.begin() + 256), data);
}

TEST(WriteData, Failures) {
    struct Case {
        const char* name;
        std::optional<std::size_t> fileSize = std::nullopt;  // no data.bin when empty
        std::function<bool(const Bytes&)> silent = nullptr;
        int badStatusPage = -1;
        Lines log = {};
        std::vector<int> stored = {};
        std::size_t frames = 0;            // frames sent in all
        LinkError link = LinkError::None;  // the run's record says why
    };
    const Lines start{"Запись данных в Velmar99 ..."};
    auto after = [&](Lines tail) {
        Lines l = start;
        l.insert(l.end(), tail.begin(), tail.end());
        return l;
    };
    // Frames per page with 16-byte blocks: SRAM, open, 16 blocks, close, page, store, status.
    const std::size_t perPage = 1 + 1 + 16 + 1 + 1 + 1 + 1;
    const Case cases[] = {
        {.name = "no data.bin", .log = {"Невозможно открыть файл data.bin"}},
        {.name = "data.bin above 65536 bytes",
         .fileSize = 65537,
         .log = {"Файл data.bin больше 65536 байт"}},
        {.name = "no instrument",
         .fileSize = 2048,
         .silent = [](const Bytes&) { return true; },
         .log = {"Ошибка чтения версии устройства!"},
         .frames = 3,
         .link = LinkError::Timeout},
        {.name = "status 1 after page 2",
         .fileSize = 2048,
         .badStatusPage = 2,
         .log = after({"Ошибка записи"}),
         .stored = {0, 1, 2},
         .frames = 1 + 3 * perPage,
         .link = LinkError::Refused},
        {.name = "close frame unanswered",
         .fileSize = 2048,
         .silent =
             [](const Bytes& w) {
                 return w == WithCrc({0x01, 0xFB, 0x00, 0x00});
             },
         .log = after({"Нет связи с устройством!"}),
         .frames = 1 + 19,
         .link = LinkError::Timeout},
        {.name = "store unanswered on page 1",
         .fileSize = 2048,
         .silent =
             [seen = 0](const Bytes& w) mutable {
                 return w == WithCrc({0x01, 0xFF, 0x05}) && ++seen == 2;
             },
         .log = after({"Нет связи с устройством!"}),
         .stored = {0},
         .frames = 1 + perPage + 21,
         .link = LinkError::Timeout},
        {.name = "restart unanswered",
         .fileSize = 512,
         .silent = [](const Bytes& w) { return w == kRestartFrame; },
         .log = after({"Запись данных - Ok", "Restart ...", "Нет связи с устройством!"}),
         .stored = {0, 1},
         .frames = 1 + 2 * perPage + 1,
         .link = LinkError::Timeout},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        if (c.fileSize) rig.Put("data.bin", Pattern(*c.fileSize, 2));
        if (c.silent) rig.dev.silentOn = c.silent;
        const int bad = c.badStatusPage;
        rig.dev.status = [bad](int page) { return page == bad ? 1 : 0; };

        EXPECT_FALSE(WriteData(rig.s));

        EXPECT_EQ(rig.ui.log, c.log);
        EXPECT_EQ(rig.dev.storedPages, c.stored);
        EXPECT_EQ(rig.port.Writes().size(), c.frames);
        EXPECT_EQ(rig.dev.restarts, 0);
        EXPECT_EQ(rig.s.run.linkError, c.link) << LinkErrorText(rig.s.run.linkError);
    }
}

// Not a file that can be read: refused like a missing one, nothing sent.
TEST(WriteData, DirectoryNamedDataBin) {
    InstrumentRig rig;
    std::filesystem::create_directory(rig.File("data.bin"));
    EXPECT_FALSE(WriteData(rig.s));
    EXPECT_EQ(rig.ui.log, Lines{"Невозможно открыть файл data.bin"});
    EXPECT_TRUE(rig.port.events.empty());
}

TEST(WriteData, ProbeRetriesBeforeGivingUp) {
    InstrumentRig rig;
    rig.Put("data.bin", Pattern(256, 1));
    rig.dev.silentOn = [](const Bytes&) { return true; };
    EXPECT_FALSE(WriteData(rig.s));
    EXPECT_EQ(rig.port.Writes(), (std::vector<Bytes>{kProbe, kProbe, kProbe}));
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{10, 10, 5, 50, 10, 10, 5, 500, 10, 10, 5}));
    EXPECT_EQ(rig.s.DeviceVersionCode, 0);
}

}  // namespace
}  // namespace zentor::test

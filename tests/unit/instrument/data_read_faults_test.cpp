// DATA FLASH read: failing steps and stop requests.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

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

// A failing step ends the read with its lines; no file, no restart, the older
// data_rd.bin survives.
TEST(ReadData, FailureLines) {
    struct Case {
        const char* name;
        int version = 99;
        int readingsWanted = 1;
        std::function<bool(const Bytes&)> silent = nullptr;
        int badStatusPage = -1;
        Lines lines = {};                  // after the start lines
        LinkError link = LinkError::None;  // the run's record says why
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
        {.name = "select page",
         .silent = SilentOnNth(WithCrc({0x01, 0xFE, 0x01}), 1),
         .lines = noLink("Выбор страницы DATA FLASH = 1 ..."),
         .link = LinkError::Timeout},
        {.name = "copy page",
         .silent = SilentOnNth(WithCrc({0x01, 0xFF, 0x06}), 2),
         .lines = noLink("Copy page DATA FLASH = 1 в SRAM = 3 ..."),
         .link = LinkError::Timeout},
        {.name = "status: no reply",
         .silent = SilentOnNth({0x81, 0xFF, 0x00, 0x17}, 2),
         .lines = noLink("Check read page CODE FLASH = 1 ..."),
         .link = LinkError::Timeout},
        {.name = "status: not 0",
         .badStatusPage = 1,
         .lines = {"", "Check read page CODE FLASH = 1 ...", "Ошибка чтения", ""},
         .link = LinkError::Refused},
        {.name = "select SRAM page",
         .silent = SilentOnNth({0x01, 0xFE, 0x03, 0x53}, 2),
         .lines = noLink("Выбор страницы SRAM = 3 ..."),
         .link = LinkError::Timeout},
        {.name = "16-byte block",
         .silent = SilentOnNth(WithCrc({0xC1, 0x20, 0x0F}), 2),
         .lines = noLink("Чтение 16 байт DATA FLASH = 1 (32) ..."),
         .link = LinkError::Timeout},
        {.name = "128-byte block",
         .version = 100,
         .silent = SilentOnNth(WithCrc({0xC1, 0x80, 0x7F}), 2),
         .lines = noLink("Чтение 128байт DATA FLASH = 1 (128) ..."),
         .link = LinkError::Timeout},
        {.name = "select page in the second reading",
         .readingsWanted = 2,
         .silent = SilentOnNth(WithCrc({0x01, 0xFE, 0x01}), 2),
         .lines = concat(secondReading, noLink("Выбор страницы DATA FLASH = 1 ...")),
         .link = LinkError::Timeout},
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
        rig.station.settings.SizeData = 512;
        rig.station.settings.MaxKolReadings = c.readingsWanted;
        rig.Put("data_rd.bin", kOlder);

        EXPECT_FALSE(ReadData(rig.s));

        Lines expected{"Чтение данных из Velmar" + std::to_string(c.version),
                       "Чтение DATA FLASH ..."};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(rig.ui.log, expected);
        EXPECT_EQ(rig.Get("data_rd.bin"), kOlder);
        EXPECT_EQ(rig.dev.restarts, 0);
        EXPECT_FALSE(rig.ui.stopButtonVisible);
        EXPECT_EQ(rig.port.Writes().back(), lastSent);  // nothing sent after the failure
        EXPECT_EQ(rig.s.run.linkError, c.link) << LinkErrorText(rig.s.run.linkError);
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
        {.name = "between blocks", .readingsWanted = 1, .stopOnBlockRead = 5, .tail = {}},
        {.name = "between pages", .readingsWanted = 1, .stopOnBlockRead = 16, .tail = {}},
        {.name = "before the second reading",
         .readingsWanted = 2,
         .stopOnBlockRead = 32,
         .tail = {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ..."}},
        {.name = "inside the second reading",
         .readingsWanted = 2,
         .stopOnBlockRead = 40,
         .tail = {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ..."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.station.settings.SizeData = 512;
        rig.station.settings.MaxKolReadings = c.readingsWanted;
        rig.Put("data_rd.bin", kOlder);
        int blockReads = 0;
        std::size_t writesAtStop = 0;
        rig.dev.onFrame = [&](const Bytes& w) {
            if ((w[0] & 0xC0) == 0xC0 && ++blockReads == c.stopOnBlockRead) {
                RequestStop(rig.controls);
                writesAtStop = rig.port.Writes().size();
            }
        };

        EXPECT_FALSE(ReadData(rig.s));

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
        bool (*command)(Job&);
    } commands[] = {{"read", ReadData}, {"write", WriteData}};
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
        if (w == kRestartFrame) RequestStop(rig.controls);
    };
    EXPECT_TRUE(ReadData(rig.s));
    EXPECT_TRUE(rig.s.StopRequested);
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
}

TEST(ReadData, StaleStopRequestIsClearedAtStart) {
    InstrumentRig rig;
    rig.s.StopRequested = true;
    EXPECT_TRUE(ReadData(rig.s));
    EXPECT_EQ(rig.Get("data_rd.bin"), rig.dev.flash);
}

}  // namespace
}  // namespace zentor::test

#include "bootrom/boot_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "bootrom/hex_record.h"
#include "bootrom_rig.h"

namespace zentor {
namespace {

using test::Bytes;
using test::Rig;
using test::ScriptedPort;
using test::Text;
using Kind = ScriptedPort::Event::Kind;

const Bytes kPage64 = test::Pattern(64, 9);
const Bytes kPage32 = test::Pattern(32, 17);
const Bytes kData128 = test::Pattern(128, 1);

// The links as the programming run builds them from the rig's session.
struct Links {
    explicit Links(Rig& rig)
        : boot(rig.s.LinkPort(), rig.clock, {rig.s.settings.DopPause, rig.s.settings.ControlWrite}),
          prog(rig.s.LinkPort(), rig.clock) {}
    BootRomLink boot;
    ProgrammerLink prog;
};

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes RecordBytes(std::uint16_t address) {
    std::uint8_t out[kDataRecordLength];
    const std::size_t n = ComposeDataRecord(out, address, kData128.data());
    return Bytes(out, out + n);
}

// What one command puts on the wire and how long it waits, DopPause 300.
TEST(BootLinkCommands, BytesWaitsAndReplyLengths) {
    struct Case {
        const char* name;
        std::function<void(Links&)> run;
        Bytes sent;
        std::vector<int> sleeps;
        bool purge;
        std::size_t readSize;  // 0: no read
    };
    const std::vector<Case> cases = {
        {"identify", [](Links& l) { l.boot.Identify(); }, {0x0D}, {300}, true, 26},
        {"echo off", [](Links& l) { l.boot.EchoOff(); }, Text("E"), {300}, true, 4},
        {"register write",
         [](Links& l) { l.boot.RegisterWrite(0xFB, 0x15); },
         Text("RWFB15"),
         {300},
         true,
         3},
        {"erase FLASH1",
         [](Links& l) { l.boot.Erase(0x0000); },
         Text("M0000"),
         {1000, 300},
         true,
         6},
        {"erase FLASH2",
         [](Links& l) { l.boot.Erase(0x8000); },
         Text("M8000"),
         {1000, 300},
         true,
         6},
        {"load", [](Links& l) { l.boot.Load(); }, Text("L"), {300}, true, 6},
        {"record",
         [](Links& l) { l.boot.SendRecord(0x0180, kData128.data()); },
         RecordBytes(0x0180),
         {300},
         true,
         1},
        {"config record",
         [](Links& l) { l.boot.SendRecordText(":02807E00A37DE0\r\n"); },
         Text(":02807E00A37DE0\r\n"),
         {300},
         true,
         1},
        {"sync", [](Links& l) { l.prog.Sync(); }, {0x55}, {}, false, 1},
        {"programming enable",
         [](Links& l) { l.prog.Enable(); },
         {0xAC, 0x53, 0x00, 0x00},
         {20},
         false,
         0},
        {"chip erase",
         [](Links& l) { l.prog.ChipErase(); },
         {0xAC, 0x80, 0x00, 0x00},
         {},
         false,
         0},
        {"code page write",
         [](Links& l) { l.prog.WriteCodePage(0x1FC0, kPage64.data()); },
         Concat({0x50, 0x1F, 0xC0}, kPage64),
         {20},
         false,
         0},
        {"code page read",
         [](Links& l) { l.prog.VerifyCodePage(0x1FC0, kPage64.data()); },
         {0x30, 0x1F, 0xC0, 0x00},
         {},
         false,
         64},
        {"data page write",
         [](Links& l) { l.prog.WriteDataPage(0x07E0, kPage32.data()); },
         Concat({0xD0, 0x07, 0xE0}, kPage32),
         {20},
         false,
         0},
        {"data page read",
         [](Links& l) { l.prog.VerifyDataPage(0x07E0, kPage32.data()); },
         {0xB0, 0x07, 0xE0, 0x00},
         {},
         false,
         32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.port.responder = nullptr;  // silent: every read is short
        Links l(rig);
        c.run(l);

        std::vector<Kind> kinds;
        for (const auto& e : rig.port.events) kinds.push_back(e.kind);
        std::vector<Kind> expected;
        if (c.purge) expected.push_back(Kind::Purge);
        expected.push_back(Kind::Write);
        if (c.readSize) expected.push_back(Kind::Read);
        ASSERT_EQ(kinds, expected);

        const auto& write = rig.port.events[c.purge ? 1 : 0];
        EXPECT_EQ(write.bytes, c.sent);
        EXPECT_EQ(rig.clock.Sleeps(), c.sleeps);
        if (c.readSize) {
            const auto& read = rig.port.events.back();
            EXPECT_EQ(read.requested, c.readSize);
            // The waits lie between the write and the read (which costs 1000 ms when short).
            const int waited = std::accumulate(c.sleeps.begin(), c.sleeps.end(), 0);
            EXPECT_EQ(read.atMs - write.atMs, waited + 1000);
        }
    }
}

TEST(BootLinkCommands, DopPauseIsTakenFromOptions) {
    Rig rig;
    rig.s.settings.DopPause = 0;
    Links l(rig);
    l.boot.Erase(0x0000);
    l.boot.Load();
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{1000, 0, 0}));
}

// How each reply is judged. The reply buffer holds a good answer from an
// earlier exchange, so a silent or short reply only fails if the reply area is
// cleared before the read.
TEST(BootLinkJudging, RepliesWithControlWriteOnAndOff) {
    struct Case {
        const char* name;
        std::function<bool(Links&)> run;
        std::string good;   // left in ReplyBuffer beforehand
        std::string reply;  // what the device answers
        bool controlWrite;
        bool expected;
    };
    auto identify = [](Links& l) { return l.boot.Identify(); };
    auto echo = [](Links& l) { return l.boot.EchoOff(); };
    auto erase = [](Links& l) { return l.boot.Erase(0x0000); };
    auto record = [](Links& l) { return l.boot.SendRecord(0, kData128.data()); };
    auto config = [](Links& l) { return l.boot.SendRecordText(":02807E00A37DE0\r\n"); };
    const std::string banner = "\r\nMSC1210 v1";
    const std::vector<Case> cases = {
        {"banner", identify, banner, banner, false, true},
        {"banner, control write on", identify, banner, banner, true, true},
        {"banner without line start", identify, banner, "MSC1210 v1.0", false, false},
        {"banner shifted by one", identify, banner, "\r\n MSC1210", false, false},
        {"banner lower case", identify, banner, "\r\nmsc1210 v1", false, false},
        {"banner cut short", identify, banner, "\r\nMSC121", false, false},
        {"MSC1210 further on", identify, banner, "\r\nBoot MSC1210", false, false},
        {"banner silent", identify, banner, "", false, false},
        {"echo", echo, "E", "E\r\n>", true, true},
        {"echo missing", echo, "E", "", true, false},
        {"echo wrong", echo, "E", "e\r\n>", true, false},
        {"echo missing, not judged", echo, "E", "", false, true},
        {"echo wrong, not judged", echo, "E", "X", false, true},
        {"erase ok", erase, " o", " ok\r\n", false, true},
        {"erase ok, control write on", erase, " o", " ok\r\n", true, true},
        {"erase silent, judged anyway", erase, " o", "", false, false},
        {"erase o in first place", erase, " o", "ok\r\n", false, false},
        {"erase silent, control write on", erase, " o", "", true, false},
        {"record dot", record, ".", ".", true, true},
        {"record silent", record, ".", "", true, false},
        {"record wrong", record, ".", "?", true, false},
        {"record silent, not judged", record, ".", "", false, true},
        {"record wrong, not judged", record, ".", "?", false, true},
        {"config dot", config, ".", ".", true, true},
        {"config silent", config, ".", "", true, false},
        {"config silent, not judged", config, ".", "", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.s.settings.ControlWrite = c.controlWrite;
        Links l(rig);
        std::copy(c.good.begin(), c.good.end(), l.boot.ReplyBuffer().begin());
        const Bytes reply = Text(c.reply);
        rig.port.responder = [&](const Bytes&) { return reply; };
        EXPECT_EQ(c.run(l), c.expected);
    }
}

TEST(BootLinkJudging, StaleInputIsPurgedBeforeEachCommand) {
    Rig rig;
    rig.port.responder = nullptr;
    const Bytes stale = Text("\r\nMSC1210 banner from before");
    rig.port.rx.assign(stale.begin(), stale.end());
    Links l(rig);
    EXPECT_FALSE(l.boot.Identify());
}

TEST(ProgrammerJudging, SyncNeedsOneByteOf55h) {
    struct Case {
        const char* name;
        Bytes reply;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"55h", {0x55}, true},
        {"other byte", {0x54}, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(0);
        Links l(rig);
        l.prog.ReplyBuffer()[0] = 0x55;  // left over: must not count
        rig.port.responder = [&](const Bytes&) { return c.reply; };
        EXPECT_EQ(l.prog.Sync(), c.expected);
    }
}

TEST(ProgrammerJudging, PageReadBackMustBeCompleteAndEqual) {
    struct Case {
        const char* name;
        std::size_t bytesBack;
        int flipAt;  // -1: none
        bool expected;
    };
    const std::vector<Case> cases = {
        {"equal", 64, -1, true},
        {"last byte differs", 64, 63, false},
        {"first byte differs", 64, 0, false},
        {"one byte short", 63, -1, false},
        {"silent", 0, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(0);
        // The buffer already holds the expected page: only the received bytes may count.
        Links l(rig);
        std::copy(kPage64.begin(), kPage64.end(), l.prog.ReplyBuffer().begin());
        rig.port.responder = [&](const Bytes&) {
            Bytes page(kPage64.begin(), kPage64.begin() + static_cast<std::ptrdiff_t>(c.bytesBack));
            if (c.flipAt >= 0) page[static_cast<std::size_t>(c.flipAt)] ^= 0x01;
            return page;
        };
        EXPECT_EQ(l.prog.VerifyCodePage(0x40, kPage64.data()), c.expected);
    }
}

TEST(ProgrammerJudging, DataPageReadBack) {
    Rig rig(0);
    rig.port.responder = [&](const Bytes& w) { return w[0] == 0xB0 ? kPage32 : Bytes{}; };
    Links l(rig);
    EXPECT_TRUE(l.prog.VerifyDataPage(0x20, kPage32.data()));
    Bytes other = kPage32;
    other[31] ^= 0xFF;
    EXPECT_FALSE(l.prog.VerifyDataPage(0x20, other.data()));
}

TEST(ClosedPort, BehavesLikeASilentDeviceWithoutReadDeadlines) {
    Rig rig;
    rig.s.hComPort.reset();
    rig.s.settings.ControlWrite = false;
    Links l(rig);
    std::copy_n("\r\nMSC1210", 9, l.boot.ReplyBuffer().begin());
    EXPECT_FALSE(l.boot.Identify());
    EXPECT_FALSE(l.boot.Erase(0));
    // Not judged, but a record that never left the port is no success.
    EXPECT_FALSE(l.boot.SendRecord(0, kData128.data()));
    EXPECT_FALSE(l.prog.Sync());
    EXPECT_FALSE(l.prog.VerifyCodePage(0, kPage64.data()));
    // Only the mandated waits passed: 300, 1000 + 300, 300.
    EXPECT_EQ(rig.clock.NowMs(), 1900);
}

TEST(Banner, ExcerptFromThirdCharacterUpToZeroAtMost21) {
    struct Case {
        std::string reply;
        std::string excerpt;
    };
    const std::vector<Case> cases = {
        {"\r\nMSC1210 Boot ROM v1.0\r\n", "MSC1210 Boot ROM v1.0"},
        {"\r\nMSC1210 Boot ROM v1.05 and more", "MSC1210 Boot ROM v1.0"},
        {"\r\nMSC1210", "MSC1210"},
        {std::string("\r\nMSC1210\0junk", 14), "MSC1210"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.excerpt);
        Rig rig;
        Links l(rig);
        l.boot.ReplyBuffer().fill('#');  // leftovers beyond the 26-byte reply area
        const Bytes reply = Text(c.reply);
        rig.port.responder = [&](const Bytes&) { return reply; };
        ASSERT_TRUE(l.boot.Identify());
        EXPECT_EQ(l.boot.BannerExcerpt(), c.excerpt);
    }
}

}  // namespace
}  // namespace zentor

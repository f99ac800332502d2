#include "bootrom/boot_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootrom_rig.h"

namespace zentor {
namespace {

using test::Bytes;
using test::Links;
using test::Rig;
using test::Text;

const Bytes kPage64 = test::Pattern(64, 9);
const Bytes kPage32 = test::Pattern(32, 17);
const Bytes kData128 = test::Pattern(128, 1);

// How each reply is judged. The reply buffer holds a good answer from an
// earlier exchange, so a silent or short reply only fails if the reply area is
// cleared before the read.
struct JudgingCase {
    const char* name;
    bool (*run)(Links&);
    std::string good;   // left in ReplyBuffer beforehand
    std::string reply;  // what the device answers
    bool controlWrite;
    bool expected;
};

bool Identify(Links& l) {
    return l.boot.Identify();
}
bool EchoOff(Links& l) {
    return l.boot.EchoOff();
}
bool Erase(Links& l) {
    return l.boot.Erase(0x0000);
}
bool Record(Links& l) {
    return l.boot.SendRecord(0, kData128.data());
}
bool Config(Links& l) {
    return l.boot.SendRecordText(":02807E00A37DE0\r\n");
}

const char* const kBanner = "\r\nMSC1210 v1";

// Columns: name, command, left in the buffer, reply, ControlWrite, judged good.
const JudgingCase kJudgingCases[] = {
    {"banner", Identify, kBanner, kBanner, false, true},
    {"banner_control_write_on", Identify, kBanner, kBanner, true, true},
    {"banner_without_line_start", Identify, kBanner, "MSC1210 v1.0", false, false},
    {"banner_shifted_by_one", Identify, kBanner, "\r\n MSC1210", false, false},
    {"banner_lower_case", Identify, kBanner, "\r\nmsc1210 v1", false, false},
    {"banner_cut_short", Identify, kBanner, "\r\nMSC121", false, false},
    {"MSC1210_further_on", Identify, kBanner, "\r\nBoot MSC1210", false, false},
    {"banner_silent", Identify, kBanner, "", false, false},
    {"echo", EchoOff, "E", "E\r\n>", true, true},
    {"echo_missing", EchoOff, "E", "", true, false},
    {"echo_wrong", EchoOff, "E", "e\r\n>", true, false},
    {"echo_missing_not_judged", EchoOff, "E", "", false, true},
    {"echo_wrong_not_judged", EchoOff, "E", "X", false, true},
    {"erase_ok", Erase, " o", " ok\r\n", false, true},
    {"erase_ok_control_write_on", Erase, " o", " ok\r\n", true, true},
    {"erase_silent_judged_anyway", Erase, " o", "", false, false},
    {"erase_o_in_first_place", Erase, " o", "ok\r\n", false, false},
    {"erase_silent_control_write_on", Erase, " o", "", true, false},
    {"record_dot", Record, ".", ".", true, true},
    {"record_silent", Record, ".", "", true, false},
    {"record_wrong", Record, ".", "?", true, false},
    {"record_silent_not_judged", Record, ".", "", false, true},
    {"record_wrong_not_judged", Record, ".", "?", false, true},
    {"config_dot", Config, ".", ".", true, true},
    {"config_silent", Config, ".", "", true, false},
    {"config_silent_not_judged", Config, ".", "", false, true},
};

TEST(BootLinkJudging, RepliesWithControlWriteOnAndOff) {
    for (const JudgingCase& c : kJudgingCases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.station.settings.ControlWrite = c.controlWrite;
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
    rig.s.port.reset();
    rig.station.settings.ControlWrite = false;
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

namespace zentor {
namespace {

// What a failed exchange says about itself, judged or not.
TEST(BootLinkErrors, EachExchangeSaysHowItFellShort) {
    const struct {
        const char* name;
        bool (*run)(Links&);
        const char* reply;
        bool controlWrite;
        LinkError kind;
    } cases[] = {
        {"banner", Identify, "\r\nMSC1210 Boot ROM", true, LinkError::None},
        {"banner silent", Identify, "", true, LinkError::Timeout},
        {"banner cut short", Identify, "\r\nMS", true, LinkError::ShortReply},
        {"another device", Identify, "\r\nHello, world", true, LinkError::Refused},
        {"echo", EchoOff, "E\r\n>", true, LinkError::None},
        {"echo missing", EchoOff, "", true, LinkError::EchoMissing},
        {"echo wrong", EchoOff, "e", true, LinkError::EchoMissing},
        {"erase", Erase, " ok\r\n", false, LinkError::None},
        {"erase silent", Erase, "", false, LinkError::Timeout},
        {"erase refused", Erase, " no\r\n", false, LinkError::Refused},
        {"erase cut short", Erase, " ", false, LinkError::ShortReply},
        {"record", Record, ".", true, LinkError::None},
        {"record refused", Record, "?", true, LinkError::Refused},
        {"record silent, not judged", Record, "", false, LinkError::Timeout},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.station.settings.ControlWrite = c.controlWrite;
        Links l(rig);
        const Bytes reply = Text(c.reply);
        rig.port.responder = [&](const Bytes&) { return reply; };
        c.run(l);
        EXPECT_EQ(l.boot.LastError(), c.kind) << LinkErrorText(l.boot.LastError());
    }
}

TEST(BootLinkErrors, AClosedPortIsAPortGone) {
    Rig rig;
    rig.s.port.reset();
    Links l(rig);
    for (bool (*run)(Links&) : {Identify, Erase, Record}) {
        run(l);
        EXPECT_EQ(l.boot.LastError(), LinkError::PortGone);
    }
}

}  // namespace
}  // namespace zentor

namespace zentor {
namespace {

// The programmer link's failures say their kind too.
TEST(ProgrammerErrors, SyncAndReadBackSayHowTheyFellShort) {
    Bytes shortPage(kPage64.begin(), kPage64.begin() + 10);
    Bytes otherPage = kPage64;
    otherPage[5] ^= 0xFF;
    const struct {
        const char* name;
        bool sync;  // else a code page verification
        Bytes reply;
        LinkError kind;
    } cases[] = {
        {"sync", true, {0x55}, LinkError::None},
        {"sync silent", true, {}, LinkError::Timeout},
        {"sync other byte", true, {0x54}, LinkError::Refused},
        {"page equal", false, kPage64, LinkError::None},
        {"page silent", false, {}, LinkError::Timeout},
        {"page cut short", false, shortPage, LinkError::ShortReply},
        {"page different", false, otherPage, LinkError::Mismatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(0);
        Links l(rig);
        rig.port.responder = [&](const Bytes&) { return c.reply; };
        if (c.sync)
            l.prog.Sync();
        else
            l.prog.VerifyCodePage(0, kPage64.data());
        EXPECT_EQ(l.prog.LastError(), c.kind) << LinkErrorText(l.prog.LastError());
    }
    Rig gone(0);
    gone.s.port.reset();
    Links l(gone);
    l.prog.Sync();
    EXPECT_EQ(l.prog.LastError(), LinkError::PortGone);
}

}  // namespace
}  // namespace zentor

// What each boot-ROM and programmer command puts on the wire, how long it
// waits and how much it reads.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "bootrom/boot_link.h"
#include "bootrom/hex_record.h"
#include "bootrom_rig.h"

namespace zentor {
namespace {

using test::Bytes;
using test::Links;
using test::Rig;
using test::ScriptedPort;
using test::Text;
using Kind = ScriptedPort::Event::Kind;

const Bytes kPage64 = test::Pattern(64, 9);
const Bytes kPage32 = test::Pattern(32, 17);
const Bytes kData128 = test::Pattern(128, 1);

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
struct CommandCase {
    const char* name;
    std::function<void(Links&)> run;
    Bytes sent;
    std::vector<int> sleeps;
    bool purge;
    std::size_t readSize;  // 0: no read
};

const CommandCase kCommandCases[] = {
    {.name = "identify",
     .run = [](Links& l) { l.boot.Identify(); },
     .sent = {0x0D},
     .sleeps = {300},
     .purge = true,
     .readSize = 26},
    {.name = "echo_off",
     .run = [](Links& l) { l.boot.EchoOff(); },
     .sent = Text("E"),
     .sleeps = {300},
     .purge = true,
     .readSize = 4},
    {.name = "register_write",
     .run = [](Links& l) { l.boot.RegisterWrite(0xFB, 0x15); },
     .sent = Text("RWFB15"),
     .sleeps = {300},
     .purge = true,
     .readSize = 3},
    {.name = "erase_FLASH1",
     .run = [](Links& l) { l.boot.Erase(0x0000); },
     .sent = Text("M0000"),
     .sleeps = {1000, 300},
     .purge = true,
     .readSize = 6},
    {.name = "erase_FLASH2",
     .run = [](Links& l) { l.boot.Erase(0x8000); },
     .sent = Text("M8000"),
     .sleeps = {1000, 300},
     .purge = true,
     .readSize = 6},
    {.name = "load",
     .run = [](Links& l) { l.boot.Load(); },
     .sent = Text("L"),
     .sleeps = {300},
     .purge = true,
     .readSize = 6},
    {.name = "record",
     .run = [](Links& l) { l.boot.SendRecord(0x0180, kData128.data()); },
     .sent = RecordBytes(0x0180),
     .sleeps = {300},
     .purge = true,
     .readSize = 1},
    {.name = "config_record",
     .run = [](Links& l) { l.boot.SendRecordText(":02807E00A37DE0\r\n"); },
     .sent = Text(":02807E00A37DE0\r\n"),
     .sleeps = {300},
     .purge = true,
     .readSize = 1},
    {.name = "sync",
     .run = [](Links& l) { l.prog.Sync(); },
     .sent = {0x55},
     .sleeps = {},
     .purge = false,
     .readSize = 1},
    {.name = "programming_enable",
     .run = [](Links& l) { l.prog.Enable(); },
     .sent = {0xAC, 0x53, 0x00, 0x00},
     .sleeps = {20},
     .purge = false,
     .readSize = 0},
    {.name = "chip_erase",
     .run = [](Links& l) { l.prog.ChipErase(); },
     .sent = {0xAC, 0x80, 0x00, 0x00},
     .sleeps = {},
     .purge = false,
     .readSize = 0},
    {.name = "code_page_write",
     .run = [](Links& l) { l.prog.WriteCodePage(0x1FC0, kPage64.data()); },
     .sent = Concat({0x50, 0x1F, 0xC0}, kPage64),
     .sleeps = {20},
     .purge = false,
     .readSize = 0},
    {.name = "code_page_read",
     .run = [](Links& l) { l.prog.VerifyCodePage(0x1FC0, kPage64.data()); },
     .sent = {0x30, 0x1F, 0xC0, 0x00},
     .sleeps = {},
     .purge = false,
     .readSize = 64},
    {.name = "data_page_write",
     .run = [](Links& l) { l.prog.WriteDataPage(0x07E0, kPage32.data()); },
     .sent = Concat({0xD0, 0x07, 0xE0}, kPage32),
     .sleeps = {20},
     .purge = false,
     .readSize = 0},
    {.name = "data_page_read",
     .run = [](Links& l) { l.prog.VerifyDataPage(0x07E0, kPage32.data()); },
     .sent = {0xB0, 0x07, 0xE0, 0x00},
     .sleeps = {},
     .purge = false,
     .readSize = 32},
};

class BootLinkCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(BootLinkCommand, BytesWaitsAndReplyLengths) {
    const CommandCase& c = GetParam();
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

INSTANTIATE_TEST_SUITE_P(Commands, BootLinkCommand, ::testing::ValuesIn(kCommandCases),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(BootLinkCommands, DopPauseIsTakenFromOptions) {
    Rig rig;
    rig.station.settings.DopPause = 0;
    Links l(rig);
    l.boot.Erase(0x0000);
    l.boot.Load();
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{1000, 0, 0}));
}

}  // namespace
}  // namespace zentor

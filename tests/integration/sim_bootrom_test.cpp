// The simulator's boot ROM dialogue and its flash model, over raw bytes.

#include <gtest/gtest.h>

#include <fstream>

#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kSilence = 300ms;

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

char SendRecord(SimLine& line, const std::string& record) {
    Bytes reply = line.ExchangeText(record, 1, kSilence);
    return reply.empty() ? '\0' : static_cast<char>(reply[0]);
}

// Banner, echo off, timing registers, both erases, load: what the tool does first.
void StartLoading(SimLine& line) {
    ASSERT_EQ(line.ExchangeText("\r", 26).size(), 26u);
    ASSERT_EQ(line.ExchangeText("E", 4).at(0), 'E');
    for (const char* rw : {"RWFB15", "RWFC65", "RWFD56"})
        ASSERT_EQ(line.ExchangeText(rw, 3).size(), 3u);
    ASSERT_EQ(line.ExchangeText("M0000", 6).at(1), 'o');
    ASSERT_EQ(line.ExchangeText("M8000", 6).at(1), 'o');
    ASSERT_EQ(line.ExchangeText("L", 6).size(), 6u);
}

TEST(SimBootRom, BannerNamesTheChipAtCharactersThreeToNine) {
    struct Case {
        std::vector<std::string> args;
        std::string id;  // the 21 characters the tool logs; empty: no banner
    } cases[] = {
        {{"--jumper"}, "MSC1210Y5 V03.05 32KB"},
        {{"--jumper", "--chip", "Y2", "--data-flash-size", "1024"}, "MSC1210Y2 V03.05  4KB"},
        {{"--jumper", "--wrong-banner"}, "MSC1201Y5 V03.05 32KB"},
        {{"--jumper", "--no-banner"}, ""},
    };
    for (const auto& c : cases) {
        SimProcess sim(c.args);
        SimLine line(sim.DevicePath());
        Bytes banner = line.ExchangeText("\r", 26, c.id.empty() ? kSilence : 1000ms);
        if (c.id.empty()) {
            EXPECT_TRUE(banner.empty());
            continue;
        }
        ASSERT_EQ(banner.size(), 26u) << c.id;
        EXPECT_EQ(Text(banner), "\r\n" + c.id + "\r\n>");
        EXPECT_TRUE(line.ReadFor(50ms).empty()) << "surplus bytes";
    }
}

TEST(SimBootRom, ReplyLengthsAndEchoMatchWhatTheToolReads) {
    SimProcess sim({"--jumper"});
    SimLine line(sim.DevicePath());
    ASSERT_EQ(line.ExchangeText("\r", 26).size(), 26u);
    // Echo is on after reset: the command letter leads the reply.
    EXPECT_EQ(Text(line.ExchangeText("RWFB15", 3)), "R\n>");
    EXPECT_EQ(Text(line.ExchangeText("E", 4)), "E\r\n>");
    struct Case {
        std::string command;
        std::string reply;
    } cases[] = {
        {"RWFC65", "\r\n>"},    {"RWFD56", "\r\n>"},    {"RWXX00", "\r?>"}, {"M0000", "\rok\r\n>"},
        {"M8000", "\rok\r\n>"}, {"M4000", "\rER\r\n>"}, {"L", "\r\nLOAD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(line.ExchangeText(c.command, c.reply.size())), c.reply) << c.command;
        EXPECT_TRUE(line.ReadFor(30ms).empty()) << "surplus bytes after " << c.command;
    }
    // A carriage return starts the monitor over with echo on.
    ASSERT_EQ(line.ExchangeText("\r", 26).size(), 26u);
    EXPECT_EQ(line.ExchangeText("E", 4).at(0), 'E');
}

TEST(SimBootRom, RecordsAreAcknowledgedAndLandInFlashAndConfiguration) {
    const ScratchDir temp("sim-test");
    const auto hexLog = temp.path() / "records.hex";
    SimProcess sim({"--jumper", "--hcr0", "11", "--hcr1", "22", "--hex-log", hexLog.string()});
    SimLine line(sim.DevicePath());
    StartLoading(line);
    EXPECT_EQ(sim.Hcr0(), "FF") << "FLASH2 erase clears the configuration";
    EXPECT_EQ(sim.Flash(), Bytes(32768, 0xFF)) << "FLASH1 erase clears the whole flash";

    const Bytes code0 = Pattern(128, 1), code1 = Pattern(128, 2), top = Pattern(128, 3);
    const std::string records[] = {HexRecord(0x0000, code0), HexRecord(0x0080, code1),
                                   HexRecord(0x7F80, top), ":02807E00A37DE0\r\n"};
    for (const auto& r : records) EXPECT_EQ(SendRecord(line, r), '.') << r;

    Bytes flash = sim.Flash();
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 128), code0);
    EXPECT_EQ(Bytes(flash.begin() + 128, flash.begin() + 256), code1);
    EXPECT_EQ(Bytes(flash.end() - 128, flash.end()), top);
    EXPECT_EQ(flash[256], 0xFF);
    EXPECT_EQ(sim.Hcr0(), "7D");
    EXPECT_EQ(sim.Hcr1(), "A3");
    EXPECT_EQ(sim.Mode(), "bootrom");

    std::ifstream in(hexLog);
    std::stringstream logged;
    logged << in.rdbuf();
    std::string expected;
    for (auto r : records) expected += r.substr(0, r.size() - 2) + "\n";
    EXPECT_EQ(logged.str(), expected);
}

TEST(SimBootRom, FlashIsNotTouchedBeforeAllTimingRegistersAreSet) {
    SimProcess sim({"--jumper"});
    SimLine line(sim.DevicePath());
    ASSERT_EQ(line.ExchangeText("\r", 26).size(), 26u);
    ASSERT_EQ(line.ExchangeText("E", 4).at(0), 'E');
    Bytes before = sim.Flash();
    for (const char* rw : {"RWFB15", "RWFC65"}) {
        EXPECT_NE(line.ExchangeText("M0000", 6).at(1), 'o');
        ASSERT_EQ(line.ExchangeText("L", 6).size(), 6u);
        EXPECT_EQ(SendRecord(line, HexRecord(0x7000, {0x12})), 'X');
        ASSERT_EQ(line.ExchangeText(rw, 3).size(), 3u);
    }
    EXPECT_NE(line.ExchangeText("M8000", 6).at(1), 'o');
    EXPECT_EQ(sim.Flash(), before);
    EXPECT_EQ(sim.Hcr0(), "7D");
    ASSERT_EQ(line.ExchangeText("RWFD56", 3).size(), 3u);
    EXPECT_EQ(line.ExchangeText("M8000", 6).at(1), 'o');
    ASSERT_EQ(line.ExchangeText("L", 6).size(), 6u);
    EXPECT_EQ(SendRecord(line, HexRecord(0x7800, {0x12})), 'X') << "FLASH1 was never erased";
    EXPECT_EQ(SendRecord(line, HexRecord(0x0000, {0x12})), '.') << "the code area starts blank";
}

TEST(SimBootRom, BadRecordsAreRefusedAndChangeNothing) {
    SimProcess sim({"--jumper", "--chip", "Y3", "--data-flash-size", "1024"});
    SimLine line(sim.DevicePath());
    StartLoading(line);
    ASSERT_EQ(SendRecord(line, HexRecord(0x0100, {0xAA, 0xBB})), '.');
    std::string goodChecksum = HexRecord(0x0200, {0x01});
    std::string badChecksum = goodChecksum;
    badChecksum[goodChecksum.size() - 3] ^= 1;
    struct Case {
        const char* what;
        std::string record;
    } cases[] = {
        {"bad checksum", badChecksum},
        {"not a hex digit", ":01020000G1FC\r\n"},
        {"count larger than the data", ":0202000001FB\r\n"},
        {"odd number of digits", ":010200000FC\r\n"},
        {"beyond the flash of the chip", HexRecord(0x2000, {0x01})},
        {"straddles the top of the flash", HexRecord(0x1FFF, {0x01, 0x02})},
        {"beyond the configuration bytes", HexRecord(0x8080, {0x01})},
        {"over bytes already written", HexRecord(0x0101, {0xBB})},
        {"unknown record type", HexRecord(0x0200, {0x01}, 0x04)},
    };
    const Bytes before = sim.Flash();
    for (const auto& c : cases) EXPECT_EQ(SendRecord(line, c.record), 'X') << c.what;
    EXPECT_EQ(sim.Flash(), before);
    EXPECT_EQ(SendRecord(line, goodChecksum), '.') << "refusals must not derail the dialogue";
    // Configuration bytes can be written once per erase.
    EXPECT_EQ(SendRecord(line, ":02807E00937DF0\r\n"), '.');
    EXPECT_EQ(SendRecord(line, ":02807E00937DF0\r\n"), 'X');
    EXPECT_EQ(sim.Hcr1(), "93");
}

TEST(SimBootRom, RecordsAreRefusedBeforeLoadIsGiven) {
    SimProcess sim({"--jumper"});
    SimLine line(sim.DevicePath());
    ASSERT_EQ(line.ExchangeText("\r", 26).size(), 26u);
    ASSERT_EQ(line.ExchangeText("E", 4).at(0), 'E');
    for (const char* rw : {"RWFB15", "RWFC65", "RWFD56"})
        ASSERT_EQ(line.ExchangeText(rw, 3).size(), 3u);
    // The whole erase reply, or its tail would be taken for the record's answer.
    ASSERT_EQ(line.ExchangeText("M0000", 6).at(1), 'o');
    EXPECT_EQ(SendRecord(line, HexRecord(0x0000, {0x01})), 'X');
    ASSERT_EQ(line.ExchangeText("L", 6).size(), 6u);
    EXPECT_EQ(SendRecord(line, HexRecord(0x0000, {0x01})), '.');
}

TEST(SimBootRom, PowerCycleRunsTheNewFirmwareWithTheNewDataFlash) {
    SimProcess sim({"--baud", "0"});
    SimLine line(sim.DevicePath());
    ASSERT_TRUE(WriteByte(line, 0xFD, 0xAF));
    ASSERT_TRUE(WriteByte(line, 0xFF, 0x0B));
    ASSERT_TRUE(WriteByte(line, 0xFF, 0x01));
    StartLoading(line);
    ASSERT_EQ(SendRecord(line, HexRecord(0x0000, Pattern(128, 1))), '.');
    Bytes data(2048);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i >> 3);
    for (int off = 0; off < 2048; off += 128) {
        Bytes chunk(data.begin() + off, data.begin() + off + 128);
        ASSERT_EQ(SendRecord(line, HexRecord(0x7800 + off, chunk)), '.');
    }
    ASSERT_EQ(SendRecord(line, ":02807E00A37DE0\r\n"), '.');

    sim.PowerCycle();
    EXPECT_EQ(sim.Mode(), "firmware");
    EXPECT_EQ(sim.DataFlash(), data);
    // The running firmware serves the new page 5.
    ASSERT_TRUE(WriteByte(line, 0xFE, 0x05));
    ASSERT_TRUE(WriteByte(line, 0xFF, 0x06));
    ASSERT_TRUE(WriteByte(line, 0xFE, 0x03));
    EXPECT_EQ(ReadBlock(line, 0xC1, 0x80, 128),
              Bytes(data.begin() + 5 * 256 + 128, data.begin() + 6 * 256));
}

// An update cut short after the erase leaves no program at the reset vector: after
// power-up the chip answers neither frames nor the boot ROM's carriage return,
// however often it is power-cycled. A record anywhere else does not help.
TEST(SimBootRom, PowerCycleWithTheFirstCodePageErasedIsDead) {
    for (const int address : {-1, 0x0080}) {
        SCOPED_TRACE(address);
        SimProcess sim({});
        SimLine line(sim.DevicePath());
        for (auto [reg, value] : {std::pair{0xFD, 0xAF}, {0xFF, 0x0B}, {0xFF, 0x01}})
            ASSERT_TRUE(
                WriteByte(line, static_cast<std::uint8_t>(reg), static_cast<std::uint8_t>(value)));
        StartLoading(line);
        if (address >= 0) {
            ASSERT_EQ(SendRecord(line, HexRecord(address, Pattern(128, 2))), '.');
        }
        for (int cycle = 0; cycle < 2; ++cycle) {
            sim.PowerCycle();
            EXPECT_EQ(sim.Mode(), "dead");
            EXPECT_FALSE(ReadBlock(line, 0x81, 0xED, 1, kSilence).has_value());
            EXPECT_TRUE(line.ExchangeText("\r", 26, kSilence).empty());
        }
    }
}

TEST(SimBootRom, PowerCycleWithTheJumperReturnsToTheBootRom) {
    SimProcess sim({"--jumper"});
    SimLine line(sim.DevicePath());
    ASSERT_EQ(line.ExchangeText("\r", 26).size(), 26u);
    ASSERT_EQ(line.ExchangeText("E", 4).at(0), 'E');
    sim.PowerCycle();
    EXPECT_EQ(sim.Mode(), "bootrom");
    EXPECT_EQ(line.ExchangeText("RWFB15", 3).at(0), 'R') << "echo is on again after power-up";
}

}  // namespace
}  // namespace zentor::test

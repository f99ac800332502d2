// The simulator's fault options, each checked against the bytes on the line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes kRestart = {0x01, 0xFF, 0x01, 0x2B};
const Bytes kVersion = {0x81, 0xED, 0x00, 0x6A};

// Three exchanges; what arrived for each (read for a while, so surplus shows).
std::vector<Bytes> ThreeExchanges(SimLine& line) {
    std::vector<Bytes> got;
    for (const Bytes& frame : {kRestart, kVersion, kRestart}) {
        line.Purge();
        line.Write(frame);
        got.push_back(line.ReadFor(150ms));
    }
    return got;
}

TEST(SimFaults, FramedReplyFaults) {
    const Bytes restartReply = {0x01, 0x2B};
    const Bytes versionReply = {0x81, 0xED, 0x78, 0x50};
    struct Case {
        std::vector<std::string> args;
        std::vector<Bytes> expected;
    } cases[] = {
        {{}, {restartReply, versionReply, restartReply}},
        {{"--bad-crc", "2"}, {restartReply, {0x81, 0xED, 0x78, 0xAF}, restartReply}},
        {{"--bad-crc", "1", "--bad-crc", "3"}, {{0x01, 0xD4}, versionReply, {0x01, 0xD4}}},
        {{"--short-reply", "2"}, {restartReply, {0x81, 0xED, 0x78}, restartReply}},
        {{"--short-reply", "3"}, {restartReply, versionReply, {0x01}}},
        {{"--surplus"}, {{0x01, 0x2B, 0xA5}, {0x81, 0xED, 0x78, 0x50, 0xA5}, {0x01, 0x2B, 0xA5}}},
        {{"--noise"}, {{0x01, 0x2B, 0xE7}, {0x81, 0xED, 0x78, 0x50, 0xE7}, {0x01, 0x2B, 0xE7}}},
        {{"--no-answer"}, {{}, {}, {}}},
    };
    for (const auto& c : cases) {
        SimProcess sim(c.args);
        SimLine line(sim.DevicePath());
        EXPECT_EQ(ThreeExchanges(line), c.expected) << (c.args.empty() ? "" : c.args[0]);
    }
}

TEST(SimFaults, NoiseArrivesAfterTheReplyAndIsClearedByAPurge) {
    SimProcess sim({"--noise"});
    SimLine line(sim.DevicePath());
    for (int i = 0; i < 3; ++i) {
        // The tool reads exactly the reply, then purges before the next frame.
        EXPECT_TRUE(BlockReplyData(line.Exchange(kVersion, 4), 1)) << i;
        std::this_thread::sleep_for(15ms);
    }
}

TEST(SimFaults, FlipReadingChangesOneByteOfTheNamedCopiesOfPageZero) {
    SimProcess sim({"--baud", "0", "--flip-reading", "2", "--flip-reading", "4"});
    SimLine line(sim.DevicePath());
    std::vector<int> differing;
    for (int copy = 1; copy <= 5; ++copy) {
        ASSERT_TRUE(WriteByte(line, 0xFE, 0));
        ASSERT_TRUE(WriteByte(line, 0xFF, 0x06));
        ASSERT_TRUE(WriteByte(line, 0xFE, 3));
        Bytes page;
        for (std::uint8_t off : {0x00, 0x80}) {
            auto r = ReadBlock(line, 0xC1, off, 128);
            ASSERT_TRUE(r);
            page.insert(page.end(), r->begin(), r->end());
        }
        int n = 0;
        for (int i = 0; i < 256; ++i) n += page[i] != static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
        differing.push_back(n);
    }
    EXPECT_EQ(differing, (std::vector<int>{0, 1, 0, 1, 0}));
}

TEST(SimFaults, DieAfterEndsTheProcessOnceTheReplyIsOut) {
    const ScratchDir temp("sim-test");
    SimProcess sim({"--die-after", "2", "--link", temp.path().string(), "--com", "4"});
    const auto link = temp.path() / "dosdevices" / "com4";
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    SimLine line(sim.DevicePath());
    EXPECT_EQ(line.Exchange(kRestart, 2).size(), 2u);
    EXPECT_EQ(line.Exchange(kVersion, 4).size(), 4u);
    EXPECT_TRUE(line.Exchange(kVersion, 4, 300ms).empty());
    ASSERT_TRUE(sim.WaitForExit(2s));
    EXPECT_EQ(sim.ExitCode(), 3);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    sim.Kill();  // harmless once gone
    EXPECT_THROW(sim.Dump(), std::runtime_error);
}

TEST(SimFaults, RestartAfterGoesSilentAndLosesSram) {
    SimProcess sim({"--restart-after", "3"});
    SimLine line(sim.DevicePath());
    ASSERT_TRUE(WriteByte(line, 0xFF, 0xFB));
    ASSERT_TRUE(WriteBlock(line, 0x41, 0x00, {0x99}));
    ASSERT_EQ(line.Exchange(kVersion, 4).size(), 4u);  // exchange 3, then the restart
    EXPECT_TRUE(line.Exchange(WithChecksum({0xC1, 0x00, 0x00}), 4, 150ms).empty());
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(ReadBlock(line, 0xC1, 0x00, 1), Bytes{0x00});
}

// One boot-ROM command, its reply read up to its end ("LOAD" for the load, the
// prompt otherwise), so that none spills into the next even on a loaded machine.
void Command(SimLine& line, const char* command) {
    line.Purge();
    line.WriteText(command);
    const char last = command[0] == 'L' ? 'D' : '>';
    Bytes reply;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while ((reply.empty() || reply.back() != last) && std::chrono::steady_clock::now() < deadline) {
        const Bytes more = line.Read(1, 100ms);
        reply.insert(reply.end(), more.begin(), more.end());
    }
    ASSERT_FALSE(reply.empty()) << command;
    ASSERT_EQ(reply.back(), last) << command;
}

// Banner, echo off, timing registers, both erases, load.
void StartLoading(SimLine& line) {
    for (const char* command : {"\r", "E", "RWFB15", "RWFC65", "RWFD56", "M0000", "M8000", "L"})
        Command(line, command);
}

TEST(SimFaults, BootRomRecordFaults) {
    struct Case {
        const char* option;
        std::string acks;  // for records 1..5; '-' = no answer
        Bytes flash;       // bytes 0..4 afterwards
        bool exits;
    } cases[] = {
        {"--refuse-record", ".X...", {0x10, 0xFF, 0x12, 0x13, 0x14}, false},
        {"--silent-after-record", "..---", {0x10, 0x11, 0xFF, 0xFF, 0xFF}, false},
        {"--die-after-record", "..---", {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        SimProcess sim({"--baud", "0", "--jumper", c.option, "2"});
        SimLine line(sim.DevicePath());
        StartLoading(line);
        std::string acks;
        for (int k = 0; k < 5; ++k) {
            const auto data = static_cast<std::uint8_t>(0x10 + k);
            Bytes reply = line.ExchangeText(HexRecord(k, {data}), 1, 200ms);
            acks += reply.empty() ? '-' : static_cast<char>(reply[0]);
        }
        EXPECT_EQ(acks, c.acks);
        EXPECT_EQ(sim.WaitForExit(500ms), c.exits);
        if (!c.exits) {
            Bytes flash = sim.Flash();
            EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 5), c.flash);
        }
    }
}

TEST(SimFaults, EraseFailRefusesTheErase) {
    const ScratchDir temp("sim-test");
    std::ofstream(temp.path() / "code.bin", std::ios::binary) << "\x02\x01\x00code";
    SimProcess sim(
        {"--jumper", "--erase-fail", "--code-file", (temp.path() / "code.bin").string()});
    SimLine line(sim.DevicePath());
    const Bytes before = sim.Flash();
    ASSERT_EQ(before[0], 0x02);
    for (const char* command : {"\r", "E", "RWFB15", "RWFC65", "RWFD56"}) Command(line, command);
    for (const char* erase : {"M0000", "M8000"}) {
        line.Purge();
        line.WriteText(erase);
        Bytes reply = line.Read(6);
        ASSERT_EQ(reply.size(), 6u);
        EXPECT_NE(reply[1], 'o');
    }
    EXPECT_EQ(sim.Flash(), before);
    EXPECT_EQ(sim.Hcr0(), "7D");
}

TEST(SimFaults, RxLogHoldsEveryByteReceived) {
    const ScratchDir temp("sim-test");
    const auto log = temp.path() / "rx.bin";
    SimProcess sim({"--rx-log", log.string()});
    SimLine line(sim.DevicePath());
    Bytes sent;
    for (const Bytes& frame : {kRestart, Bytes{0x00, 0xFF, 0x13, 0x11}, kVersion}) {
        line.Exchange(frame, 4, 100ms);
        sent.insert(sent.end(), frame.begin(), frame.end());
    }
    sim.Dump();
    std::ifstream in(log, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), sent);
}

}  // namespace
}  // namespace zentor::test

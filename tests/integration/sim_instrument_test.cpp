// The simulator's running firmware, driven with raw frames over its terminal.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <thread>

#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kAddr = 1;
constexpr auto kSilence = 300ms;

// The simulator's DATA FLASH before anything is written to it.
Bytes SimFactoryFlash(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
    return b;
}

std::optional<std::uint8_t> CopyPage(SimLine& line, int page) {
    if (!WriteByte(line, 0xFE, static_cast<std::uint8_t>(page))) return std::nullopt;
    if (!WriteByte(line, 0xFF, 0x06)) return std::nullopt;
    auto status = ReadBlock(line, kAddr | 0x80, 0xFF, 1);
    if (!status) return std::nullopt;
    return (*status)[0];
}

std::optional<Bytes> ReadSram(SimLine& line, int block) {
    if (!WriteByte(line, 0xFE, 0x03)) return std::nullopt;
    Bytes page;
    for (int k = 0; k < 256 / block; ++k) {
        auto data = ReadBlock(line, kAddr | 0xC0, static_cast<std::uint8_t>(k * block), block);
        if (!data) return std::nullopt;
        page.insert(page.end(), data->begin(), data->end());
    }
    return page;
}

// The tool's page read: select, copy, status, select SRAM 3, block reads.
std::optional<Bytes> ReadPage(SimLine& line, int page, int block) {
    auto status = CopyPage(line, page);
    if (!status || *status != 0) return std::nullopt;
    return ReadSram(line, block);
}

// The tool's page write: SRAM 3, open, blocks, close, select page, store, status.
std::optional<std::uint8_t> WritePage(SimLine& line, int page, const Bytes& data, int block) {
    if (!WriteByte(line, 0xFE, 0x03)) return std::nullopt;
    const bool small = block == 16;
    if (!(small ? WriteByte(line, 0xFB, 0x01) : WriteByte(line, 0xFF, 0xFB))) return std::nullopt;
    for (int k = 0; k < 256 / block; ++k) {
        Bytes chunk(data.begin() + k * block, data.begin() + (k + 1) * block);
        if (!WriteBlock(line, kAddr | 0x40, static_cast<std::uint8_t>(k * block), chunk)) {
            return std::nullopt;
        }
    }
    if (!(small ? WriteBlock(line, kAddr, 0xFB, {0x00}) : WriteBlock(line, kAddr, 0xFF, {0xFA}))) {
        return std::nullopt;
    }
    if (!WriteByte(line, 0xFE, static_cast<std::uint8_t>(page))) return std::nullopt;
    if (!WriteByte(line, 0xFF, 0x05)) return std::nullopt;
    auto status = ReadBlock(line, kAddr | 0x80, 0xFF, 1);
    if (!status) return std::nullopt;
    return (*status)[0];
}

TEST(SimInstrument, ExampleFramesAreAnsweredWithTheirChecksum) {
    SimProcess sim({});
    SimLine line(sim.DevicePath());
    struct Case {
        Bytes frame;
        std::size_t replyLength;
    } cases[] = {
        {{0x01, 0xFE, 0x03, 0x53}, 2},        // select SRAM page
        {{0x01, 0xFF, 0x00, 0xFA, 0xCD}, 2},  // close block write, large
        {{0x81, 0xFF, 0x00, 0x17}, 4},        // read status
        {{0x01, 0xFF, 0x01, 0x2B}, 2},        // restart
    };
    for (const auto& c : cases) {
        Bytes reply = line.Exchange(c.frame, c.replyLength);
        ASSERT_EQ(reply.size(), c.replyLength);
        if (c.replyLength == 2) {
            EXPECT_EQ(reply[1], c.frame.back());
        } else {
            EXPECT_EQ(reply.back(), BusChecksum(reply, reply.size() - 1));
        }
        EXPECT_TRUE(line.ReadFor(50ms).empty()) << "surplus bytes";
    }
    Bytes version = line.Exchange({0x81, 0xED, 0x00, 0x6A}, 4);
    ASSERT_EQ(version.size(), 4u);
    EXPECT_EQ(version[2], 120);
    EXPECT_EQ(version[3], BusChecksum(version, 3));
}

TEST(SimInstrument, VersionIdentityAndAddressComeFromOptions) {
    SimProcess sim({"--address", "17", "--version-code", "99", "--identity", "5,120,3,200"});
    SimLine line(sim.DevicePath());
    EXPECT_EQ(ReadBlock(line, 17 | 0x80, 0xED, 1), Bytes{99});
    EXPECT_EQ(ReadBlock(line, 17 | 0x80, 0xEC, 4), (Bytes{5, 120, 3, 200}));
    // Address 1 is somebody else now.
    EXPECT_FALSE(ReadBlock(line, 1 | 0x80, 0xED, 1, kSilence));
}

struct BlockCase {
    int versionCode;
    int block;
};

class SimInstrumentBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(SimInstrumentBlocks, PageReadReturnsTheDataFlash) {
    SimProcess sim({"--baud", "0", "--version-code", std::to_string(GetParam().versionCode)});
    SimLine line(sim.DevicePath());
    Bytes all;
    for (int p = 0; p < 8; ++p) {
        auto page = ReadPage(line, p, GetParam().block);
        ASSERT_TRUE(page) << "page " << p;
        all.insert(all.end(), page->begin(), page->end());
    }
    EXPECT_EQ(all, SimFactoryFlash(2048));
    EXPECT_EQ(sim.DataFlash(), SimFactoryFlash(2048));
}

TEST_P(SimInstrumentBlocks, PageWriteLandsAtTheTopOfTheFlash) {
    SimProcess sim({"--baud", "0", "--version-code", std::to_string(GetParam().versionCode),
                    "--chip", "Y3", "--data-flash-size", "1024"});
    SimLine line(sim.DevicePath());
    Bytes page2(256), page3(256);
    for (int i = 0; i < 256; ++i) {
        page2[i] = static_cast<std::uint8_t>(255 - i);
        page3[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    }
    ASSERT_EQ(WritePage(line, 2, page2, GetParam().block), std::optional<std::uint8_t>(0));
    ASSERT_EQ(WritePage(line, 3, page3, GetParam().block), std::optional<std::uint8_t>(0));
    EXPECT_EQ(ReadPage(line, 2, GetParam().block), page2);

    Bytes expected = SimFactoryFlash(1024);
    std::copy(page2.begin(), page2.end(), expected.begin() + 512);
    std::copy(page3.begin(), page3.end(), expected.begin() + 768);
    EXPECT_EQ(sim.DataFlash(), expected);
    Bytes flash = sim.Flash();
    ASSERT_EQ(flash.size(), 8192u);
    EXPECT_EQ(Bytes(flash.begin() + 0x1C00, flash.end()), expected);
    EXPECT_EQ(flash[0x1BFF], 0xFF);
}

INSTANTIATE_TEST_SUITE_P(Versions, SimInstrumentBlocks,
                         testing::Values(BlockCase{120, 128}, BlockCase{100, 128},
                                         BlockCase{99, 16}),
                         [](const auto& info) {
                             return "Version" + std::to_string(info.param.versionCode);
                         });

TEST(SimInstrument, MalformedOrForeignFramesGetNoReplyAndDoNotDerailTheNext) {
    SimProcess sim({"--version-code", "99"});
    SimLine line(sim.DevicePath());
    struct Case {
        const char* what;
        Bytes frame;  // sent as is
    } cases[] = {
        {"bad checksum", {0x01, 0xFF, 0x01, 0x2C}},
        {"other address", WithChecksum({0x02, 0xFF, 0x01})},
        {"read past the page end", WithChecksum({0xC1, 0xF8, 0x0F})},
        {"read too long for old firmware", WithChecksum({0xC1, 0x00, 0x7F})},
        {"memory write without open block write", WithChecksum({0x41, 0x00, 0x00, 0x42})},
        {"partial frame", {0x81, 0xED}},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(line.Exchange(c.frame, 2, kSilence).empty()) << c.what;
        EXPECT_EQ(ReadBlock(line, 0x81, 0xED, 1), Bytes{99}) << "after " << c.what;
    }
    // Once opened small, a 16-byte block fits and a 17-byte one or one past the end do not.
    ASSERT_TRUE(WriteByte(line, 0xFB, 0x01));
    EXPECT_TRUE(WriteBlock(line, 0x41, 0xF0, Bytes(16, 1)));
    EXPECT_FALSE(WriteBlock(line, 0x41, 0x00, Bytes(17, 1), kSilence));
    EXPECT_FALSE(WriteBlock(line, 0x41, 0xF8, Bytes(16, 1), kSilence));
}

TEST(SimInstrument, PagesOutsideTheDataFlashOrFailingReportStatus) {
    SimProcess sim({"--baud", "0", "--data-flash-size", "1024", "--status-fail", "1"});
    SimLine line(sim.DevicePath());
    EXPECT_EQ(CopyPage(line, 3), std::optional<std::uint8_t>(0));
    EXPECT_NE(CopyPage(line, 4), std::optional<std::uint8_t>(0));
    EXPECT_NE(CopyPage(line, 1), std::optional<std::uint8_t>(0));
    EXPECT_NE(WritePage(line, 1, Bytes(256, 0), 128), std::optional<std::uint8_t>(0));
    EXPECT_EQ(CopyPage(line, 0), std::optional<std::uint8_t>(0));
    EXPECT_EQ(sim.DataFlash(), SimFactoryFlash(1024)) << "a failed store must not write";
}

TEST(SimInstrument, DataAndCodeFilesSetTheInitialFlash) {
    const ScratchDir temp("sim-test");
    auto dir = temp.path();
    Bytes data(512), code{0x02, 0x00, 0x30};
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i / 3);
    {
        std::ofstream(dir / "d.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
        std::ofstream(dir / "c.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(code.data()),
                   static_cast<std::streamsize>(code.size()));
    }
    SimProcess sim({"--baud", "0", "--chip", "Y2", "--data-flash-size", "512", "--data-file",
                    (dir / "d.bin").string(), "--code-file", (dir / "c.bin").string(), "--hcr0",
                    "3C", "--hcr1", "c5"});
    Bytes flash = sim.Flash();
    ASSERT_EQ(flash.size(), 4096u);
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 3), code);
    EXPECT_EQ(flash[3], 0xFF);
    EXPECT_EQ(Bytes(flash.begin() + 4096 - 512, flash.end()), data);
    EXPECT_EQ(sim.Hcr0(), "3C");
    EXPECT_EQ(sim.Hcr1(), "C5");
    SimLine line(sim.DevicePath());
    EXPECT_EQ(ReadPage(line, 1, 128), Bytes(data.begin() + 256, data.end()));
}

TEST(SimInstrument, RejectsADataFileThatDoesNotFit) {
    const ScratchDir temp("sim-test");
    auto file = temp.path() / "big.bin";
    std::ofstream(file, std::ios::binary) << std::string(4096, 'x');
    EXPECT_THROW(SimProcess({"--data-file", file.string()}), std::runtime_error);
}

TEST(SimInstrument, PlainRestartKeepsTheFirmwareAndClearsSram) {
    SimProcess sim({});
    SimLine line(sim.DevicePath());
    ASSERT_TRUE(WriteByte(line, 0xFF, 0xFB));
    ASSERT_TRUE(WriteBlock(line, 0x41, 0x00, Bytes(128, 0x77)));
    ASSERT_EQ(ReadBlock(line, 0xC1, 0x00, 4), Bytes(4, 0x77));
    ASSERT_TRUE(WriteByte(line, 0xFF, 0x01));
    EXPECT_EQ(ReadBlock(line, 0xC1, 0x00, 4), Bytes(4, 0x00));
    EXPECT_EQ(sim.Mode(), "firmware");
}

TEST(SimInstrument, ProgSequenceThenRestartEntersTheBootRom) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint8_t, std::uint8_t>> writes;
        const char* mode;
    } cases[] = {
        {"Prog then restart", {{0xFD, 0xAF}, {0xFF, 0x0B}, {0xFF, 0x01}}, "bootrom"},
        {"restart only", {{0xFF, 0x01}}, "firmware"},
        {"step 2 without step 1", {{0xFF, 0x0B}, {0xFF, 0x01}}, "firmware"},
        {"wrong key", {{0xFD, 0xAE}, {0xFF, 0x0B}, {0xFF, 0x01}}, "firmware"},
    };
    for (const auto& c : cases) {
        SimProcess sim({});
        SimLine line(sim.DevicePath());
        for (auto [reg, value] : c.writes) ASSERT_TRUE(WriteByte(line, reg, value)) << c.what;
        EXPECT_EQ(sim.Mode(), c.mode) << c.what;
        Bytes banner = line.Exchange({'\r'}, 26, kSilence);
        EXPECT_EQ(banner.size(), std::string(c.mode) == "bootrom" ? 26u : 0u) << c.what;
    }
}

TEST(SimInstrument, SurvivesThePortBeingOpenedAndClosedRepeatedly) {
    SimProcess sim({});
    for (int i = 0; i < 20; ++i) {
        SimLine line(sim.DevicePath());
        ASSERT_EQ(ReadBlock(line, 0x81, 0xED, 1), Bytes{120}) << "open " << i;
        if (i % 5 == 0) {
            line.Write({0x81, 0xEC});  // a partial frame, dropped after some silence
            std::this_thread::sleep_for(100ms);
        }
    }
    SimLine line(sim.DevicePath());
    EXPECT_EQ(ReadBlock(line, 0x81, 0xED, 1), Bytes{120});
}

}  // namespace
}  // namespace zentor::test

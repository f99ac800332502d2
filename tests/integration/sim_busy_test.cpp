// The simulated devices on a paced line are deaf while they work on their flash:
// what arrives then is lost, counted and reported.
#include <gtest/gtest.h>

#include <thread>

#include "support/sim_process.h"

namespace zentor::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes Page(std::uint8_t op, std::uint8_t lo, std::size_t size, std::uint8_t fill) {
    Bytes c{op, 0x00, lo};
    c.resize(3 + size, fill);
    return c;
}

TEST(SimBusy, ProgrammerDropsWhatArrivesWhileItWritesOrErases) {
    SimProcess sim({"--programmer", "--baud", "38400"});
    SimLine line(sim.DevicePath());
    line.Write({0xAC, 0x53, 0x00, 0x00});
    std::this_thread::sleep_for(20ms);
    // The erase keeps it busy for 50 ms: a page sent at once is lost.
    line.Write({0xAC, 0x80, 0x00, 0x00});
    line.Write(Page(0x50, 0x00, 64, 0x11));
    std::this_thread::sleep_for(100ms);
    // A page write keeps it busy for 5 ms from its last byte.
    line.Write(Page(0x50, 0x40, 64, 0x22));
    line.Write(Page(0x50, 0x80, 64, 0x33));
    std::this_thread::sleep_for(100ms);
    line.Write(Page(0x50, 0xC0, 64, 0x44));
    std::this_thread::sleep_for(30ms);

    const long lost = sim.LostBytes();
    EXPECT_GT(lost, 0);
    EXPECT_LT(lost, 2 * 67);
    const Bytes flash = sim.Flash();
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 64), Bytes(64, 0xFF));
    EXPECT_EQ(Bytes(flash.begin() + 0x40, flash.begin() + 0x80), Bytes(64, 0x22));
    EXPECT_EQ(Bytes(flash.begin() + 0x80, flash.begin() + 0xC0), Bytes(64, 0xFF));
    EXPECT_EQ(Bytes(flash.begin() + 0xC0, flash.begin() + 0x100), Bytes(64, 0x44));
}

TEST(SimBusy, BootRomAnswersAnEraseWhenDoneAndIsDeafMeanwhile) {
    SimProcess sim({"--jumper", "--baud", "38400"});
    SimLine line(sim.DevicePath());
    ASSERT_EQ(line.ExchangeText("\r", 26).size(), 26u);
    for (const char* rw : {"RWFB15", "RWFC65", "RWFD56"})
        ASSERT_EQ(line.ExchangeText(rw, 3).size(), 3u);
    const auto start = std::chrono::steady_clock::now();
    line.WriteText("M0000");
    line.WriteText("E");  // lost: the erase is under way
    const Bytes reply = line.Read(6, 2000ms);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(std::string(reply.begin(), reply.end()), "Mok\r\n>");
    EXPECT_GE(took, 500ms);
    EXPECT_TRUE(line.ReadFor(50ms).empty());
    EXPECT_EQ(sim.LostBytes(), 1);
}

TEST(SimBusy, FirmwareIsDeafRightAfterAPageStoreAndNotAtRate0) {
    for (const char* baud : {"38400", "0"}) {
        SCOPED_TRACE(baud);
        SimProcess sim({"--baud", baud});
        SimLine line(sim.DevicePath());
        ASSERT_TRUE(WriteByte(line, 0xFE, 0x00));
        // Store, then at once a register write: at a real pace the second frame
        // comes while the page is being written.
        line.Purge();
        line.Write(WithChecksum({0x01, 0xFF, 0x05}));
        line.Write(WithChecksum({0x01, 0xFE, 0x01}));
        const Bytes replies = line.Read(4, 300ms);
        const bool paced = std::string(baud) != "0";
        EXPECT_EQ(replies.size(), paced ? 2u : 4u);
        EXPECT_EQ(sim.LostBytes(), paced ? 4 : 0);
    }
}

}  // namespace
}  // namespace zentor::test

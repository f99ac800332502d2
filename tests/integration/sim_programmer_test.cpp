// The simulator as a hardware programmer, over raw bytes.

#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes Command(std::initializer_list<std::uint8_t> head, const Bytes& payload = {}) {
    Bytes c(head);
    c.insert(c.end(), payload.begin(), payload.end());
    return c;
}

// An unpaced line: the programmer is never busy, so commands may follow at once.
// No purge here, like the tool's programmer link: every reply must be exact.
TEST(SimProgrammer, WritesPagesAndReadsThemBack) {
    SimProcess sim(
        {"--baud", "0", "--programmer", "--prog-code-size", "4096", "--prog-data-size", "512"});
    SimLine line(sim.DevicePath());
    line.Write({0x55});
    EXPECT_EQ(line.Read(1), Bytes{0x55});
    line.Write({0xAC, 0x53, 0x00, 0x00});
    line.Write({0xAC, 0x80, 0x00, 0x00});
    const Bytes code = Pattern(64, 1), data = Pattern(32, 2);
    line.Write(Command({0x50, 0x0F, 0xC0}, code));
    line.Write(Command({0xD0, 0x01, 0xE0}, data));

    line.Write({0x30, 0x0F, 0xC0, 0x00});
    EXPECT_EQ(line.Read(64), code);
    line.Write({0x30, 0x00, 0x00, 0x00});
    EXPECT_EQ(line.Read(64), Bytes(64, 0xFF));
    line.Write({0xB0, 0x01, 0xE0, 0x00});
    EXPECT_EQ(line.Read(32), data);
    EXPECT_TRUE(line.ReadFor(100ms).empty()) << "surplus bytes";

    EXPECT_EQ(sim.Mode(), "programmer");
    Bytes flash = sim.Flash(), dataMemory = sim.DataFlash();
    ASSERT_EQ(flash.size(), 4096u);
    ASSERT_EQ(dataMemory.size(), 512u);
    EXPECT_EQ(Bytes(flash.begin() + 0xFC0, flash.end()), code);
    EXPECT_EQ(Bytes(dataMemory.begin() + 0x1E0, dataMemory.end()), data);
}

TEST(SimProgrammer, ChipEraseClearsBothMemories) {
    SimProcess sim({"--baud", "0", "--programmer"});
    SimLine line(sim.DevicePath());
    line.Write({0xAC, 0x53, 0x00, 0x00});
    line.Write(Command({0x50, 0x00, 0x40}, Pattern(64, 3)));
    line.Write(Command({0xD0, 0x00, 0x20}, Pattern(32, 4)));
    line.Write({0x30, 0x00, 0x40, 0x00});
    ASSERT_EQ(line.Read(64), Pattern(64, 3));
    line.Write({0xAC, 0x80, 0x00, 0x00});
    line.Write({0x30, 0x00, 0x40, 0x00});
    EXPECT_EQ(line.Read(64), Bytes(64, 0xFF));
    line.Write({0xB0, 0x00, 0x20, 0x00});
    EXPECT_EQ(line.Read(32), Bytes(32, 0xFF));
}

TEST(SimProgrammer, NothingIsWrittenBeforeProgrammingIsEnabled) {
    SimProcess sim({"--programmer"});
    SimLine line(sim.DevicePath());
    line.Write(Command({0x50, 0x00, 0x00}, Pattern(64, 1)));
    line.Write({0xAC, 0x53, 0x00, 0x00});
    line.Write({0x30, 0x00, 0x00, 0x00});
    EXPECT_EQ(line.Read(64), Bytes(64, 0xFF));
    EXPECT_EQ(sim.Flash(), Bytes(8192, 0xFF));
}

TEST(SimProgrammer, Faults) {
    {
        SimProcess sim({"--baud", "0", "--programmer", "--no-sync"});
        SimLine line(sim.DevicePath());
        line.Write({0x55});
        EXPECT_TRUE(line.Read(1, 300ms).empty());
    }
    {
        SimProcess sim({"--baud", "0", "--programmer", "--verify-fail-page", "0x80"});
        SimLine line(sim.DevicePath());
        line.Write({0xAC, 0x53, 0x00, 0x00});
        for (std::uint8_t page : {0x40, 0x80}) {
            line.Write(Command({0x50, 0x00, page}, Pattern(64, page)));
            line.Write({0x30, 0x00, page, 0x00});
            Bytes back = line.Read(64);
            ASSERT_EQ(back.size(), 64u);
            int differing = 0;
            for (int i = 0; i < 64; ++i) differing += back[i] != Pattern(64, page)[i];
            EXPECT_EQ(differing, page == 0x80 ? 1 : 0) << "page " << int(page);
        }
    }
}

}  // namespace
}  // namespace zentor::test

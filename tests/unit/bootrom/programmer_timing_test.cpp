// The programmer's pauses on a line whose writes take their frame time: each one
// counts from the moment the last byte of the command has left.
#include <gtest/gtest.h>

#include "bootrom/program_chip.h"
#include "bootrom_rig.h"

namespace zentor::test {
namespace {

TEST(ProgrammerTiming, PausesCountFromTheEndOfEachTransfer) {
    Rig rig(0);
    rig.port.baud = 9600;
    rig.Factory(true);
    rig.dir.Write("prog.bin", Pattern(256, 3));
    rig.dir.Write("data.bin", Pattern(64, 4));
    ASSERT_TRUE(ProgramChip(rig.s, FactoryProgramOptions()).Ok());

    // At 9600 bit/s, 10 bits a byte: 67 bytes take 69.8 ms, 35 bytes 36.5 ms,
    // 4 bytes 4.2 ms (whole milliseconds on the virtual clock).
    struct Expect {
        std::uint8_t opcode;
        std::int64_t transferMs;
        std::int64_t pauseMs;  // from the end of the transfer to the next write
    };
    const Expect expected[] = {
        {0x55, 2, 100}, {0xAC, 5, 20},  {0xAC, 5, 100},  // sync, enable, erase
        {0x50, 70, 20}, {0x50, 70, 20}, {0x50, 70, 20}, {0x50, 70, 20}, {0x30, 5, 0}, {0x30, 5, 0},
        {0x30, 5, 0},   {0x30, 5, 20},  {0xD0, 37, 20}, {0xD0, 37, 20}, {0xB0, 5, 0},
    };
    std::vector<ScriptedPort::Event> writes;
    for (const auto& e : rig.port.events)
        if (e.kind == ScriptedPort::Event::Write) writes.push_back(e);
    ASSERT_EQ(writes.size(), std::size(expected) + 1);
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("write " + std::to_string(i));
        EXPECT_EQ(writes[i].bytes[0], expected[i].opcode);
        EXPECT_EQ(writes[i].endMs - writes[i].atMs, expected[i].transferMs);
        EXPECT_EQ(writes[i + 1].atMs - writes[i].endMs, expected[i].pauseMs);
    }
}

}  // namespace
}  // namespace zentor::test

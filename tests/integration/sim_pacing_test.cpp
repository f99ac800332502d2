// Wire pacing: bytes take their time at the configured bit rate in both directions.

#include <gtest/gtest.h>

#include "support/sim_process.h"

namespace zentor::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

TEST(SimPacing, ReplyOf131BytesTakesItsWireTime) {
    struct Case {
        const char* baud;
        double minMs;
        double maxMs;
    } cases[] = {
        // 4 request bytes in, 131 reply bytes out, 10 bits each.
        {"38400", 35.0, 80.0},
        {"0", 0.0, 20.0},
    };
    for (const auto& c : cases) {
        SimProcess sim({"--baud", c.baud});
        SimLine line(sim.DevicePath());
        const Bytes request = WithChecksum({0xC1, 0x00, 0x7F});
        double best = 1e9;
        for (int i = 0; i < 3; ++i) {
            line.Purge();
            auto start = Clock::now();
            line.Write(request);
            Bytes reply = line.Read(131, 1000ms);
            auto elapsed = Clock::now() - start;
            ASSERT_EQ(reply.size(), 131u) << c.baud;
            best = std::min(best, Ms(elapsed));
        }
        EXPECT_GE(best, c.minMs) << c.baud << " bit/s";
        EXPECT_LE(best, c.maxMs) << c.baud << " bit/s";
    }
}

TEST(SimPacing, ACommandIsActedOnOnlyWhenItsLastByteHasArrived) {
    // 132-byte memory write at 9600 bit/s: 137.5 ms on the wire before any answer.
    SimProcess sim({"--baud", "9600"});
    SimLine line(sim.DevicePath());
    ASSERT_TRUE(WriteByte(line, 0xFF, 0xFB));
    Bytes frame{0x41, 0x00, 0x7F};
    frame.resize(3 + 128, 0x3C);
    frame = WithChecksum(frame);
    line.Purge();
    auto start = Clock::now();
    line.Write(frame);
    Bytes first = line.Read(1);
    auto firstAt = Clock::now() - start;
    Bytes second = line.Read(1);
    auto secondAt = Clock::now() - start;
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second, Bytes{frame.back()});
    EXPECT_GE(Ms(firstAt), 137.5 + 1.0);
    EXPECT_LE(Ms(firstAt), 200.0);
    EXPECT_GE(Ms(secondAt - firstAt), 0.7) << "reply bytes leave one wire time apart";
}

}  // namespace
}  // namespace zentor::test

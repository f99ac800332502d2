// Bit rates and write timing of the POSIX back end on pseudo-terminals.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "serial/custom_rate.h"
#include "serial/frame_time.h"
#include "station/com_port.h"

namespace zentor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class PtyPair {
public:
    PtyPair() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) ADD_FAILURE();
        name_ = name;
    }
    ~PtyPair() {
        ::close(master_);
        ::close(slave_);
    }
    const std::string& Name() const { return name_; }
    int Slave() const { return slave_; }
    std::size_t Drain() {
        std::size_t n = 0;
        pollfd p{master_, POLLIN, 0};
        std::uint8_t buf[512];
        while (::poll(&p, 1, 50) > 0) {
            const ssize_t r = ::read(master_, buf, sizeof buf);
            if (r <= 0) break;
            n += static_cast<std::size_t>(r);
        }
        return n;
    }

private:
    int master_ = -1, slave_ = -1;
    std::string name_;
};

TEST(LineRate, RatesWithoutAConstantOpenAtTheirValue) {
    const auto opener = MakeSystemPortOpener("");
    for (long rate : {14400L, 28800L, 56000L, 128000L, 256000L, 9600L, 38400L}) {
        SCOPED_TRACE(rate);
        PtyPair pty;
        OpenResult r = opener->Open(pty.Name(), static_cast<int>(rate));
        ASSERT_EQ(r.status, OpenStatus::Ok);
        EXPECT_EQ(ReadBackBitRate(pty.Slave()), rate);
    }
    PtyPair pty;
    for (int refused : {0, -9600})
        EXPECT_EQ(opener->Open(pty.Name(), refused).status, OpenStatus::ConfigFailed) << refused;
}

TEST(LineRate, WriteReturnsNoEarlierThanTheFrameTime) {
    // A pseudo-terminal drains at once: only the frame time holds the write back.
    const auto opener = MakeSystemPortOpener("");
    struct Case {
        int baud;
        std::size_t bytes;
    } cases[] = {{2400, 30}, {14400, 180}, {38400, 240}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        PtyPair pty;
        OpenResult r = opener->Open(pty.Name(), c.baud);
        ASSERT_EQ(r.status, OpenStatus::Ok);
        const Bytes data(c.bytes, 0x5A);
        const auto start = Clock::now();
        EXPECT_EQ(r.port->Write(data.data(), data.size()), c.bytes);
        const auto took = Clock::now() - start;
        const auto frame = FrameTime(c.bytes, FrameFormat{}, c.baud);  // 125 ms each
        EXPECT_GE(took, frame);
        EXPECT_LT(took, frame + std::chrono::milliseconds(60));
        EXPECT_EQ(pty.Drain(), c.bytes);
    }
}

TEST(FrameTime, BitsPerCharacterFromTheFrame) {
    struct Case {
        FrameFormat format;
        std::size_t bytes;
        long baud;
        long long us;
    } cases[] = {
        {{8, false, 2}, 1, 9600, 1042},  // 10 bits, rounded up
        {{8, false, 2}, 269, 2400, 1120834},
        {{8, true, 4}, 12, 1200, 120000},  // 12 bits
        {{7, true, 3}, 2, 1000, 21000},    // 10.5 bits
        {{8, false, 2}, 5, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FrameTime(c.bytes, c.format, c.baud).count(), c.us) << c.bytes << "@" << c.baud;
}

}  // namespace
}  // namespace zentor

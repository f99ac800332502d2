// A shorter read deadline on a real terminal: reads end at it, the readout
// follows it, out-of-range values are refused.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "station/com_port.h"

namespace zentor {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(PosixReadDeadline, ShorterDeadlineEndsASilentRead) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const auto opener = MakeSystemPortOpener({});
    OpenResult r = opener->Open(name, 9600);
    ASSERT_EQ(r.status, OpenStatus::Ok);
    Port& port = *r.port;

    for (int refused : {0, -5, 1001}) EXPECT_FALSE(port.SetReadDeadline(refused)) << refused;
    EXPECT_EQ(port.Timeouts().ReadTotalTimeoutConstant, 1000u);
    ASSERT_TRUE(port.SetReadDeadline(60));
    EXPECT_EQ(port.Timeouts().ReadTotalTimeoutConstant, 60u);

    std::uint8_t byte = 0;
    const auto start = steady_clock::now();
    EXPECT_EQ(port.Read(&byte, 1), 0u);
    const auto took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(took, 55);
    EXPECT_LT(took, 400);

    // A byte already there comes at once.
    const std::uint8_t sent = 0x5A;
    ASSERT_EQ(::write(master, &sent, 1), 1);
    EXPECT_EQ(port.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 0x5A);
    r.port.reset();
    ::close(master);
    ::close(slave);
}

}  // namespace
}  // namespace zentor

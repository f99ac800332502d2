// The threads of a many-port run: every port's work runs at once, a stop asked
// of the caller's controls reaches every port still running, and the caller sees
// the chip at risk while any port's is.
#include "gang/each_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zentor {
namespace {

bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST(RunEachPort, StopsReachEveryRunningPortAndRiskReachesTheCaller) {
    SystemClock clock;
    Controls master;
    std::atomic<int> started{0};
    std::atomic<bool> stopSeen[3] = {false, false, false};
    std::atomic<bool> abortSeen[3] = {false, false, false};
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        RunEachPort(3, master, clock, [&](std::size_t i, Controls& c) {
            ++started;
            if (i == 0) return;  // a port that fails at once ends alone
            // Port 1 writes its chip until asked to abort; port 2 waits for a stop
            // and takes it (as a read does).
            if (i == 1) c.ChipAtRisk = true;
            while (!(i == 1 ? c.AbortRequested.load() : c.StopRequested.exchange(false)))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stopSeen[i] = i == 1 ? c.StopRequested.load() : true;
            abortSeen[i] = c.AbortRequested.load();
            if (i == 1) c.ChipAtRisk = false;
        });
        returned = true;
    });
    ASSERT_TRUE(WaitFor([&] { return started == 3; }));
    ASSERT_TRUE(WaitFor([&] { return master.ChipAtRisk.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * kRelayMs));
    EXPECT_FALSE(returned);  // nobody asked the others to stop
    master.StopRequested = true;
    master.AbortRequested = true;
    caller.join();
    EXPECT_TRUE(stopSeen[1] && abortSeen[1]);
    EXPECT_TRUE(stopSeen[2] && abortSeen[2]);
    EXPECT_FALSE(stopSeen[0] || abortSeen[0]);
    EXPECT_FALSE(master.ChipAtRisk);
}

}  // namespace
}  // namespace zentor

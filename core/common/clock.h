// Time source for every wait a command makes. Tests inject a virtual clock
// (testing/virtual_clock.h).
#pragma once

#include <cstdint>

namespace zentor {

class Clock {
public:
    virtual ~Clock() = default;
    // Blocks the calling thread for ms milliseconds (virtual clocks only advance).
    virtual void SleepMs(int ms) = 0;
    // Monotonic milliseconds since an arbitrary origin.
    virtual std::int64_t NowMs() = 0;
};

// Real time: steady_clock and a precise sleep.
class SystemClock final : public Clock {
public:
    void SleepMs(int ms) override;
    std::int64_t NowMs() override;
};

}  // namespace zentor

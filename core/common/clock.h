// Time source for every wait a command makes. Tests inject a virtual clock.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

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

// Virtual time for tests: SleepMs advances the clock and records the wait.
class VirtualClock final : public Clock {
public:
    void SleepMs(int ms) override;
    std::int64_t NowMs() override;
    void Advance(std::int64_t ms);
    std::vector<int> Sleeps() const;
    void ClearSleeps();

private:
    mutable std::mutex mutex_;
    std::int64_t now_ = 0;
    std::vector<int> sleeps_;
};

}  // namespace zentor

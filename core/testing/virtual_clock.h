// Virtual time for tests: SleepMs returns at once, advancing the clock by the wait
// and recording it. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "common/clock.h"

namespace zentor {

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

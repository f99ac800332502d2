#include "testing/virtual_clock.h"

namespace zentor {

void VirtualClock::SleepMs(int ms) {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(ms);
    if (ms > 0) now_ += ms;
}

std::int64_t VirtualClock::NowMs() {
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::Advance(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    now_ += ms;
}

std::vector<int> VirtualClock::Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

void VirtualClock::ClearSleeps() {
    std::lock_guard lock(mutex_);
    sleeps_.clear();
}

}  // namespace zentor

#include "common/clock.h"

#include <chrono>
#include <thread>

namespace zentor {

void SystemClock::SleepMs(int ms) {
    if (ms <= 0) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::this_thread::sleep_until(until);
}

std::int64_t SystemClock::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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

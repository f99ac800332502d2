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

}  // namespace zentor

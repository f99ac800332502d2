#include "gang/each_port.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace zentor {

void RunEachPort(std::size_t count, Controls& master, Clock& clock,
                 const std::function<void(std::size_t, Controls&)>& work) {
    std::vector<std::unique_ptr<Controls>> controls;
    for (std::size_t i = 0; i < count; ++i) controls.push_back(std::make_unique<Controls>());
    std::atomic<std::size_t> running{count};
    std::vector<std::thread> workers;
    workers.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        workers.emplace_back([&, i] {
            work(i, *controls[i]);
            --running;
        });
    }
    // A stop is passed on once, when it is asked: a port that took it (and
    // cleared it) is not asked again by the same request.
    bool stopSeen = false, abortSeen = false;
    while (running > 0) {
        const bool stop = master.StopRequested, abort = master.AbortRequested;
        for (auto& c : controls) {
            if (stop && !stopSeen) c->StopRequested = true;
            if (abort && !abortSeen) c->AbortRequested = true;
        }
        stopSeen = stop;
        abortSeen = abort;
        master.ChipAtRisk = std::any_of(controls.begin(), controls.end(),
                                        [](const auto& c) { return c->ChipAtRisk.load(); });
        clock.SleepMs(kRelayMs);
    }
    for (auto& w : workers) w.join();
    master.ChipAtRisk = false;
}

}  // namespace zentor

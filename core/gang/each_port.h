// Runs one piece of work per port, each on a thread of its own with stop
// controls of its own, and relays between those and the caller's controls.
//
// The calling thread waits until every port's work has returned, looking every
// kRelayMs (through `clock`): a StopRequested or AbortRequested newly set on
// `master` is set on every port's controls, and master.ChipAtRisk holds while
// any port's does; it is false on return. A port whose work ends early (a port
// that cannot open, a silent instrument) ends alone; the others go on. `work`
// must not throw.
#pragma once

#include <cstddef>
#include <functional>

#include "common/clock.h"
#include "station/station.h"

namespace zentor {

inline constexpr int kRelayMs = 20;

void RunEachPort(std::size_t count, Controls& master, Clock& clock,
                 const std::function<void(std::size_t port, Controls& controls)>& work);

}  // namespace zentor

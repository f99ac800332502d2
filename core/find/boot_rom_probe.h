// Chips waiting in their boot ROM, for `--ports auto` and the next-device loop.
//
// A probe opens the port through the normal opener (exclusive, with its locks)
// at the given rate, asks once for the boot ROM's banner (a carriage return) and
// closes the port; a port that will not open counts as no answer. Nothing but
// that carriage return is sent, so a chip found is left as it was. Each port of
// a list is probed on a thread of its own; the call returns when all are done,
// at most one read deadline (about a second) later.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "common/clock.h"
#include "find/instrument_search.h"
#include "serial/port.h"

namespace zentor {

// True when a boot ROM on `port` answers the banner request at `baud`.
bool BootRomAnswers(PortOpener& opener, Clock& clock, const std::string& port, int baud,
                    int extraPauseMs);

// The ports of `ports` where a boot ROM answers, in the order given. A set
// `cancel` skips the ports not yet probed.
std::vector<std::string> FindBootRoms(PortOpener& opener, Clock& clock,
                                      const std::vector<std::string>& ports, int baud,
                                      int extraPauseMs, const std::atomic<bool>* cancel = nullptr);

// The ports a search found silent (opened, nothing answered), in its order.
std::vector<std::string> SilentPorts(const SearchResult& result);

}  // namespace zentor

// zentor-cli find, and --port auto for the instrument commands: the instrument
// search over every free port of the scan, quick (the configured address and 1)
// unless allAddresses. `find` prints each instrument on stdout (one line) as soon
// as it answers, and the ports that would not open on stderr at the end. The
// search's own timing applies (short probes, all ports at once); Ctrl-C through
// `cancel` ends it early.
#pragma once

#include <atomic>
#include <optional>
#include <vector>

#include "common/clock.h"
#include "common/frontend.h"
#include "config/settings.h"
#include "find/instrument_search.h"
#include "serial/port.h"

namespace zentor {

struct FindLimits {
    std::optional<int> baud;     // --baud: only this rate
    std::optional<int> address;  // --address: only this address
    bool allAddresses = false;   // every address 1..63, every instrument at the rate found
};

// The search of `find` from the configured rate and address; 0 when at least one
// instrument answered, else 1 ("Устройство не найдено" on stderr).
int RunFindCommand(PortOpener& opener, Clock& clock, Frontend& ui, const Settings& settings,
                   const FindLimits& limits, const std::atomic<bool>* cancel);

// --port auto: the single instrument found with no port held by another program,
// or nullopt after printing on stderr why not (none; the list of several; the one
// found and the held ports, any of which may hold another).
std::optional<FoundInstrument> FindSingleInstrument(PortOpener& opener, Clock& clock, Frontend& ui,
                                                    const Settings& settings,
                                                    const FindLimits& limits,
                                                    const std::atomic<bool>* cancel);

// --ports auto: what answers where. With `instruments`, every instrument found,
// one per port; with `bootRoms`, also every port where no instrument answered
// but a chip's boot ROM does at the configured rate. Each is printed on stderr as
// it is taken; when there is nothing, that none answered.
struct AutoFound {
    std::vector<FoundInstrument> instruments;
    std::vector<std::string> bootRoms;
    bool Empty() const { return instruments.empty() && bootRoms.empty(); }
};
AutoFound FindForPortsAuto(PortOpener& opener, Clock& clock, Frontend& ui, const Settings& settings,
                           const FindLimits& limits, const std::atomic<bool>* cancel,
                           bool instruments, bool bootRoms);

}  // namespace zentor

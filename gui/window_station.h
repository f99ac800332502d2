// What the window keeps between the commands it runs: the station each command
// is given a copy of, the stop controls its buttons set, the factory face's port
// (open for the window's life and lent to every command) and the files builds
// left for the end. Only the window's thread changes it; a command runs on a
// copy and hands back what the window keeps (JobOutcome).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/job.h"
#include "station/station.h"

namespace zentor::gui {

struct WindowStation {
    WindowStation(Frontend& ui, Clock& clock, PortOpener& opener)
        : station{ui, clock, opener, {}, {}} {}

    Station station;
    Controls controls;
    Settings& settings() { return station.settings; }
    Place& place() { return station.place; }
    // The factory face's port and its timeouts as applied; null when none is open.
    std::shared_ptr<Port> port;
    ComTimeouts timeouts;
    std::vector<std::string> tempFiles;

    // Opens (or re-opens) the window's port from the station's settings; on
    // failure the message box has said why and no port is held.
    bool OpenPort();
    void ClosePort();
};

// What a command leaves for the window: the HCR1 text its identification chose
// (the window programs it from then on, as it shows it in its settings) and the
// files it created for removal at the end.
struct JobOutcome {
    std::optional<std::string> hcr1;
    std::vector<std::string> tempFiles;
};

// Runs `command` in a job of its own, made from `copy`, with `port` (the
// window's, or null) lent to it. Runs on the worker thread.
JobOutcome RunInJob(const Station& copy, Controls& controls, std::shared_ptr<Port> port,
                    ComTimeouts timeouts, const std::function<void(Job&)>& command);
// Takes a command's outcome over; on the window's thread.
void TakeOutcome(WindowStation& window, JobOutcome outcome);

}  // namespace zentor::gui

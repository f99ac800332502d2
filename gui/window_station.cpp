#include "window_station.h"

#include "station/com_port.h"

namespace zentor::gui {

bool WindowStation::OpenPort() {
    std::unique_ptr<Port> opened = OpenConfiguredPort(station);
    if (!opened) {
        port.reset();
        return false;
    }
    timeouts = opened->Timeouts();
    port = std::move(opened);
    return true;
}

void WindowStation::ClosePort() {
    port.reset();
}

JobOutcome RunInJob(const Station& copy, Controls& controls, std::shared_ptr<Port> port,
                    ComTimeouts timeouts, const std::function<void(Job&)>& command) {
    Job job(copy, controls);
    job.port = std::move(port);
    job.timeouts = timeouts;
    command(job);
    return {job.hcr1, std::move(job.TempFiles)};
}

void TakeOutcome(WindowStation& window, JobOutcome outcome) {
    if (outcome.hcr1) window.settings().HCR1Value = *outcome.hcr1;
    window.tempFiles.insert(window.tempFiles.end(), outcome.tempFiles.begin(),
                            outcome.tempFiles.end());
}

}  // namespace zentor::gui

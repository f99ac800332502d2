#include "station/com_port.h"

#include <utility>

#include "text/message.h"

namespace zentor {

std::unique_ptr<Port> OpenConfiguredPort(const Station& station) {
    const std::string& name = station.settings.NamePort;
    const std::string& caption = station.place.caption;
    if (name.empty()) {
        station.ui.MessageBox(Render(ZT("port.not_set", "COM-порт не задан.")), caption,
                              MessageIcon::Information);
        return nullptr;
    }
    OpenResult r = station.opener.Open(name, station.settings.BaudRate);
    if (r.status != OpenStatus::Ok || !r.port) {
        if (r.status == OpenStatus::Ok) r.status = OpenStatus::OtherError;
        station.ui.MessageBox(OpenFailureText(name, r), caption, MessageIcon::Information);
        return nullptr;
    }
    return std::move(r.port);
}

bool OpenComPort(Job& s) {
    if (s.settings.NamePort.empty()) {
        OpenConfiguredPort(s.station);
        return false;
    }
    s.portGoneReported = false;
    std::unique_ptr<Port> port = OpenConfiguredPort(s.station);
    if (!port) {
        s.port.reset();
        return false;
    }
    s.timeouts = port->Timeouts();
    s.port = std::move(port);
    return true;
}

void CloseComPort(Job& s) {
    ReportPortGone(s);
    s.port.reset();
}

bool ReportPortGone(Job& s) {
    if (!s.port || !s.port->Gone()) return false;
    if (s.portGoneReported) return true;
    s.portGoneReported = true;
    s.run.linkError = LinkError::PortGone;
    // Outside a journaled run the phase may be an earlier command's.
    const RunPhase phase = s.journalRunId.empty() ? RunPhase::Unknown : s.run.phase;
    s.ui.Say(ZT("port.gone", "Порт {0} пропал ({1}): адаптер отключён или неисправен",
                s.settings.NamePort, Render(RunPhaseMessage(phase))));
    if (!s.journalRunId.empty()) {
        s.run.result = RunResult::Failed;
        s.run.note = "порт пропал: " + RunPhaseName(phase);
    }
    return true;
}

}  // namespace zentor

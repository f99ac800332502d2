#include "session/com_port.h"

#include <utility>

namespace zentor {

bool OpenComPort(Session& s) {
    const std::string& name = s.settings.NamePort;
    if (name.empty()) {
        s.ui.MessageBox("COM-порт не задан.", s.caption, MessageIcon::Information);
        return false;
    }
    s.portGoneReported = false;
    OpenResult r = s.opener.Open(name, s.settings.BaudRate);
    if (r.status != OpenStatus::Ok || !r.port) {
        s.hComPort.reset();
        if (r.status == OpenStatus::Ok) r.status = OpenStatus::OtherError;
        s.ui.MessageBox(OpenFailureText(name, r), s.caption, MessageIcon::Information);
        return false;
    }
    s.comTimeouts = r.port->Timeouts();
    s.hComPort = std::move(r.port);
    return true;
}

void CloseComPort(Session& s) {
    ReportPortGone(s);
    s.hComPort.reset();
}

bool ReportPortGone(Session& s) {
    if (!s.hComPort || !s.hComPort->Gone()) return false;
    if (s.portGoneReported) return true;
    s.portGoneReported = true;
    // Outside a journaled run the phase may be an earlier command's.
    const std::string phase =
        RunPhaseName(s.journalRunId.empty() ? RunPhase::Unknown : s.run.phase);
    s.ui.AppendLine("Порт " + s.settings.NamePort + " пропал (" + phase +
                    "): адаптер отключён или неисправен");
    if (!s.journalRunId.empty()) {
        s.run.result = RunResult::Failed;
        s.run.note = "порт пропал: " + phase;
    }
    return true;
}

}  // namespace zentor

#include "session/com_port.h"

#include <utility>

namespace zentor {

bool OpenComPort(Session& s) {
    const std::string& name = s.settings.NamePort;
    if (name.empty()) {
        s.ui.MessageBox("COM-порт не задан.", s.caption, MessageIcon::Information);
        return false;
    }
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
    s.hComPort.reset();
}

}  // namespace zentor

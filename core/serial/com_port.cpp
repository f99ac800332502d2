#include "serial/com_port.h"

#include <cstdint>
#include <utility>

namespace zentor {

std::string OpenFailureText(const std::string& name, OpenStatus status, int errorCode) {
    const std::string quoted = "\"" + name + "\"";
    switch (status) {
        case OpenStatus::NotFound:
            return "Не могу открыть " + quoted + ",\nтакого порта не существует.";
        case OpenStatus::Busy:
            return "Не могу открыть " + quoted + ", порт занят.";
        case OpenStatus::ConfigFailed:
            return "Необходимые параметры порта " + quoted + " не установлены";
        case OpenStatus::OtherError:
        case OpenStatus::Ok:
            break;
    }
    return "Не могу открыть " + quoted + ", код ошибки: " + std::to_string(errorCode);
}

bool OpenComPort(Session& s) {
    const std::string& name = s.settings.NamePort;
    if (name.empty()) {
        s.ui.MessageBox("COM-порт не задан.", s.caption, MessageIcon::Information);
        return false;
    }
    OpenResult r = s.opener.Open(name, s.settings.BaudRate);
    if (r.status != OpenStatus::Ok || !r.port) {
        s.hComPort.reset();
        OpenStatus status = r.status == OpenStatus::Ok ? OpenStatus::OtherError : r.status;
        s.ui.MessageBox(OpenFailureText(name, status, r.errorCode), s.caption,
                        MessageIcon::Information);
        return false;
    }
    s.comTimeouts = r.port->Timeouts();
    s.hComPort = std::move(r.port);
    return true;
}

void CloseComPort(Session& s) {
    s.hComPort.reset();
}

std::vector<std::string> ScanComPorts(PortOpener& opener) {
    std::vector<std::string> names;
    for (int n = 1; n <= 256; ++n) {
        std::string name = "COM" + std::to_string(n);
        OpenStatus status = opener.Probe(name);
        if (status == OpenStatus::Ok || status == OpenStatus::Busy) names.push_back(name);
    }
    return names;
}

std::vector<std::string> TimeoutsReadoutLines(const ComTimeouts& t) {
    auto text = [](std::uint32_t v) { return std::to_string(static_cast<std::int32_t>(v)); };
    return {"",
            "ReadTotalTimeoutConstant = " + text(t.ReadTotalTimeoutConstant),
            "ReadIntervalTimeout = " + text(t.ReadIntervalTimeout),
            "ReadTotalTimeoutMultiplier = " + text(t.ReadTotalTimeoutMultiplier),
            "WriteTotalTimeoutMultiplier = " + text(t.WriteTotalTimeoutMultiplier),
            "WriteTotalTimeoutConstant = " + text(t.WriteTotalTimeoutConstant),
            ""};
}

}  // namespace zentor

#include "serial/system_port.h"

#include <cstdint>

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

#include "serial/system_port.h"

#include <cstdint>

#include "serial/port_lookup.h"

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
        case OpenStatus::AccessDenied:
        case OpenStatus::NoSuchAdapter:
        case OpenStatus::AmbiguousAdapter: {
            OpenResult r;
            r.status = status;
            return OpenFailureText(name, r);
        }
        case OpenStatus::OtherError:
        case OpenStatus::Ok:
            break;
    }
    return "Не могу открыть " + quoted + ", код ошибки: " + std::to_string(errorCode);
}

std::string OpenFailureText(const std::string& name, const OpenResult& failure) {
    const std::string opening = "Не могу открыть \"" + name + "\"";
    switch (failure.status) {
        case OpenStatus::AccessDenied: {
            std::string text = opening + ", нет прав на доступ к " +
                               (failure.device.empty() ? name : failure.device) + ".";
            if (failure.group.empty()) {
                return text +
                       "\nПрава устройства не дают его открыть; их даёт администратор "
                       "системы (например, правилом udev).";
            }
            return text + "\nПорт открывают участники группы " + failure.group +
                   ". Добавьте себя в неё командой\nsudo usermod -aG " + failure.group +
                   " $USER\nи войдите в систему заново.";
        }
        case OpenStatus::NoSuchAdapter:
            return opening + ",\nUSB-адаптер с серийным номером \"" +
                   UsbSerialOf(name).value_or(name) + "\" не найден.";
        case OpenStatus::AmbiguousAdapter: {
            std::string list;
            for (const std::string& device : failure.matches)
                list += (list.empty() ? "" : ", ") + device;
            return opening + ",\nUSB-адаптеров с серийным номером \"" +
                   UsbSerialOf(name).value_or(name) + "\" несколько: " + list +
                   ".\nУкажите вместо \"" + name + "\" один из них.";
        }
        case OpenStatus::Ok:
        case OpenStatus::NotFound:
        case OpenStatus::Busy:
        case OpenStatus::OtherError:
        case OpenStatus::ConfigFailed:
            break;
    }
    return OpenFailureText(name, failure.status, failure.errorCode);
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

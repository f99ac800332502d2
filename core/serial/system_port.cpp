#include "serial/system_port.h"

#include <cstdint>

#include "serial/port_lookup.h"
#include "text/message.h"

namespace zentor {

std::string OpenFailureText(const std::string& name, OpenStatus status, int errorCode) {
    switch (status) {
        case OpenStatus::NotFound:
            return Render(ZT("port.open.not_found",
                             "Не могу открыть \"{0}\",\nтакого порта не существует.", name));
        case OpenStatus::Busy:
            return Render(ZT("port.open.busy", "Не могу открыть \"{0}\", порт занят.", name));
        case OpenStatus::ConfigFailed:
            return Render(ZT("port.open.config_failed",
                             "Необходимые параметры порта \"{0}\" не установлены", name));
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
    return Render(
        ZT("port.open.error", "Не могу открыть \"{0}\", код ошибки: {1}", name, errorCode));
}

std::string OpenFailureText(const std::string& name, const OpenResult& failure) {
    switch (failure.status) {
        case OpenStatus::AccessDenied: {
            const std::string device = failure.device.empty() ? name : failure.device;
            if (failure.group.empty()) {
                return Render(ZT("port.open.denied",
                                 "Не могу открыть \"{0}\", нет прав на доступ к {1}.\nПрава "
                                 "устройства не дают его открыть; их даёт администратор системы "
                                 "(например, правилом udev).",
                                 name, device));
            }
            return Render(ZT("port.open.denied_group",
                             "Не могу открыть \"{0}\", нет прав на доступ к {1}.\nПорт открывают "
                             "участники группы {2}. Добавьте себя в неё командой\nsudo usermod "
                             "-aG {2} $USER\nи войдите в систему заново.",
                             name, device, failure.group));
        }
        case OpenStatus::NoSuchAdapter:
            return Render(ZT("port.open.no_adapter",
                             "Не могу открыть \"{0}\",\nUSB-адаптер с серийным номером \"{1}\" "
                             "не найден.",
                             name, UsbSerialOf(name).value_or(name)));
        case OpenStatus::AmbiguousAdapter: {
            std::string list;
            for (const std::string& device : failure.matches)
                list += (list.empty() ? "" : ", ") + device;
            return Render(ZT("port.open.ambiguous_adapter",
                             "Не могу открыть \"{0}\",\nUSB-адаптеров с серийным номером \"{1}\" "
                             "несколько: {2}.\nУкажите вместо \"{0}\" один из них.",
                             name, UsbSerialOf(name).value_or(name), list));
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

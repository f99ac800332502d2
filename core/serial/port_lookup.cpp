#include "serial/port_lookup.h"

#include <map>

#include "text/message.h"

namespace zentor {

std::optional<std::string> UsbSerialOf(const std::string& name) {
    const std::string prefix = kUsbSerialPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return name.substr(prefix.size());
}

bool IsStableName(const std::string& name) {
    if (UsbSerialOf(name)) return true;
    for (const char* folder : {"/serial/by-id/", "/serial/by-path/"}) {
        const std::size_t at = name.find(folder);
        if (at != std::string::npos && at + std::string(folder).size() < name.size()) return true;
    }
    return false;
}

std::vector<DescribedPort> DescribePorts(PortLookup& lookup,
                                         const std::vector<std::string>& names) {
    std::vector<DescribedPort> ports;
    std::map<std::string, int> serials;
    for (const std::string& name : names) {
        ports.push_back({name, lookup.Describe(name), {}});
        const auto& d = ports.back().details;
        if (d && d->usb && !d->serial.empty()) ++serials[d->serial];
    }
    for (DescribedPort& port : ports) {
        const auto& d = port.details;
        if (d && d->usb && !d->serial.empty() && serials[d->serial] == 1)
            port.usbName = kUsbSerialPrefix + d->serial;
    }
    return ports;
}

std::vector<std::string> PortDetailLines(const DescribedPort& port) {
    std::vector<std::string> lines;
    if (!port.details) return lines;
    const PortDetails& d = *port.details;
    if (!d.device.empty() && d.device != port.name)
        lines.push_back(Render(ZT("ports.device", "устройство: {0}", d.device)));
    for (const std::string& link : d.stableNames) {
        const bool byId = link.find("/by-id/") != std::string::npos;
        lines.push_back(std::string(byId ? "by-id: " : "by-path: ") + link);
    }
    if (!d.usb) return lines;
    std::string usb = "USB " + d.vendorId + ":" + d.productId;
    for (const std::string* text : {&d.manufacturer, &d.product})
        if (!text->empty()) usb += ", " + *text;
    lines.push_back(usb);
    if (!d.serial.empty()) {
        const std::string name =
            port.usbName.empty() ? Render(ZT("ports.serial_shared", "есть и у другого адаптера"))
                                 : port.usbName;
        lines.push_back(Render(ZT("ports.serial", "серийный номер: {0} ({1})", d.serial, name)));
    }
    return lines;
}

}  // namespace zentor

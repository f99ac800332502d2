#include "find/search_plan.h"

#include <algorithm>

namespace zentor {

namespace {

void AddOnce(std::vector<int>& list, int value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

}  // namespace

std::vector<int> BaudOrder(int configured, std::optional<int> only) {
    if (only) return {*only};
    std::vector<int> order;
    if (configured > 0) order.push_back(configured);
    for (int rate : {9600, 19200, 38400}) AddOnce(order, rate);
    for (int rate : kDialogBaudRates) AddOnce(order, rate);
    return order;
}

std::vector<int> AddressOrder(int configured, AddressScope scope, std::optional<int> only) {
    if (only) return {*only};
    std::vector<int> order;
    if (configured >= 1 && configured <= 63) order.push_back(configured);
    const int last = scope == AddressScope::All ? 63 : 1;
    for (int a = 1; a <= last; ++a) AddOnce(order, a);
    return order;
}

ScannedPorts ScanForSearch(PortOpener& opener) {
    ScannedPorts ports;
    for (int n = 1; n <= 256; ++n) {
        std::string name = "COM" + std::to_string(n);
        const OpenStatus status = opener.Probe(name);
        if (status == OpenStatus::Ok)
            ports.free.push_back(std::move(name));
        else if (status == OpenStatus::Busy)
            ports.busy.push_back(std::move(name));
    }
    return ports;
}

}  // namespace zentor

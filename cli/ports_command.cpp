#include "ports_command.h"

#include <cstdio>

#include "serial/system_port.h"

namespace zentor {

int RunPortsCommand(PortOpener& opener, PortLookup& lookup, bool verbose) {
    const std::vector<std::string> names = ScanComPorts(opener);
    if (!verbose) {
        for (const std::string& name : names) std::printf("%s\n", name.c_str());
        return 0;
    }
    for (const DescribedPort& port : DescribePorts(lookup, names)) {
        std::printf("%s\n", port.name.c_str());
        for (const std::string& line : PortDetailLines(port)) std::printf("  %s\n", line.c_str());
    }
    return 0;
}

}  // namespace zentor

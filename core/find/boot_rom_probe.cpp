#include "find/boot_rom_probe.h"

#include <thread>

#include "bootrom/boot_link.h"

namespace zentor {

bool BootRomAnswers(PortOpener& opener, Clock& clock, const std::string& port, int baud,
                    int extraPauseMs) {
    OpenResult opened = opener.Open(port, baud);
    if (!opened.port) return false;
    BootRomLink link(*opened.port, clock, {extraPauseMs, true});
    return link.Identify();
}

std::vector<std::string> FindBootRoms(PortOpener& opener, Clock& clock,
                                      const std::vector<std::string>& ports, int baud,
                                      int extraPauseMs, const std::atomic<bool>* cancel) {
    std::vector<char> answered(ports.size(), 0);
    std::vector<std::thread> probes;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        probes.emplace_back([&, i] {
            if (cancel != nullptr && cancel->load()) return;
            answered[i] = BootRomAnswers(opener, clock, ports[i], baud, extraPauseMs) ? 1 : 0;
        });
    }
    for (std::thread& t : probes) t.join();
    std::vector<std::string> found;
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (answered[i]) found.push_back(ports[i]);
    return found;
}

std::vector<std::string> SilentPorts(const SearchResult& result) {
    std::vector<std::string> silent;
    for (const PortReport& report : result.ports)
        if (report.verdict == PortVerdict::Silent) silent.push_back(report.port);
    return silent;
}

}  // namespace zentor

#include "find_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "find/search_plan.h"

namespace zentor {

namespace {

constexpr const char* kNoneFound = "Устройство не найдено";

// Search progress on the front end's progress bar (a terminal's, if any).
class ProgressObserver final : public SearchObserver {
public:
    explicit ProgressObserver(Frontend& ui) : ui_(ui) {}
    void OnProgress(int done, int total) override {
        if (total != total_) ui_.SetProgressRange(0, total_ = total);
        ui_.SetProgressPosition(done);
    }

private:
    Frontend& ui_;
    int total_ = -1;
};

SearchResult Search(PortOpener& opener, Clock& clock, Frontend& ui, const Settings& settings,
                    const FindLimits& limits, const std::atomic<bool>* cancel) {
    SearchRequest request;
    request.bauds = BaudOrder(settings.BaudRate, limits.baud);
    request.addresses = AddressOrder(settings.AdrPribor, limits.address);
    request.allAddresses = limits.allAddresses;
    ProgressObserver progress(ui);
    SearchResult result = FindOnScannedPorts(opener, clock, request, cancel, &progress);
    ui.SetProgressPosition(ui.ProgressMin());  // takes a terminal's bar away
    for (const PortReport& report : result.ports) {
        const std::string text = PortReportText(report);
        if (!text.empty()) std::fprintf(stderr, "%s\n", text.c_str());
    }
    return result;
}

}  // namespace

int RunFindCommand(PortOpener& opener, Clock& clock, Frontend& ui, const Settings& settings,
                   const FindLimits& limits, const std::atomic<bool>* cancel) {
    const SearchResult result = Search(opener, clock, ui, settings, limits, cancel);
    for (const FoundInstrument& f : result.found) std::printf("%s\n", FoundText(f).c_str());
    std::fflush(stdout);
    if (result.found.empty()) std::fprintf(stderr, "%s\n", kNoneFound);
    return result.found.empty() ? 1 : 0;
}

std::optional<FoundInstrument> FindSingleInstrument(PortOpener& opener, Clock& clock, Frontend& ui,
                                                    const Settings& settings,
                                                    const FindLimits& limits,
                                                    const std::atomic<bool>* cancel) {
    const SearchResult result = Search(opener, clock, ui, settings, limits, cancel);
    if (const auto single = SingleInstrument(result)) {
        std::fprintf(stderr, "%s\n", FoundText(*single).c_str());
        return single;
    }
    const std::vector<std::string> busy = BusyPorts(result);
    if (result.found.empty()) {
        std::fprintf(stderr, "%s\n", kNoneFound);
    } else if (result.found.size() == 1 && !busy.empty()) {
        // A held port may hide another instrument: one found is not the only one.
        std::fprintf(stderr, "Найдено устройств: 1, занятых портов: %s; укажите --port:\n",
                     std::to_string(busy.size()).c_str());
        std::fprintf(stderr, "%s\n", FoundText(result.found.front()).c_str());
        for (const std::string& port : busy)
            std::fprintf(stderr, "%s: порт занят.\n", port.c_str());
    } else if (result.found.size() > 1) {
        std::fprintf(stderr, "Найдено устройств: %s; укажите --port:\n",
                     std::to_string(result.found.size()).c_str());
        for (const FoundInstrument& f : result.found)
            std::fprintf(stderr, "%s\n", FoundText(f).c_str());
    }
    return std::nullopt;
}

}  // namespace zentor

#include "find_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli_text.h"
#include "find/boot_rom_probe.h"

namespace zentor {

namespace {

Message NoneFound() {
    return ZT("find.none", "Устройство не найдено");
}

// Search progress on the front end's progress bar (a terminal's, if any); with
// printFound, each instrument on stdout as soon as it answers, the bar taken away
// for the line and drawn again by the next probe.
class ProgressObserver final : public SearchObserver {
public:
    ProgressObserver(Frontend& ui, bool printFound) : ui_(ui), printFound_(printFound) {}
    void OnProgress(int done, int total) override {
        if (total != total_) ui_.SetProgressRange(0, total_ = total);
        ui_.SetProgressPosition(done);
    }
    void OnFound(const FoundInstrument& found) override {
        if (!printFound_) return;
        ui_.SetProgressPosition(ui_.ProgressMin());
        std::printf("%s\n", FoundText(found).c_str());
        std::fflush(stdout);
    }

private:
    Frontend& ui_;
    const bool printFound_;
    int total_ = -1;
};

SearchResult Search(PortOpener& opener, Clock& clock, Frontend& ui, const Settings& settings,
                    const FindLimits& limits, const std::atomic<bool>* cancel, bool printFound) {
    const SearchRequest request = PlanSearch(
        settings.BaudRate, settings.AdrPribor,
        limits.allAddresses ? AddressScope::All : AddressScope::Quick, limits.baud, limits.address);
    ProgressObserver progress(ui, printFound);
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
    const SearchResult result = Search(opener, clock, ui, settings, limits, cancel, true);
    if (result.found.empty()) PrintLine(stderr, NoneFound());
    return result.found.empty() ? 1 : 0;
}

AutoFound FindForPortsAuto(PortOpener& opener, Clock& clock, Frontend& ui, const Settings& settings,
                           const FindLimits& limits, const std::atomic<bool>* cancel,
                           bool instruments, bool bootRoms) {
    SearchResult result = Search(opener, clock, ui, settings, limits, cancel, false);
    AutoFound found;
    if (instruments) {
        found.instruments = std::move(result.found);
        for (const FoundInstrument& f : found.instruments)
            std::fprintf(stderr, "%s\n", FoundText(f).c_str());
    }
    if (bootRoms && !result.cancelled) {
        found.bootRoms = FindBootRoms(opener, clock, SilentPorts(result), settings.BaudRate,
                                      settings.DopPause, cancel);
        for (const std::string& port : found.bootRoms)
            PrintLine(stderr, ZT("find.boot_rom", "{0}: микросхема в загрузчике, {1} бит/с", port,
                                 settings.BaudRate));
    }
    if (found.Empty()) PrintLine(stderr, NoneFound());
    return found;
}

std::optional<FoundInstrument> FindSingleInstrument(PortOpener& opener, Clock& clock, Frontend& ui,
                                                    const Settings& settings,
                                                    const FindLimits& limits,
                                                    const std::atomic<bool>* cancel) {
    const SearchResult result = Search(opener, clock, ui, settings, limits, cancel, false);
    if (const auto single = SingleInstrument(result)) {
        std::fprintf(stderr, "%s\n", FoundText(*single).c_str());
        return single;
    }
    const std::vector<std::string> busy = BusyPorts(result);
    if (result.found.empty()) {
        PrintLine(stderr, NoneFound());
    } else if (result.found.size() == 1 && !busy.empty()) {
        // A held port may hide another instrument: one found is not the only one.
        PrintLine(stderr,
                  ZT("find.one_and_busy",
                     "Найдено устройств: 1, занятых портов: {0}; укажите --port:", busy.size()));
        std::fprintf(stderr, "%s\n", FoundText(result.found.front()).c_str());
        for (const std::string& port : busy)
            PrintLine(stderr, ZT("find.port_busy", "{0}: порт занят.", port));
    } else if (result.found.size() > 1) {
        PrintLine(stderr,
                  ZT("find.many", "Найдено устройств: {0}; укажите --port:", result.found.size()));
        for (const FoundInstrument& f : result.found)
            std::fprintf(stderr, "%s\n", FoundText(f).c_str());
    }
    return std::nullopt;
}

}  // namespace zentor

// Times the instrument search over 8 simulated COM ports linked in a scratch
// folder: 6 instruments (two at each of 3 rates, each hearing only its own rate)
// and 2 silent lines, which cost every probe. First 3 bit rates and one address,
// then the default quick search of `find` (every rate of the settings' list, the
// configured address 5 and address 1).
//
//   bench_find [zentor-sim] [runs]    (5; with ZENTOR_BENCH_QUICK=1, 1)
//
// Prints the instruments found and the fastest, median and slowest whole search
// (port scan included): the first against the 2000 ms target, the quick search
// as its wall time.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "find/instrument_search.h"
#include "station/com_port.h"

using namespace zentor;

int main(int argc, char** argv) {
    const std::string sim = bench::SimulatorPath(argc, argv);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : bench::QuickMode() ? 1 : 5;
    bench::BenchDir dir("zentor-bench-find-");
    if (dir.path().empty()) return 1;

    const int rates[] = {9600, 19200, 38400};
    std::vector<std::unique_ptr<bench::Simulator>> sims;
    for (int com = 1; com <= 8; ++com) {
        std::vector<std::string> args{"--link", dir.path().string(), "--com", std::to_string(com)};
        if (com <= 6) {
            args.insert(args.end(),
                        {"--baud", std::to_string(rates[(com - 1) % 3]), "--match-baud"});
        } else {
            args.push_back("--no-answer");
        }
        sims.push_back(std::make_unique<bench::Simulator>(sim, args));
        if (sims.back()->device.empty()) return 1;
    }

    const auto opener = MakeSystemPortOpener(dir.path());
    SystemClock clock;
    const SearchRequest request{{}, {9600, 19200, 38400}, {1}, false};
    // Sorted wall times of `runs` searches; `result` holds the last.
    SearchResult result;
    const auto time = [&](const SearchRequest& r) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            bench::Stopwatch watch;
            result = FindOnScannedPorts(*opener, clock, r);
            ms.push_back(watch.ElapsedMs());
        }
        std::sort(ms.begin(), ms.end());
        return ms;
    };

    const std::vector<double> ms = time(request);
    std::printf("find, 8 ports x 3 rates x 1 address, %d runs: %zu instruments\n", runs,
                result.found.size());
    for (const FoundInstrument& f : result.found) std::printf("  %s\n", FoundText(f).c_str());
    std::printf("  fastest %.0f ms  median %.0f ms  slowest %.0f ms  target 2000 ms  ratio %.2f\n",
                ms.front(), ms[ms.size() / 2], ms.back(), ms[ms.size() / 2] / 2000.0);
    const std::size_t narrow = result.found.size();

    const SearchRequest quickRequest = PlanSearch(9600, 5, AddressScope::Quick);
    const std::vector<double> quick = time(quickRequest);
    std::printf(
        "quick find, 8 ports (2 silent) x %zu rates x %zu addresses, %d runs: %zu "
        "instruments\n",
        quickRequest.bauds.size(), quickRequest.addresses.size(), runs, result.found.size());
    std::printf("  quick wall time: fastest %.0f ms  median %.0f ms  slowest %.0f ms\n",
                quick.front(), quick[quick.size() / 2], quick.back());
    return narrow == 6 && result.found.size() == 6 ? 0 : 1;
}

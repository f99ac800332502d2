// Times ScanComPorts on this machine (COM1..COM256 through the system opener),
// the scan the update face makes when its window is created.
//
//   bench_scan [runs]    (20; with ZENTOR_BENCH_QUICK=1, 1)
//
// Prints the ports found and the fastest, median and slowest of the runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "station/com_port.h"

int main(int argc, char** argv) {
    const int runs = argc > 1                     ? std::max(1, std::atoi(argv[1]))
                     : zentor::bench::QuickMode() ? 1
                                                  : 20;
    const auto opener = zentor::MakeSystemPortOpener(std::filesystem::current_path());
    std::vector<double> ms;
    std::vector<std::string> found;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        found = zentor::ScanComPorts(*opener);
        const auto end = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::string names;
    for (const auto& n : found) names += (names.empty() ? "" : " ") + n;
    std::printf("ScanComPorts, %d runs: %zu ports (%s)\n", runs, found.size(), names.c_str());
    std::printf("  fastest %.2f ms  median %.2f ms  slowest %.2f ms (target < 100 ms)\n",
                ms.front(), ms[ms.size() / 2], ms.back());
    return 0;
}

// What zentor-cli prints, kept as golden transcripts (tests/golden/cli/*.txt):
// every case of cli_golden_cases.cpp is run against its own paced simulator, its
// standard output, standard error and exit status are normalised and compared
// with the file. ZENTOR_UPDATE_GOLDEN=1 rewrites the files instead.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli_golden_cases.h"
#include "cli_golden_run.h"
#include "cli_run.h"
#include "common/files.h"
#include "support/bytes.h"
#include "support/golden_text.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWorkers = 4;  // the runs mostly wait on paced lines

bool Updating() {
    const char* v = std::getenv("ZENTOR_UPDATE_GOLDEN");
    return v && std::string(v) == "1";
}

struct Outcome {
    std::string transcript;
    std::string error;
    double seconds = 0;
};

std::vector<Outcome> RunAll(const std::vector<GoldenCase>& cases) {
    std::vector<Outcome> outcomes(cases.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < cases.size();) {
            const auto start = Clock::now();
            try {
                outcomes[i].transcript = RunGoldenCase(cases[i]);
            } catch (const std::exception& e) {
                outcomes[i].error = e.what();
            }
            outcomes[i].seconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kWorkers; ++i) threads.emplace_back(worker);
    for (auto& t : threads) t.join();
    return outcomes;
}

TEST(CliGolden, EveryCaseAsRecorded) {
    const fs::path dir = ZENTOR_GOLDEN_DIR;
    const std::vector<GoldenCase> cases = CliGoldenCases();
    const auto start = Clock::now();
    const std::vector<Outcome> outcomes = RunAll(cases);
    std::printf("%zu cases in %.1f s\n", cases.size(),
                std::chrono::duration<double>(Clock::now() - start).count());

    std::set<std::string> names;
    int rewritten = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const GoldenCase& c = cases[i];
        const Outcome& o = outcomes[i];
        EXPECT_TRUE(names.insert(c.name + ".txt").second) << "two cases named " << c.name;
        if (!o.error.empty()) {
            ADD_FAILURE() << c.name << ": " << o.error;
            continue;
        }
        const fs::path file = dir / (c.name + ".txt");
        const std::string expected = Slurp(file);
        if (Updating()) {
            if (expected != o.transcript) {
                ASSERT_TRUE(WriteFileAtomic(file, Text(o.transcript))) << file;
                ++rewritten;
            }
            continue;
        }
        if (!fs::exists(file)) {
            ADD_FAILURE() << file << " is missing; ZENTOR_UPDATE_GOLDEN=1 records it";
            continue;
        }
        if (expected != o.transcript)
            ADD_FAILURE() << "tests/golden/cli/" << c.name << ".txt differs from the run ("
                          << static_cast<int>(o.seconds + 0.5)
                          << " s; ZENTOR_UPDATE_GOLDEN=1 rewrites it):\n"
                          << LineDiff(expected, o.transcript);
    }
    // A golden file of a case that is gone would never be checked again.
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() != ".txt" || names.count(name)) continue;
        if (Updating())
            fs::remove(e.path());
        else
            ADD_FAILURE() << "tests/golden/cli/" << name << " belongs to no case";
    }
    if (Updating()) std::printf("rewrote %d of %zu golden files\n", rewritten, cases.size());
}

// The rules replace only what varies: a port, a folder, the run's times and
// durations go; counts, sizes, serial numbers, versions, fixed waits and a
// backup's own time stay.
TEST(CliGolden, NormalisationKeepsTheContent) {
    const fs::path root = "/tmp/zentor-golden-123-4";
    const Normaliser n = CliNormaliser(root, {"20261211-063000", "20261211-064500"});
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"--port /dev/pts/12 --dir /tmp/zentor-golden-123-4/work",
         "--port <PORT> --dir <DIR>/work"},
        {"/tmp/zentor-golden-123-45/work", "/tmp/zentor-golden-123-45/work"},
        {"backup/14v071510_20261211-064001_data.bin", "backup/14v071510_<TIME>_data.bin"},
        {"backup/14v071510_20240105-093000_data.bin", "backup/14v071510_20240105-093000_data.bin"},
        {"backup/data_rd.20261211-063958.bak", "backup/data_rd.<TIME>.bak"},
        {"2026-12-11T06:39:58+00:00  update keep", "<TIME>  update keep"},
        {"2024-01-05T09:30:00+03:00  update keep", "2024-01-05T09:30:00+03:00  update keep"},
        {"успешно, этап done, 8,0 с  COM1", "успешно, этап done, <SEC> с  COM1"},
        {"Ожидание ответа устройства (до 30 с) ...", "Ожидание ответа устройства (до 30 с) ..."},
        {"MSC1210Y5 V03.05 32KB", "MSC1210Y5 V03.05 32KB"},
        {"различных байт 128 из 512, 120261211-064001",
         "различных байт 128 из 512, 120261211-064001"},
        {"Usage: " + std::string(ZENTOR_CLI_PATH) + " [OPTIONS]", "Usage: <CLI> [OPTIONS]"},
    };
    for (const auto& c : cases) EXPECT_EQ(n.Apply(c.in), c.out);
}

TEST(CliGolden, TextAndDiff) {
    EXPECT_EQ(PrintableOutput("a\tb\r\n\x1b[K\\"),
              "a\tb\\x0D\n\\x1B[K\\\\\n\\ no newline at end\n");
    EXPECT_EQ(LineDiff("a\nb\nc\n", "a\nb\nc\n"), "");
    EXPECT_EQ(LineDiff("1\n2\n3\n4\n5\n6\n", "1\n2\n3\nX\n5\n6\n"),
              "@@ line 2 @@\n 2\n 3\n-4\n+X\n 5\n 6\n");
}

}  // namespace
}  // namespace zentor::test

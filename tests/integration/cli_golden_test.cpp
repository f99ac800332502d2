// What zentor-cli prints, kept as golden transcripts (tests/golden/cli/*.txt):
// every case of cli_golden_cases.cpp is run against its own paced simulator, its
// standard output, standard error and exit status are normalised and compared
// with the file. ZENTOR_UPDATE_GOLDEN=1 rewrites the files instead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli_golden_cases.h"
#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "journal/journal.h"
#include "support/bytes.h"
#include "support/golden_text.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

extern char** environ;

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWorkers = 4;  // the runs mostly wait on paced lines
constexpr std::chrono::seconds kRunTimeout{60};

bool Updating() {
    const char* v = std::getenv("ZENTOR_UPDATE_GOLDEN");
    return v && std::string(v) == "1";
}

// Local time as backup names write it: yyyymmdd-hhmmss.
std::string Stamp(std::chrono::system_clock::time_point t) {
    const std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    ::localtime_r(&tt, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

// The times of a case's runs, as stamps: a minute before the first, a minute
// after the last. A time outside (a backup's fixed name) is content.
struct TimeWindow {
    std::string from, to;
    bool Holds(const std::string& stamp) const { return from <= stamp && stamp <= to; }
};

// The rules of the golden files (tests/golden/cli/README.md lists them): the
// case's folder, the tool's own path, the simulator's terminal, the times of
// the run in backup names and journal lines, journal durations, the computer's
// name.
Normaliser CliNormaliser(const fs::path& root, const TimeWindow& window) {
    Normaliser n;
    n.AddLiteral(root.string(), "<DIR>");
    std::error_code ec;
    const fs::path real = fs::canonical(root, ec);
    if (!ec) n.AddLiteral(real.string(), "<DIR>");
    n.AddLiteral(ZENTOR_CLI_PATH, "<CLI>");
    n.AddLiteral(ZENTOR_STANDIN_DIR, "<STANDINS>");
    const std::string host = ComputerName();
    if (!host.empty()) n.AddLiteral(" на " + host, " на <HOST>");
    n.AddPattern("/dev/pts/[0-9]+", "<PORT>");
    n.AddPattern("(^|[^0-9])([0-9]{8}-[0-9]{6})(?![0-9])", [window](const std::smatch& m) {
        return m[1].str() + (window.Holds(m[2].str()) ? "<TIME>" : m[2].str());
    });
    n.AddPattern(
        "([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})([+-][0-9]{2}:[0-9]{2})?",
        [window](const std::smatch& m) {
            const std::string stamp =
                m[1].str() + m[2].str() + m[3].str() + "-" + m[4].str() + m[5].str() + m[6].str();
            return window.Holds(stamp) ? std::string("<TIME>") : m[0].str();
        });
    n.AddPattern("[0-9]+,[0-9] с", "<SEC> с");
    return n;
}

struct Place {
    fs::path root;
    std::string port;
};

std::string Expand(std::string text, const Place& p) {
    const std::map<std::string, std::string> vars = {
        {"{root}", p.root.string()},
        {"{work}", (p.root / "work").string()},
        {"{ini}", (p.root / "z.ini").string()},
        {"{port}", p.port},
        {"{standins}", ZENTOR_STANDIN_DIR},
    };
    for (const auto& [name, value] : vars)
        for (std::size_t at; (at = text.find(name)) != std::string::npos;)
            text.replace(at, name.size(), value);
    return text;
}

std::vector<std::string> Expand(const std::vector<std::string>& words, const Place& p) {
    std::vector<std::string> out;
    for (const auto& w : words) out.push_back(Expand(w, p));
    return out;
}

std::string CommandLine(const std::vector<std::string>& args) {
    std::string line = "zentor-cli";
    for (const auto& a : args)
        line += " " + (a.empty() || a.find(' ') != std::string::npos ? "\"" + a + "\"" : a);
    return line;
}

// The test's environment without what would let the user's files or another
// test's settings in: home and data folders of the case's own, stand-in knobs
// only as the case sets them.
std::vector<std::string> Environment(const GoldenCase& c, const Place& p) {
    std::vector<std::string> own = {"HOME=" + (p.root / "home").string(),
                                    "XDG_CONFIG_HOME=" + (p.root / "home" / "config").string(),
                                    "XDG_DATA_HOME=" + (p.root / "home" / "data").string()};
    for (const auto& e : c.env) own.push_back(Expand(e, p));
    std::set<std::string> set;
    for (const auto& e : own) set.insert(e.substr(0, e.find('=')));
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        const bool knob = name.rfind("ZENTOR_", 0) == 0 && name != "ZENTOR_LOCK_DIR";
        if (!knob && !set.count(name) && name.rfind("XDG_", 0) != 0) env.push_back(entry);
    }
    env.insert(env.end(), own.begin(), own.end());
    return env;
}

void CommonFiles(const GoldenCase& c, const fs::path& root) {
    fs::create_directories(root / "work");
    fs::create_directories(root / "home");
    const Bytes program = Pattern(384, 1);  // three 128-byte records
    Bytes scrambled = program;
    ScrambleImage(scrambled);
    for (const auto& [file, bytes] :
         std::vector<std::pair<fs::path, Bytes>>{{root / "work" / "prog.bin", program},
                                                 {root / "work" / "prog_c.bin", scrambled},
                                                 {root / "work" / "data.bin", Pattern(512, 3)},
                                                 {root / "cal.bin", Pattern(512, 4)},
                                                 {root / "old.bin", Pattern(1024, 2)}})
        if (!WriteFileAtomic(file, bytes))
            throw std::runtime_error("cannot write " + file.string());
    WriteConfig(root / "z.ini", c.settings);
    if (c.prepare) c.prepare(root);
}

// A copy of the tool in {root}/bin (a hard link when the folders share a disk).
fs::path OwnCopy(const fs::path& root) {
    const fs::path exe = root / "bin" / "zentor-cli";
    fs::create_directories(exe.parent_path());
    std::error_code ec;
    fs::create_hard_link(ZENTOR_CLI_PATH, exe, ec);
    if (ec) fs::copy_file(ZENTOR_CLI_PATH, exe);
    return exe;
}

// COM2..COM96 lead nowhere: the scan meets none of this machine's ports.
void HideOtherPorts(const fs::path& root) {
    const fs::path links = root / "bin" / "dosdevices";
    fs::create_directories(links);
    for (int n = 2; n <= 96; ++n)
        fs::create_symlink(links / "absent", links / ("com" + std::to_string(n)));
}

std::string Section(const char* name, const std::string& text) {
    if (text.empty()) return std::string("--- ") + name + " (empty)\n";
    return std::string("--- ") + name + "\n" + PrintableOutput(text);
}

std::string SettingsLine(const Settings& s) {
    return "# Settings: TypeController " + std::to_string(s.TypeController) + ", " +
           std::to_string(s.BaudRate) + " bit/s, address " + std::to_string(s.AdrPribor) +
           ", DopPause " + std::to_string(s.DopPause) + ", MaxKolReadings " +
           std::to_string(s.MaxKolReadings) + ", SizeData " + std::to_string(s.SizeData) +
           ", ControlWrite " + (s.ControlWrite ? "1" : "0") + "\n";
}

// Runs every step of the case in a fresh folder; the normalised transcript.
std::string RunCase(const GoldenCase& c) {
    const auto started = std::chrono::system_clock::now();
    const ScratchDir scratch("golden");
    Place place{scratch.path(), ""};
    CommonFiles(c, place.root);
    const fs::path exe = c.ownCopy ? OwnCopy(place.root) : fs::path(ZENTOR_CLI_PATH);

    std::string text = "# zentor-cli: " + c.about + "\n" +
                       "# Recorded by CliGolden.EveryCaseAsRecorded (zentor_integration_tests);\n"
                       "# ZENTOR_UPDATE_GOLDEN=1 rewrites it (tests/golden/cli/README.md).\n" +
                       SettingsLine(c.settings);
    std::unique_ptr<SimProcess> sim;
    if (c.sim) {
        std::vector<std::string> args = {"--baud",      "115200",        "--data-flash-size",
                                         "512",         "--code-file",   "{root}/old.bin",
                                         "--data-file", "{root}/cal.bin"};
        args.insert(args.end(), c.sim->begin(), c.sim->end());
        args = Expand(args, place);
        sim = std::make_unique<SimProcess>(args);
        place.port = sim->DevicePath();
        std::string line = "# Simulator:";
        for (const auto& a : args) line += " " + a;
        text += line + "\n";
    }
    if (c.ownCopy) HideOtherPorts(place.root);
    const std::vector<std::string> env = Environment(c, place);
    for (const auto& step : c.steps) {
        const std::vector<std::string> args = Expand(step, place);
        const CliResult r = RunCliIn(env, args, kRunTimeout, exe.string());
        text += "\n$ " + CommandLine(args) + "\n";
        text += "--- status " + std::to_string(r.status) + "\n";
        text += Section("stdout", r.out);
        text += Section("stderr", r.err);
    }
    const TimeWindow window{Stamp(started - std::chrono::minutes(1)),
                            Stamp(std::chrono::system_clock::now() + std::chrono::minutes(1))};
    return CliNormaliser(place.root, window).Apply(text);
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
                outcomes[i].transcript = RunCase(cases[i]);
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
                          << o.seconds << " s; ZENTOR_UPDATE_GOLDEN=1 rewrites it):\n"
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

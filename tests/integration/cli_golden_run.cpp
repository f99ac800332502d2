#include "cli_golden_run.h"

#include <unistd.h>

#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "journal/journal.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

extern char** environ;

namespace zentor::test {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds kRunTimeout{60};

// Local time as backup names write it: yyyymmdd-hhmmss.
std::string Stamp(std::chrono::system_clock::time_point t) {
    const std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    ::localtime_r(&tt, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
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

}  // namespace

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
    // Journal durations only (followed by the port): a plan's expected time is content.
    n.AddPattern("[0-9]+,[0-9] с  ", "<SEC> с  ");
    return n;
}

std::string RunGoldenCase(const GoldenCase& c) {
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

}  // namespace zentor::test

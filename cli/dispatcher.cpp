#include "dispatcher.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#undef MessageBox
#else
#include <unistd.h>
#endif

#include "cli_args.h"
#include "cli_frontend.h"
#include "command_table.h"
#include "common/clock.h"
#include "config/config_location.h"
#include "config/config_store.h"
#include "interrupts.h"
#include "json_lines.h"
#include "many_dispatch.h"
#include "serial/system_port.h"
#include "station/com_port.h"
#include "station/instrument_run.h"
#include "station/job.h"
#include "terminal_log.h"
#include "text/message.h"
#include "zentor_version.h"

namespace zentor::cli {
namespace fs = std::filesystem;

namespace {

bool IsTerminal(std::FILE* f) {
#ifdef _WIN32
    return _isatty(_fileno(f)) != 0;
#else
    return ::isatty(fileno(f)) != 0;
#endif
}

fs::path ExecutablePath(const char* argv0) {
#ifdef _WIN32
    char buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) return fs::path(std::string(buffer, n));
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return self;
#endif
    return fs::absolute(argv0);
}

std::string FactoryCaption(const Settings& settings) {
    if (settings.TypeController >= 1 && settings.TypeController <= 4)
        return "Zentor MSC1210Y" + std::to_string(settings.TypeController + 1);
    return "Zentor MSC";
}

// The options every command takes, before or after its name.
struct CommonOptions {
    std::string config;
    std::string port;
    int baud = 0;
    int address = 0;
    bool yes = false;
    std::string dir;
    std::string journal;
    std::string ports;
    bool json = false;
    bool loop = false;
    std::string lang;
    CLI::Option* portGiven = nullptr;
    CLI::Option* portsGiven = nullptr;
    CLI::Option* baudGiven = nullptr;
    CLI::Option* addressGiven = nullptr;
};

void AddCommonOptions(CLI::App& app, CommonOptions& o) {
    app.add_option("--config", o.config,
                   "configuration file (default: zentor-cli.ini beside the executable, or in "
                   "~/.config/zentor when that folder is not writable)");
    o.portGiven = app.add_option(
        "--port", o.port,
        "port: COMn, a device path (/dev/serial/by-id/...), usb:SERIAL (the adapter's serial "
        "number), or auto (search for the one instrument)");
    o.baudGiven =
        app.add_option("--baud", o.baud, "bit rate for this run")->check(CLI::PositiveNumber);
    o.addressGiven = app.add_option("--address", o.address, "instrument address for this run")
                         ->check(CLI::Range(1, 63));
    app.add_flag("--yes,-y", o.yes, "answer yes/OK to every question");
    app.add_option("--dir", o.dir, "folder of the image and data files (default: current)")
        ->check(ExistingFolder());
    app.add_option("--journal", o.journal,
                   "journal of instrument runs (default: journal.csv in the work folder)");
    app.add_flag("--json", o.json,
                 "events as JSON Lines on standard output (docs/json.md); the log on standard "
                 "error");
    app.add_flag("--loop", o.loop,
                 "update, program: one device after another on the port (or on each of "
                 "--ports at once), PASS or FAIL for each, until Ctrl-C; update verifies each "
                 "after its power cycle (--verify)");
    o.portsGiven = app.add_option(
        "--ports", o.ports,
        "update, program, verify, restore: run on each of these ports at once (COM3,COM4,... "
        "or auto: every port where an instrument answers, for program a boot ROM, for update "
        "either); each port works in <dir>/ports/<port>");
    app.add_option("--lang", o.lang, "language of the texts: ru (default) or en; also ZENTOR_LANG")
        ->check(CLI::IsMember({"ru", "en"}));
}

// --lang, else ZENTOR_LANG, else Russian; false for a ZENTOR_LANG of no language.
bool ChooseLanguage(const CommonOptions& o) {
    if (!o.lang.empty()) {
        SetLanguage(ParseLanguage(o.lang).value_or(Language::Ru));
        return true;
    }
    const char* env = std::getenv("ZENTOR_LANG");
    if (env == nullptr || *env == '\0') return true;
    const std::optional<Language> language = ParseLanguage(env);
    if (!language) {
        std::fprintf(stderr, "ZENTOR_LANG=%s: not a language of zentor-cli (ru, en)\n", env);
        return false;
    }
    SetLanguage(*language);
    return true;
}

// --port auto: the one instrument's port, bit rate and address become this run's.
bool SearchPort(Station& station, Controls& controls, CliFrontend& ui, const FindLimits& limits,
                bool terminal, std::string& port) {
    const InterruptScope stop(InterruptMode::Stop, controls, terminal);
    Settings& settings = station.settings;
    const auto found = FindSingleInstrument(station.opener, station.clock, ui, settings, limits,
                                            &controls.StopRequested);
    if (!found || controls.StopRequested) return false;
    port = settings.NamePort = found->port;
    settings.BaudRate = found->baud;
    settings.AdrPribor = found->address;
    return true;
}

bool TakesPorts(const Command& command) {
    const std::string name = command.name;
    return name == "update" || name == "program" || name == "verify" || name == "restore";
}

// --json: standard output becomes the events' alone; whatever else the command
// prints to it goes to standard error with the log.
std::FILE* TakeStdoutForEvents() {
    std::fflush(stdout);
#ifdef _WIN32
    const int events = _dup(_fileno(stdout));
    if (events < 0 || _dup2(_fileno(stderr), _fileno(stdout)) != 0) return nullptr;
    return _fdopen(events, "wb");
#else
    const int events = ::dup(fileno(stdout));
    if (events < 0 || ::dup2(fileno(stderr), fileno(stdout)) < 0) return nullptr;
    return ::fdopen(events, "w");
#endif
}

int RunParsedCommandLine(int argc, char** argv, std::optional<JsonLines>& json);

}  // namespace

// The command's stages inside its folder's lock and journaled run.
namespace {

int InFrame(Context& c, const Command& command) {
    std::optional<InterruptScope> guard;
    if (c.signals && command.interrupts == InterruptMode::Guarded)
        guard.emplace(InterruptMode::Guarded, c.controls, c.terminal);
    if (command.prepare && !command.prepare(c)) return kExitFailed;
    if (command.needs.port && !OpenComPort(c.s)) return kExitFailed;
    int status = kExitFailed;
    {
        std::optional<InterruptScope> mode;
        if (c.signals && command.interrupts != InterruptMode::Guarded)
            mode.emplace(command.interrupts, c.controls, c.terminal,
                         command.leftovers ? command.leftovers(c.s) : std::vector<std::string>{});
        c.interrupts = mode ? &*mode : nullptr;
        status = command.run(c);
        c.interrupts = nullptr;
    }
    if (command.needs.port) CloseComPort(c.s);
    return status;
}

}  // namespace

int Dispatch(Context& c, const Command& command) {
    if (command.check)
        if (const std::optional<int> status = command.check(c)) return *status;
    int status = kExitFailed;
    const auto body = [&] {
        status = InFrame(c, command);
        return status == kExitDone;
    };
    // One command per work folder; the instrument-changing ones are journaled.
    if (command.needs.journal != nullptr) {
        RunInstrumentCommand(c.s, command.needs.journal, body);
        if (c.json && !c.s.endedRunId.empty())
            c.json->RunEnd(c.s.run.command, c.s.settings.NamePort, c.s.endedRunId, c.s.run, status);
    } else if (command.needs.folder)
        RunFolderCommand(c.s, command.name, body);
    else
        body();
    return command.finish ? command.finish(c, status) : status;
}

int RunCommandLine(int argc, char** argv) {
    std::optional<JsonLines> json;
    const int status = RunParsedCommandLine(argc, argv, json);
    if (json) json->Exit(status);
    return status;
}

namespace {

int RunParsedCommandLine(int argc, char** argv, std::optional<JsonLines>& json) {
    CLI::App app{"Zentor: field update, chip programming and instrument data over one serial port"};
    // Options may come before or after the command.
    app.fallthrough();
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("zentor-cli ") + ZENTOR_VERSION_TEXT,
                         "print the version and exit");
    CommonOptions common;
    AddCommonOptions(app, common);
    CommandOptions options;
    const std::vector<Command>& commands = Commands();
    std::vector<CLI::App*> subcommands;
    for (const Command& command : commands) {
        CLI::App* sub = app.add_subcommand(command.name, command.help);
        if (command.addOptions) command.addOptions(*sub, options);
        subcommands.push_back(sub);
    }

    Utf8Args args(argc, argv);
    try {
        app.parse(args.argc(), args.argv());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kExitUsage;
    }
    if (!ChooseLanguage(common)) return kExitUsage;
    if (auto refusal = ConfigFileRefusal(common.config)) {
        std::fprintf(stderr, "%s\n", refusal->c_str());
        return kExitUsage;
    }
    const Command* command = nullptr;
    for (std::size_t i = 0; i < commands.size(); ++i)
        if (subcommands[i]->parsed()) command = &commands[i];
    if (command == nullptr) return kExitUsage;

    InstallSignalHandlers();
    const fs::path exePath = ExecutablePath(argv[0]);
    const fs::path config =
        common.config.empty() ? ConfigFileFor(exePath) : PathFromUtf8(common.config);

    CliFrontend::Options uiOptions;
    uiOptions.assumeYes = common.yes;
    uiOptions.interactive = IsTerminal(stdin);
    uiOptions.progressBar = IsTerminal(stderr);
    uiOptions.liveLog = IsTerminal(stdout) && EnableEscapes(stdout);
    std::unique_ptr<CliFrontend> frontend;
    if (common.json) {
        std::FILE* events = TakeStdoutForEvents();
        if (events == nullptr) {
            std::fputs("--json: standard output cannot be taken for the events\n", stderr);
            return kExitFailed;
        }
        json.emplace(events);
        uiOptions.liveLog = false;
        options.journal.json = true;
        options.journal.events = events;
        frontend = std::make_unique<JsonFrontend>(uiOptions, *json, command->name, common.port);
    } else {
        frontend = std::make_unique<CliFrontend>(uiOptions);
    }
    CliFrontend& ui = *frontend;
    SystemClock clock;
    std::unique_ptr<PortOpener> opener = MakeSystemPortOpener(SettingsFolderFor(exePath));

    Place place;
    place.exePath = exePath;
    if (!common.dir.empty()) place.workDir = PathFromUtf8(common.dir);
    if (!common.journal.empty()) place.journalPath = PathFromUtf8(common.journal);
    Settings settings;
    WindowPosition position;
    LoadConfig(config, settings, position);
    // Overrides for this run only; nothing is ever saved.
    if (common.portGiven->count()) settings.NamePort = common.port;
    if (common.baudGiven->count()) settings.BaudRate = common.baud;
    if (common.addressGiven->count()) settings.AdrPribor = common.address;
    place.caption = command->caption != nullptr ? command->caption : FactoryCaption(settings);
    Station station{ui, clock, *opener, std::move(settings), std::move(place)};
    Controls controls;

    std::string port;
    FindLimits limits;
    if (common.portGiven->count()) port = common.port;
    if (common.baudGiven->count()) limits.baud = common.baud;
    if (common.addressGiven->count()) limits.address = common.address;
    if (common.portGiven->count() && common.port == "auto") {
        switch (command->needs.autoPort) {
            case AutoPort::Refused:
                std::fputs("--port auto: only for the instrument commands\n", stderr);
                return kExitUsage;
            case AutoPort::Search:
                if (!SearchPort(station, controls, ui, limits, uiOptions.interactive, port))
                    return kExitFailed;
                break;
            case AutoPort::Ignored:
                break;
        }
    }
    if (common.portsGiven->count()) {
        if (!TakesPorts(*command)) {
            std::fputs("--ports: only for update, program, verify and restore\n", stderr);
            return kExitUsage;
        }
        if (common.portGiven->count()) {
            std::fputs("--ports and --port: one or the other\n", stderr);
            return kExitUsage;
        }
        if (common.loop) {
            if (const auto refusal = LoopRefusal(*command, station.settings)) {
                std::fprintf(stderr, "%s\n", refusal->c_str());
                return kExitUsage;
            }
            if (common.ports == "auto") {
                std::fputs("--loop: name the ports (auto finds only what answers now)\n", stderr);
                return kExitUsage;
            }
            return DispatchOnPorts(*command, common.ports, station, controls, ui, uiOptions, limits,
                                   options, json ? &*json : nullptr, true);
        }
        return DispatchOnPorts(*command, common.ports, station, controls, ui, uiOptions, limits,
                               options, json ? &*json : nullptr);
    }
    if (common.loop) {
        if (const auto refusal = LoopRefusal(*command, station.settings)) {
            std::fprintf(stderr, "%s\n", refusal->c_str());
            return kExitUsage;
        }
        return DispatchLoop(*command, station, controls, ui, uiOptions, port, limits, options,
                            json ? &*json : nullptr);
    }
    // The command's own working state, from the station as the search left it.
    Job s(station, controls);
    Context c{.s = s,
              .controls = controls,
              .ui = ui,
              .clock = clock,
              .opener = *opener,
              .options = options,
              .terminal = uiOptions.interactive,
              .port = port,
              .limits = limits};
    options.loop.connection = ConnectionArgs(argc, argv);
    c.dispatch = [&c](const Command& next) { return Dispatch(c, next); };
    c.json = json ? &*json : nullptr;
    return Dispatch(c, *command);
}

}  // namespace

}  // namespace zentor::cli

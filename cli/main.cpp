// zentor-cli: the tool's commands for scripts and production lines.
//
//   zentor-cli [--config FILE] COMMAND [--port NAME|auto] [--baud N] [--address N] [--yes]
//              [--dir DIR] [--journal FILE] ...
//
// --port auto: the instrument commands first search every port for the one
// instrument that answers and use its port, bit rate and address.
//
// Exit status: 0 when the command succeeded, 1 when it failed, 2 for a usage error,
// 3 when the build was declined before the linker (cli_args.h).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#undef MessageBox
#else
#include <unistd.h>
#endif

#include "bootrom/program_chip.h"
#include "build_run.h"
#include "cli_args.h"
#include "cli_frontend.h"
#include "close_loop.h"
#include "common/clock.h"
#include "common/session.h"
#include "config/config_location.h"
#include "config/config_store.h"
#include "find_command.h"
#include "instrument/instrument_commands.h"
#include "interrupts.h"
#include "journal/instrument_run.h"
#include "journal_command.h"
#include "serial/com_port.h"
#include "update/identify.h"
#include "update/package_encoder.h"
#include "update/update_workflow.h"
#include "update_command.h"
#include "verify/after_update.h"
#include "zentor_version.h"

namespace fs = std::filesystem;
using namespace zentor;

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

void PrintSettings(const Settings& st) {
    auto line = [](const char* name, const std::string& value) {
        std::printf("%s = %s\n", name, value.c_str());
    };
    auto num = [&](const char* name, int v) { line(name, std::to_string(v)); };
    auto flag = [&](const char* name, bool v) { line(name, v ? "1" : "0"); };
    num("TypeController", st.TypeController);
    line("NamePort", st.NamePort);
    num("BaudRate", st.BaudRate);
    num("PauseRestart", st.PauseRestart);
    num("AdrPribor", st.AdrPribor);
    flag("ControlWrite", st.ControlWrite);
    num("DopPause", st.DopPause);
    num("MaxKolReadings", st.MaxKolReadings);
    flag("ShowStopButton", st.ShowStopButton);
    num("SizeData", st.SizeData);
    line("HCR0Value", st.HCR0Value);
    line("HCR1Value", st.HCR1Value);
    line("HCR1FromFile", st.HCR1FromFile);
    flag("HCR1KeyPresent", st.HCR1KeyPresent);
    line("AsmFileName", st.AsmFileName);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Log lines are UTF-8.
    SetConsoleOutputCP(CP_UTF8);
#endif
    CLI::App app{"Zentor: field update, chip programming and instrument data over one serial port"};
    // Options may come before or after the command.
    app.fallthrough();
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("zentor-cli ") + ZENTOR_VERSION_TEXT,
                         "print the version and exit");

    std::string configFile;
    std::string port;
    int baud = 0;
    int address = 0;
    bool yes = false;
    std::string dir;
    app.add_option("--config", configFile,
                   "configuration file (default: zentor-cli.ini beside the executable, or in "
                   "~/.config/zentor when that folder is not writable)");
    CLI::Option* portOpt = app.add_option(
        "--port", port, "port: COMn, a device path, or auto (search for the one instrument)");
    CLI::Option* baudOpt =
        app.add_option("--baud", baud, "bit rate for this run")->check(CLI::PositiveNumber);
    CLI::Option* addressOpt =
        app.add_option("--address", address, "instrument address for this run")
            ->check(CLI::Range(1, 63));
    app.add_flag("--yes,-y", yes, "answer yes/OK to every question");
    app.add_option("--dir", dir, "folder of the image and data files (default: current)")
        ->check(ExistingFolder());
    std::string journal;
    app.add_option("--journal", journal,
                   "journal of instrument runs (default: journal.csv in the work folder)");

    auto* cmdPorts = app.add_subcommand("ports", "list the serial ports that exist");
    auto* cmdTimeouts = app.add_subcommand("timeouts", "open the port and show its timeouts");
    auto* cmdSettings = app.add_subcommand("settings", "show every setting");
    auto* cmdReadData = app.add_subcommand("read-data", "read the DATA FLASH into data_rd.bin");
    auto* cmdWriteData = app.add_subcommand("write-data", "write data.bin into the DATA FLASH");
    auto* cmdRestart = app.add_subcommand("restart", "restart the instrument");
    auto* cmdProg = app.add_subcommand("prog", "prepare the instrument for reprogramming");
    auto* cmdProgram =
        app.add_subcommand("program", "erase and write the chip from prog.bin and data.bin");
    auto* cmdBuild = app.add_subcommand("build", "assemble and link, then write prog_c.bin");
    auto* cmdIdentify = app.add_subcommand("identify", "show the instrument's model and serial");
    auto* cmdUpdate = app.add_subcommand("update", "field firmware update from prog_c.bin");
    UpdateCommandOptions update;
    AddUpdateOptions(*cmdUpdate, update);
    cli::CloseLoopCommands loop;
    cli::AddVerifyAfterUpdate(*cmdUpdate, loop);
    auto* cmdVerify = app.add_subcommand(
        "verify", "compare the instrument's DATA FLASH with FILE (waits for it to answer)");
    cli::AddVerifyOptions(*cmdVerify, loop);
    auto* cmdRestore = app.add_subcommand(
        "restore", "write a DATA FLASH backup into the running instrument and read it back");
    cli::AddRestoreOptions(*cmdRestore, loop);
    auto* cmdFind = app.add_subcommand("find", "search every free port for instruments");
    bool allAddresses = false;
    cmdFind->add_flag("--all-addresses", allAddresses, "every address of a port, not the first");
    auto* cmdEncode = app.add_subcommand("encode", "write the update package n.bin, p.bin, d.bin");
    auto* cmdJournal = app.add_subcommand("journal", "print the journal of instrument runs");
    JournalCommandOptions journalOptions;
    AddJournalOptions(*cmdJournal, journalOptions);
    std::string serial;
    cmdEncode->add_option("SERIAL", serial, "serial number, e.g. 14v071510")->required();

    Utf8Args args(argc, argv);
    try {
        app.parse(args.argc(), args.argv());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kExitUsage;
    }
    if (auto refusal = ConfigFileRefusal(configFile)) {
        std::fprintf(stderr, "%s\n", refusal->c_str());
        return kExitUsage;
    }

    InstallSignalHandlers();
    const fs::path exePath = ExecutablePath(argv[0]);
    const fs::path config = configFile.empty() ? ConfigFileFor(exePath) : PathFromUtf8(configFile);

    CliFrontend::Options uiOptions;
    uiOptions.assumeYes = yes;
    uiOptions.interactive = IsTerminal(stdin);
    uiOptions.progressBar = IsTerminal(stderr);
    uiOptions.liveLog = IsTerminal(stdout) && EnableEscapes(stdout);
    uiOptions.updateMode = update.mode == "factory" ? UpdateMode::Factory : UpdateMode::Keep;
    CliFrontend ui(uiOptions);
    SystemClock clock;
    std::unique_ptr<PortOpener> opener = MakeSystemPortOpener(SettingsFolderFor(exePath));

    Session s(ui, clock, *opener);
    s.exePath = exePath;
    if (!dir.empty()) s.workDir = PathFromUtf8(dir);
    if (!journal.empty()) s.journalPath = PathFromUtf8(journal);
    WindowPosition position;
    LoadConfig(config, s.settings, position);
    // Overrides for this run only; nothing is ever saved.
    if (portOpt->count()) s.settings.NamePort = port;
    if (baudOpt->count()) s.settings.BaudRate = baud;
    if (addressOpt->count()) s.settings.AdrPribor = address;

    s.caption = FactoryCaption(s.settings);

    FindLimits limits;
    if (baudOpt->count()) limits.baud = baud;
    if (addressOpt->count()) limits.address = address;
    limits.allAddresses = allAddresses;
    if (cmdFind->parsed()) {
        StopOnInterrupt stop(s);
        return RunFindCommand(*opener, clock, ui, s.settings, limits, &s.StopRequested);
    }
    if (portOpt->count() && port == "auto") {
        const bool instrumentCommand = cmdReadData->parsed() || cmdWriteData->parsed() ||
                                       cmdRestart->parsed() || cmdProg->parsed() ||
                                       cmdIdentify->parsed() || cmdUpdate->parsed() ||
                                       cmdVerify->parsed() || cmdRestore->parsed();
        if (!instrumentCommand) {
            std::fputs("--port auto: only for the instrument commands\n", stderr);
            return 2;
        }
        StopOnInterrupt stop(s);
        const auto found =
            FindSingleInstrument(*opener, clock, ui, s.settings, limits, &s.StopRequested);
        if (!found || s.StopRequested) return 1;
        port = s.settings.NamePort = found->port;
        s.settings.BaudRate = found->baud;
        s.settings.AdrPribor = found->address;
    }

    auto runOnPort = [&](auto&& command) {
        if (!OpenComPort(s)) return 1;
        const bool ok = command();
        CloseComPort(s);
        return ok ? 0 : 1;
    };

    // One command per work folder; the instrument-changing ones are journaled.
    auto inFolder = [&](const char* name, auto&& command) {
        return RunFolderCommand(s, name, [&] { return command() == 0; }) ? 0 : 1;
    };
    auto journaled = [&](const char* name, auto&& command) {
        return RunInstrumentCommand(s, name, [&] { return command() == 0; }) ? 0 : 1;
    };

    if (cmdJournal->parsed()) return PrintJournal(JournalPathFor(s), journalOptions);
    loop.connection = cli::ConnectionArgs(argc, argv);
    // On the open port with Ctrl-C as Stop.
    auto stoppable = [&](const std::function<int()>& command) {
        return runOnPort([&] {
            StopOnInterrupt stop(s);
            const int status = command();
            if (stop.Interrupted()) ui.EraseProgress();
            return status == kExitDone;
        });
    };
    if (cmdVerify->parsed())
        return journaled("verify", [&] {
            if (!cli::PrepareVerify(s, loop)) return kExitFailed;
            return stoppable([&] { return cli::VerifyOnPort(s, loop); });
        });
    if (cmdRestore->parsed())
        return journaled("restore", [&] {
            if (!cli::PrepareRestore(s, loop)) return kExitFailed;
            return stoppable([&] { return cli::RestoreOnPort(s, loop); });
        });

    if (cmdPorts->parsed()) {
        for (const auto& name : ScanComPorts(*opener)) std::printf("%s\n", name.c_str());
        return 0;
    }
    if (cmdSettings->parsed()) {
        PrintSettings(s.settings);
        return 0;
    }
    if (cmdTimeouts->parsed()) {
        return runOnPort([&] {
            for (const auto& line : TimeoutsReadoutLines(s.comTimeouts)) ui.AppendLine(line);
            return true;
        });
    }
    if (cmdReadData->parsed()) {
        return inFolder("read-data", [&] {
            return runOnPort([&] {
                StopOnInterrupt stop(s);
                const bool ok = ReadData(s);
                // A stop honoured by the read clears the request; one that came
                // after the read (during the restart) is still set.
                if (stop.Interrupted() && !ok && !s.StopRequested) {
                    ui.EraseProgress();
                    std::fputs("Чтение данных остановлено\n", stderr);
                }
                return ok;
            });
        });
    }
    if (cmdWriteData->parsed())
        return journaled("write-data", [&] {
            return runOnPort([&] {
                NoteInstrumentForJournal(s);
                return WriteData(s);
            });
        });
    if (cmdRestart->parsed())
        return inFolder("restart", [&] { return runOnPort([&] { return Restart(s); }); });
    if (cmdProg->parsed())
        return inFolder("prog", [&] { return runOnPort([&] { return EnterBootRom(s); }); });
    if (cmdProgram->parsed()) {
        const int status = journaled("program", [&] {
            InterruptGuard interrupts(s, uiOptions.interactive);
            return runOnPort([&] { return EraseAndWrite(s); });
        });
        return status == kExitDone && s.run.unconfirmed > 0 ? kExitUnconfirmed : status;
    }
    // The build talks to no device; it leaves the port free for other runs.
    if (cmdBuild->parsed()) {
        int status = kExitFailed;
        RunFolderCommand(s, "build", [&] {
            const InterruptScope interrupts(InterruptMode::EndProcess, s, uiOptions.interactive,
                                            BuildLeftovers(s));
            status = RunBuildCommand(s);
            return status == kExitDone;
        });
        return status;
    }

    if (cmdIdentify->parsed()) {
        s.caption = "Zentor Velmar";
        s.settings.HCR1Value = s.settings.HCR1FromFile;
        if (auto refusal = AddressRefusal(s.settings.AdrPribor)) {
            ui.AppendLine(*refusal);
            return 1;
        }
        return runOnPort([&] {
            if (!IdentifyInstrument(s)) {
                std::fputs("Устройство не определено!\n", stderr);
                return false;
            }
            std::printf("Model = %u\nSerialText = %s\nHCR1Value = %s\n",
                        static_cast<unsigned>(s.identity.model), s.SerialText.c_str(),
                        s.settings.HCR1Value.c_str());
            return true;
        });
    }
    if (cmdUpdate->parsed()) {
        s.caption = "Zentor Velmar";
        UpdatePanel panel;
        panel.port = portOpt->count() ? port : "";
        panel.baud = std::to_string(s.settings.BaudRate);
        panel.address = std::to_string(s.settings.AdrPribor);
        const std::optional<UpdateOptions> workflow = UpdateOptionsFor(s, update);
        if (!workflow) return kExitUsage;
        UpdateResult result = UpdateResult::Failed;
        RunInstrumentCommand(s, "update", [&] {
            InterruptGuard interrupts(s, uiOptions.interactive);
            result = RunUpdate(s, panel, update, *workflow);
            return result == UpdateResult::Done;
        });
        AdviseAfterUpdate(s, result);
        const int updated = UpdateExitStatus(result);
        // Unconfirmed records are exactly what the check after power-up is for.
        const bool written = updated == kExitDone || updated == kExitUnconfirmed;
        if (!written || !loop.verifyAfterUpdate->count()) return updated;
        // What was written, and its backup, from this update's record, before the
        // verification's journal run starts a record of its own.
        loop.check = CheckAfterUpdate(s);
        const int verified = journaled("verify", [&] {
            if (!cli::PrepareVerifyAfterUpdate(s, loop)) return kExitFailed;
            return stoppable([&] { return cli::VerifyOnPort(s, loop); });
        });
        return verified != kExitDone ? verified : updated;
    }
    if (cmdEncode->parsed()) {
        return inFolder("encode", [&] { return EncodePackage(s, serial) ? 0 : 1; });
    }
    return 2;
}

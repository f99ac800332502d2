// zentor-cli's commands as a table. Each entry names a subcommand, its help text
// and options, what the dispatcher (dispatcher.h) holds around it, its interrupt
// mode (interrupts.h) and its stages. The stages run synchronously on the calling
// thread, talk to the user through the session's frontend and the standard
// streams, and return the exit statuses of cli_args.h; they install no signal
// handler of their own: the dispatcher puts the entry's mode in place.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli11_fwd.h"
#include "cli_frontend.h"
#include "close_loop.h"
#include "common/clock.h"
#include "find_command.h"
#include "interrupts.h"
#include "journal_command.h"
#include "serial/port.h"
#include "station/job.h"
#include "update_command.h"

namespace zentor::cli {

class JsonLines;

// `--port auto` with a command: a usage error, the search for the one instrument
// before the command runs, or nothing (the command searches every port itself).
enum class AutoPort { Refused, Search, Ignored };

// What the dispatcher holds around a command's run, from the outside in.
struct Needs {
    bool folder = false;            // the work folder's lock, under the command's name
    const char* journal = nullptr;  // a journaled run of this name (also holds the folder)
    bool port = false;              // the configured port, open around `run`
    AutoPort autoPort = AutoPort::Refused;
};

// Every command's own options, filled in by the parse, and what the update's
// stages hand on to each other.
struct CommandOptions {
    UpdateCommandOptions update;
    CloseLoopCommands loop;
    JournalCommandOptions journal;
    bool allAddresses = false;   // find --all-addresses
    bool portsVerbose = false;   // ports --verbose
    bool programDryRun = false;  // program --dry-run
    std::string serial;          // encode SERIAL
    UpdateOptions updateWorkflow;
    UpdateResult updateResult = UpdateResult::Failed;
};

struct Command;

// What a command's stages work with.
struct Context {
    Job& s;
    Controls& controls;  // what Ctrl-C sets (interrupts.h)
    CliFrontend& ui;
    Clock& clock;
    PortOpener& opener;
    CommandOptions& options;
    bool terminal = false;   // standard input is a terminal
    std::string port = {};   // --port as given or as the search found it; empty without --port
    FindLimits limits = {};  // --baud and --address, for a search
    // False: the caller holds the signals for this run (one of many ports) and
    // the dispatcher puts no interrupt mode of its own in place.
    bool signals = true;
    // The mode in place while `run` runs under Stop (else null).
    const InterruptScope* interrupts = nullptr;
    // Runs another command through the dispatcher, with all it needs.
    std::function<int(const Command&)> dispatch = {};
    // --json: every journaled run the dispatcher ends is an end event here.
    JsonLines* json = nullptr;

    // True once Ctrl-C was pressed during `run` under Stop.
    bool Interrupted() const { return interrupts != nullptr && interrupts->Interrupted(); }
};

struct Command {
    const char* name;
    const char* help;  // nullptr: no subcommand of its own, a stage of another command
    // Title of its message boxes; nullptr: the factory caption of the controller type.
    const char* caption = nullptr;
    void (*addOptions)(CLI::App& command, CommandOptions& options) = nullptr;
    Needs needs = {};
    InterruptMode interrupts = InterruptMode::EndProcess;
    // EndProcess: the files Ctrl-C removes while `run` runs.
    std::vector<std::string> (*leftovers)(const Job& s) = nullptr;
    // Before the folder's lock and the journal: a status ends the command there.
    std::optional<int> (*check)(Context& c) = nullptr;
    // Inside the lock and the journaled run, before the port opens: false ends
    // the command with status 1.
    bool (*prepare)(Context& c) = nullptr;
    // The command itself: its exit status.
    int (*run)(Context& c) = nullptr;
    // After the lock and the journaled run: the exit status from run's (1 when
    // the folder, the journal or the port refused).
    int (*finish)(Context& c, int status) = nullptr;
};

// The subcommands of zentor-cli, in the order of --help.
const std::vector<Command>& Commands();

}  // namespace zentor::cli

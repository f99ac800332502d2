// zentor-cli's command line: the common options, then one command of the table
// (command_table.h) with everything it needs around it, applied the same way to
// every command, in this order:
//
//   parse (usage errors: status 2), the --config check, the signal handlers,
//   the configuration and this run's overrides (never saved), --port auto (the
//   search, under Ctrl-C as Stop), the command's check, the work folder's lock
//   and the journaled run, the guard (Guarded: from before the port opens until
//   it is closed, so that no signal leaves a lock file or a journal run without
//   its end), the command's prepare, the port, Ctrl-C as Stop or the files Ctrl-C
//   removes (around run only: a port that will not open is left as usual), run,
//   and after the lock and journal are released, the command's finish.
//
// Each command's interrupt mode is put in place exactly once, by the dispatcher.
// Runs synchronously; returns the process's exit status (cli_args.h).
#pragma once

namespace zentor::cli {

struct Command;
struct Context;

int RunCommandLine(int argc, char** argv);

// One command in `c` with everything the table says it needs around it.
int Dispatch(Context& c, const Command& command);

}  // namespace zentor::cli

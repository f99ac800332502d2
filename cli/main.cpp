// zentor-cli: the tool's commands for scripts and production lines.
//
//   zentor-cli [--config FILE] COMMAND [--port NAME|auto] [--baud N] [--address N] [--yes]
//              [--dir DIR] [--journal FILE] ...
//
// --port auto: the instrument commands first search every port for the one
// instrument that answers and use its port, bit rate and address.
//
// Exit status: 0 when the command succeeded, 1 when it failed, 2 for a usage error,
// 3 when the build was declined before the linker, 4 when boot ROM records went
// unanswered (cli_args.h). The commands are the table of command_table.h, run by
// dispatcher.h.
#ifdef _WIN32
#include <windows.h>
#endif

#include "dispatcher.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    // Log lines are UTF-8.
    SetConsoleOutputCP(CP_UTF8);
#endif
    return zentor::cli::RunCommandLine(argc, argv);
}

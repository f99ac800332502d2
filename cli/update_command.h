// `zentor-cli update`: the field update with the command line's own safety rules
// (no factory image for an unidentified instrument in keep mode unless asked for,
// --expect-serial, Ctrl-C only at record boundaries) and its exit statuses.
#pragma once

#include <string>

#include "cli11_fwd.h"
#include "cli_args.h"
#include "cli_frontend.h"
#include "session/session.h"
#include "update/update_workflow.h"

namespace zentor {

struct UpdateCommandOptions {
    std::string mode = "keep";
    bool jumper = false;
    std::string dataFrom;
    bool useReading = false;
    bool force = false;
    std::string expectSerial;
};

// Adds --mode, --jumper, --data-from and --expect-serial to the update command.
void AddUpdateOptions(CLI::App& command, UpdateCommandOptions& options);
// Runs the update; kExitDone, kExitUnconfirmed, or kExitFailed.
int RunUpdateCommand(Session& s, const UpdatePanel& panel, const UpdateCommandOptions& options,
                     bool terminal);

}  // namespace zentor

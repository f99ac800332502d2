// `zentor-cli update`: the field update with the command line's own safety rules
// (no factory image for an unidentified instrument in keep mode unless asked for,
// --expect-serial, Ctrl-C only at record boundaries) and its exit statuses. The
// dispatcher runs it in three stages: UpdateOptionsFor before the work folder's
// lock, RunUpdate inside the journaled run under the interrupt guard, then
// AdviseAfterUpdate once the run's end line is written.
#pragma once

#include <optional>
#include <string>

#include "cli11_fwd.h"
#include "station/job.h"
#include "update/update_workflow.h"

namespace zentor {

struct UpdateCommandOptions {
    std::string mode = "keep";
    bool jumper = false;
    std::string dataFrom;
    bool useReading = false;
    bool force = false;
    std::string expectSerial;
    bool dryRun = false;
};

// Adds --mode, --jumper, --data-from, --use-reading, --force, --expect-serial and
// --dry-run to the update command.
void AddUpdateOptions(CLI::App& command, UpdateCommandOptions& options);

// The workflow's options (with --dry-run, a plan in --mode's mode); nullopt after the log line when
// the command line's options contradict each other (a usage error: nothing was done).
std::optional<UpdateOptions> UpdateOptionsFor(Job& s, const UpdateCommandOptions& options);

// The update itself, inside its journaled run: opens and closes the port.
UpdateResult RunUpdate(Job& s, const UpdateCommandOptions& options, const UpdateOptions& workflow);

// After an instrument that did not identify: what to try next (log lines).
// Nothing for any other result.
void AdviseAfterUpdate(Job& s, UpdateResult result);

// kExitDone, kExitUnconfirmed, or kExitFailed.
int UpdateExitStatus(UpdateResult result);

}  // namespace zentor

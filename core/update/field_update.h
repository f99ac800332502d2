// The field update as a function of a station, its stop controls and a request
// that returns a report: the job is made here, the run journaled (folder lock,
// start and end lines), the port opened and closed by the update itself.
//
// Timing: blocking, as RunFirmwareUpdate. Failure: every refusal or failure is a
// log line and a result; the report says how far the run got (its RunRecord) and
// why a run did not start (ran false) or ended on an exception (error).
#pragma once

#include "common/update_mode.h"
#include "station/command_report.h"
#include "update/update_workflow.h"

namespace zentor {

struct UpdateRequest {
    // The mode noted in the journal before the update asks (as zentor-cli notes
    // --mode); the confirmation, when it comes, notes the one it chose.
    UpdateMode mode = UpdateMode::Keep;
    UpdateOptions options;
};

struct UpdateReport {
    // Failed also when the run did not start or ended on an exception.
    UpdateResult result = UpdateResult::Failed;
    CommandReport command;  // the run's record, journal id, HCR1, duration
};

UpdateReport FieldUpdate(const Station& station, Controls& controls, const UpdateRequest& request);

}  // namespace zentor

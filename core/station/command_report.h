// A journaled command as a function of a station and its stop controls that
// returns what happened, for callers that run it on their own (each port of a
// station, a test): the job is made here and gone on return.
//
// Timing: blocking, on the calling thread; the body's waits are its own.
// Failure: a refusal of the folder lock or the journal comes before the body and
// leaves `ran` false (the log says why); an exception from the body is journaled
// as a failure (RunInstrumentCommand) and comes back as `error`, not thrown.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "journal/run_record.h"
#include "station/job.h"

namespace zentor {

struct CommandReport {
    bool ran = false;  // the body ran (the folder and the journal took the run)
    bool ok = false;   // the body's verdict
    // The run as its journal end line has it: identity, image SHA-256s, DATA FLASH
    // source and backup, phase reached, unconfirmed records, link error, note.
    RunRecord run;
    std::string runId;                // the journal run; empty when none was written
    std::optional<std::string> hcr1;  // the HCR1 the identification chose, if any
    std::int64_t tookMs = 0;          // by the station's clock
    std::string error;                // what an exception from the body said
};

// RunInstrumentCommand(`command`) around `body`, in a job of its own.
CommandReport RunJournaledCommand(const Station& station, Controls& controls,
                                  const std::string& command,
                                  const std::function<bool(Job&)>& body);

}  // namespace zentor

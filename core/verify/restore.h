// Writing a saved DATA FLASH image (a calibration backup) back into a running
// instrument, then reading it back.
//
// Runs on the calling thread on the session's open port. The write is the data
// write's page procedure followed by its restart; then the instrument is polled
// until it answers again (at most `answerSeconds`) and read back with the
// configured number of readings. Stops at the first failure; pages already
// stored stay stored. A file whose size is not the settings' DATA FLASH size
// (SizeData) is refused before anything is sent, whatever `force` says. Every
// step and the verdict are log lines.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "journal/backup_names.h"
#include "station/job.h"
#include "verify/verify.h"

namespace zentor {

enum class RestoreOutcome {
    Equal,         // written, read back, equal
    Different,     // written, read back, differs
    Refused,       // bad file or size, or a name without / with another serial number
    NoInstrument,  // nobody answered the identification
    WriteFailed,   // the page write failed
    Unverified,    // written, but the read-back did not happen (no answer, stop, read error)
};

struct RestoreRequest {
    std::filesystem::path file;
    // Write even when the name's serial number is another or missing.
    bool force = false;
    // Without force: ask the user (Yes/No) instead of refusing.
    bool askOnMismatch = false;
    int answerSeconds = 15;  // wait for the instrument after the write's restart
};

struct RestoreReport {
    RestoreOutcome outcome = RestoreOutcome::Refused;
    bool mismatch = false;  // the name's serial number is another or missing
    VerifyReport check;     // of the read-back, when it ran
    std::string verdict;    // last line logged
};

RestoreReport RestoreDataFlash(Job& s, const RestoreRequest& request);

const char* RestoreOutcomeText(RestoreOutcome outcome);

}  // namespace zentor

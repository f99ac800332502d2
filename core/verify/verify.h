// Closing the loop after a write into the DATA FLASH: wait until the instrument
// answers again, read its DATA FLASH back and compare it byte for byte with what
// was written.
//
// The verdict, the identity that answered and the phase reached are also noted in
// Job::run, for the journal of the command that runs this.
//
// Everything runs on the calling thread on the session's open port (the caller
// opens and closes it). Waits go through the session clock; StopRequested (the
// Stop button, Ctrl-C) ends a wait or a read at the next poll or block. Every
// step and the verdict are lines in the log; nothing is thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "station/job.h"

namespace zentor {

enum class WaitEnd { Answered, TimedOut, Stopped };

// Polls the identification about once a second until an instrument answers, for
// at most `seconds` (at least one poll). Logs one line when it starts and one
// when it gives up; progress runs over the seconds waited. On Answered the
// session's identity and SerialText are those of the instrument that answered.
WaitEnd WaitForInstrument(Job& s, int seconds);

// Where two images part: offset of the first difference and how many of the
// compared bytes differ. Bytes past the shorter image count as different.
struct Difference {
    std::size_t first = 0;
    std::size_t count = 0;
};
Difference CompareImages(const std::vector<std::uint8_t>& expected,
                         const std::vector<std::uint8_t>& actual);

enum class VerifyOutcome {
    Equal,        // what was written is on the instrument
    Different,    // it answered, was read, and differs
    NoAnswer,     // nobody answered within the wait
    OtherSerial,  // another instrument answered
    ReadFailed,   // the read-back failed on the line
    Stopped,      // the user stopped the wait or the read
    BadImage,     // nothing, or more than 65536 bytes, to compare
};

struct VerifyRequest {
    std::vector<std::uint8_t> expected;  // the image written, from DATA FLASH byte 0
    std::string expectedSerial;          // empty: whichever instrument answers
    int waitSeconds = 120;
    std::string restoreCommand;  // shown with a difference; empty: none
    // For the journal (Job::run): where `expected` came from, and the file
    // that would bring the calibration back.
    std::string source;
    std::string backup;
};

struct VerifyReport {
    VerifyOutcome outcome = VerifyOutcome::BadImage;
    Difference difference;  // for Different
    std::string serial;     // of the instrument that answered, if one did
    // The verdict line as logged (also the journal's note).
    std::string verdict;
};

// Says first that only the DATA FLASH is compared (not CODE FLASH, nor HCR0 and
// HCR1), then waits for the instrument, checks its serial number, reads
// ceil(n/256) pages with the configured number of readings and compares the
// first n bytes.
VerifyReport VerifyDataFlash(Job& s, const VerifyRequest& request);

// Reads `expected.size()` bytes back (whole pages) and logs the verdict line,
// plus the restore command on a difference. Used after a write whose instrument
// already answers (restore).
VerifyReport ReadBackAndCompare(Job& s, const std::vector<std::uint8_t>& expected,
                                const std::string& restoreCommand);

// "equal" / "different" / ... for the journal.
const char* VerifyOutcomeText(VerifyOutcome outcome);

}  // namespace zentor

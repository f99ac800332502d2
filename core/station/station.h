// What every command is given and nothing a command learns: the port opener,
// the clock, the event sink (the front end), a copy of the settings and the
// place it works in, all read-only to the command. A window makes one for each
// command it runs, a process one for its command; each command works in a Job
// of its own (job.h), so nothing one command learns reaches the next. The stop controls belong to
// the caller, who may set them from another thread while a command runs.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "common/clock.h"
#include "common/frontend.h"
#include "config/settings.h"
#include "serial/port.h"

namespace zentor {

// Where a command works.
struct Place {
    // Folder of the bare-named image and data files (the current directory
    // unless a caller chooses another, e.g. one folder per port).
    std::filesystem::path workDir = ".";
    // Full path of the executable: the configuration and batch files are named after it.
    std::filesystem::path exePath;
    // Journal of instrument-changing runs: workDir/journal.csv unless set.
    std::filesystem::path journalPath;
    // Title of message boxes (the main window's caption).
    std::string caption = "Zentor MSC";
};

// Set by the caller, read by the command at its boundaries; ChipAtRisk the other way.
struct Controls {
    // The stop button of a data read or a wait.
    std::atomic<bool> StopRequested{false};
    // Asked from outside (the CLI's Ctrl-C): a reflash stops at its next record
    // boundary, an update before its next step.
    std::atomic<bool> AbortRequested{false};
    // Set by the reflash from its first erase to its last record: an interruption
    // now leaves a chip that only the boot ROM can bring back.
    std::atomic<bool> ChipAtRisk{false};
};

// Commands take it const: they read the settings and the place, never change them.
struct Station {
    Frontend& ui;
    Clock& clock;
    PortOpener& opener;
    Settings settings;
    Place place;
};

}  // namespace zentor

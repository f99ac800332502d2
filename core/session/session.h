// Everything one running tool instance shares between its commands: settings,
// the open port, the user-facing front end, the clock and what earlier commands
// learned. Only the named command handlers receive it; they build the links and
// options the commands below them take. There are no globals.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/frontend.h"
#include "common/update_mode.h"
#include "config/settings.h"
#include "journal/run_record.h"
#include "serial/port.h"
#include "serial/silent_port.h"

namespace zentor {

enum class WindowFace { FactoryFace, UpdateFace, EncoderFace };

struct InstrumentIdentity {
    std::uint8_t prefix = 0;
    std::uint8_t model = 0;
    std::uint8_t number1 = 0;
    std::uint8_t number2 = 0;
};

struct Session {
    Session(Frontend& frontend, Clock& clk, PortOpener& portOpener)
        : ui(frontend), clock(clk), opener(portOpener) {}

    Frontend& ui;
    Clock& clock;
    PortOpener& opener;

    Settings settings;
    std::string caption = "Zentor MSC";  // main window caption, title of message boxes

    // Port state (hComPort and the timeouts last applied).
    std::unique_ptr<Port> hComPort;
    ComTimeouts comTimeouts;
    // The open port went away and the log has said so (ReportPortGone).
    bool portGoneReported = false;
    // What the links talk to: the open port, or a silent one while none is open.
    Port& LinkPort() { return PortOrSilent(hComPort.get()); }

    // Folder in which the bare-named image and data files live (the current
    // directory unless a caller chooses another, e.g. one folder per port).
    std::filesystem::path workDir = ".";
    // Full path of the executable: the configuration and batch files are named after it.
    std::filesystem::path exePath;

    std::atomic<bool> StopRequested{false};
    // Asked from outside (the CLI's Ctrl-C): a reflash stops at its next record
    // boundary, an update before its next step.
    std::atomic<bool> AbortRequested{false};
    // Set by the reflash from its first erase to its last record: an interruption
    // now leaves a chip that only the boot ROM can bring back.
    std::atomic<bool> ChipAtRisk{false};
    std::string UpdateAnswer;
    ::zentor::UpdateMode UpdateMode = ::zentor::UpdateMode::None;
    std::vector<std::string> TempFiles;

    int DeviceVersionCode = 0;

    InstrumentIdentity identity;
    std::string SerialText;

    // Journal of instrument-changing runs: workDir/journal.csv unless set.
    std::filesystem::path journalPath;
    // Where the running command's lines go when that journal could not be written
    // (the fallback in the user's data folder); empty otherwise.
    std::filesystem::path journalFallbackInUse;
    // What the running command has done so far; written to the journal at its end.
    RunRecord run;
    // The stages of the whole run, in order, shown as "n of m" (the update sets
    // them); empty: none is shown.
    std::vector<RunPhase> stages;
    // Moves the running command to phase; a new phase among stages is shown.
    void EnterPhase(RunPhase phase);
    // Forgets the stages and hides the whole-run progress.
    void EndStages();
    // Id of the journaled run in progress; empty when the command is not journaled.
    std::string journalRunId;
};

// How a phase reads in the log, e.g. "запись CODE FLASH"; "связь с устройством"
// for the phases before the reading and after the records.
std::string RunPhaseName(RunPhase phase);

}  // namespace zentor

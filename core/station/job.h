// What one command works with (Job), made from the station it was given. The
// command handlers receive a Job; they build the links and options the
// commands below them take. There are no globals.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/update_mode.h"
#include "journal/run_record.h"
#include "serial/port.h"
#include "serial/silent_port.h"
#include "station/station.h"
#include "text/message.h"

namespace zentor {

struct InstrumentIdentity {
    std::uint8_t prefix = 0;
    std::uint8_t model = 0;
    std::uint8_t number1 = 0;
    std::uint8_t number2 = 0;
};

// One command's working state, made from a station when the command starts and
// gone when it ends: the port it opened, what it learned about the instrument,
// the journal record it fills and the whole-run stages it shows. The settings,
// folders, clock and front end are the station's, read-only.
struct Job {
    Job(const Station& from, Controls& controls)
        : station(from),
          ui(from.ui),
          clock(from.clock),
          opener(from.opener),
          settings(from.settings),
          caption(from.place.caption),
          workDir(from.place.workDir),
          exePath(from.place.exePath),
          journalPath(from.place.journalPath),
          StopRequested(controls.StopRequested),
          AbortRequested(controls.AbortRequested),
          ChipAtRisk(controls.ChipAtRisk) {}
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    const Station& station;
    Frontend& ui;
    Clock& clock;
    PortOpener& opener;
    const Settings& settings;
    const std::string& caption;
    const std::filesystem::path& workDir;
    const std::filesystem::path& exePath;
    const std::filesystem::path& journalPath;
    std::atomic<bool>& StopRequested;
    std::atomic<bool>& AbortRequested;
    std::atomic<bool>& ChipAtRisk;

    // The port this command opened (or was lent), and its timeouts as applied.
    std::shared_ptr<Port> port;
    ComTimeouts timeouts;
    // The open port went away and the log has said so (ReportPortGone).
    bool portGoneReported = false;
    // What the links talk to: the open port, or a silent one while none is open.
    Port& LinkPort() { return PortOrSilent(port.get()); }

    int DeviceVersionCode = 0;
    InstrumentIdentity identity;
    // The HCR1 text this command programs instead of HCR1Value: "93" once the
    // identification found a model that needs it, the file's value in an update.
    // A window keeps it for its next command.
    std::optional<std::string> hcr1;
    const std::string& Hcr1() const { return hcr1 ? *hcr1 : settings.HCR1Value; }
    // The update mode this command's confirmation chose (None: none yet).
    ::zentor::UpdateMode UpdateMode = ::zentor::UpdateMode::None;
    // Files this command created for others to remove later (the build's batch
    // and object files).
    std::vector<std::string> TempFiles;
    std::string SerialText;

    // Where this command's journal lines go when the journal could not be written
    // (the fallback in the user's data folder); empty otherwise.
    std::filesystem::path journalFallbackInUse;
    // What the command has done so far; written to the journal at its end.
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
    // Id of the journaled run this job ended last (what `run` describes); empty
    // when none ended.
    std::string endedRunId;
};

// How a phase reads in the log, e.g. "запись CODE FLASH"; "связь с устройством"
// for the phases before the reading and after the records.
Message RunPhaseMessage(RunPhase phase);
// The phase as the journal's notes name it: Russian whatever the language.
std::string RunPhaseName(RunPhase phase);

}  // namespace zentor

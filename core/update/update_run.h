// One update run from the open port to its end, shared by the identified paths
// (update_run.cpp) and the jumper path (update_jumper.cpp). Blocking; the caller
// opened the port and closes it. Every refusal or failure is a log line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "bootrom/program_plan.h"
#include "station/job.h"
#include "text/message.h"
#include "update/update_workflow.h"

namespace zentor {

class UpdateRun {
public:
    // plan: the program image planned before the port opened; the run adds the
    // configuration record and the DATA FLASH image it chooses, then executes it.
    UpdateRun(Job& s, const UpdateOptions& options, ProgramPlan& plan)
        : s_(s), options_(options), plan_(plan) {}
    ~UpdateRun() { SetBusy(false); }
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;

    // Identification, the caller's checks, the confirmation and the chosen path.
    UpdateResult Run();

private:
    // Leaving the busy display also ends the whole-run stages.
    void SetBusy(bool on);
    // The stages the whole-run progress counts: the reading (keep), the boot ROM,
    // the erase, CODE, DATA and, over the boot ROM, the configuration.
    void PlanStages(bool read);
    // Prog, 1 s, restart, 2 s: the chip restarts into its boot ROM. False (after
    // the log lines of Aborted) when a stop was asked before Prog: nothing sent.
    bool RestartIntoBootRom();
    // A stop asked once the chip waits in its boot ROM, before any erase: says
    // that a power cycle brings the old firmware back, and returns true.
    bool StoppedInBootRom();
    // The port went away during the reflash: says where, what the instrument may
    // hold now and the one step that recovers it; no power-cycle instruction.
    UpdateResult PortGone(const ProgramResult& result);
    // data.bin into the plan, or false after its log line.
    bool PlanFactoryData();
    UpdateResult Factory();
    UpdateResult Keep();
    // options.dryRun: the identified instrument's plan in the chosen mode.
    UpdateResult DryRun(UpdateMode mode);
    // The plan in the log and the dry run's last line; Done.
    UpdateResult ShowDryRun(const std::string& dataSource);
    // The jumper path (update_jumper.cpp).
    UpdateResult Unidentified();
    // A stop asked for before the chip was touched: logs it and returns true.
    bool Aborted();
    // The planned images for the journal; source names the DATA FLASH image.
    void NoteDataSource(const std::string& source);
    // ProgramChip on the plan, then the backup's name and the power-cycle instruction.
    UpdateResult Reflash();

    Job& s_;
    const UpdateOptions& options_;
    bool busy_ = false;
    bool inBootRom_ = false;  // Prog and the restart went out
    ProgramPlan& plan_;
    std::optional<std::filesystem::path> backup_;
    // Said after the records when the source is not the instrument's own reading
    // (the jumper path); the window's log is cleared by the reflash.
    std::optional<Message> dataLine_;
};

// "Отключите питание ...", shared by the two halves.
Message PowerCycleText();

}  // namespace zentor

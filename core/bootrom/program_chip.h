// Whole-chip programming through the boot ROM or the hardware programmer. A run
// checks everything it can before the first byte goes out, then erases and
// writes; its waits are the links' and the fixed pauses of each sequence.
// Every step and failure is logged; the result tells how far the run got.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/link_error.h"
#include "station/job.h"

namespace zentor {

// Program image: prog.bin as built, or prog_c.bin (scrambled, unscrambled on load).
enum class ProgramImage { Plain, Scrambled };

// Where the DATA FLASH image comes from.
struct DataFlashSource {
    enum class Kind { FactoryFile, File, Bytes };
    Kind kind = Kind::FactoryFile;
    std::string file;                 // File: name in the working folder (any case) or a path
    std::vector<std::uint8_t> bytes;  // Bytes: the image itself
    std::string shown = "data.bin";   // how log lines name the image

    // data.bin of the working folder.
    static DataFlashSource Factory() { return {}; }
    static DataFlashSource FromFile(const std::string& name) {
        return {Kind::File, name, {}, name};
    }
    static DataFlashSource FromBytes(std::vector<std::uint8_t> image, const std::string& shown) {
        return {Kind::Bytes, {}, std::move(image), shown};
    }
};

struct ProgramOptions {
    bool askFirst = false;  // "Произвести запись?" before anything else
    ProgramImage image = ProgramImage::Plain;
    DataFlashSource data;
    // Called once the chip answered and right before the first erase goes out
    // (the journal's erase line); not called when the run ends earlier.
    std::function<void()> beforeErase;
};

// How far a run got. Refused and NoLink leave the chip as it was; from
// EraseFailed on the chip may be blank or partly written.
enum class ProgramStage {
    Refused,          // declined, or an input refused before anything was sent
    NoLink,           // no answer, or echo-off refused: nothing erased
    EraseFailed,      // an erase failed
    CodeWriteFailed,  // a program record or page failed
    DataWriteFailed,  // a DATA FLASH record or page failed
    ConfigFailed,     // the configuration record failed
    Done,
};

struct ProgramResult {
    ProgramStage stage = ProgramStage::Refused;
    // Boot ROM records (and the configuration record) that got no "." back; with
    // ControlWrite off the run goes on past them, so Done does not prove the chip
    // took them.
    int unconfirmed = 0;
    // The configuration record (HCR0/HCR1) is among them: only another run writes it.
    bool configUnconfirmed = false;
    // Stopped on s.AbortRequested at a record or page boundary; stage says where.
    bool interrupted = false;
    // The boot ROM link's account of the failed exchange (None: no link failure).
    LinkError linkError = LinkError::None;

    bool Ok() const { return stage == ProgramStage::Done; }
    // True once an erase went out.
    bool ChipTouched() const {
        return stage != ProgramStage::Refused && stage != ProgramStage::NoLink;
    }
};

// The factory button: asks first, prog.bin and data.bin.
ProgramOptions FactoryProgramOptions();
// The field update: no question; through the boot ROM prog_c.bin and, in keep
// mode, data_rd.bin; through the programmer prog.bin and data.bin.
ProgramOptions UpdateProgramOptions(int typeController, UpdateMode mode);

struct ProgramPlan;

// One programming run on the session's port with its settings: asks first when
// the options say so, clears the log, plans (program_plan.h; each image file is
// read once, every refusal before anything is sent) and executes the plan.
ProgramResult ProgramChip(Job& s, const ProgramOptions& options);
// A run of a plan made earlier: clears the log and executes it; reads no file.
ProgramResult ProgramChip(Job& s, const ProgramPlan& plan,
                          const std::function<void()>& beforeErase = {});
// Sends the plan: the boot-ROM or programmer sequence from the first byte on.
// While the chip is at risk (first erase to last record) s.ChipAtRisk is set and
// s.AbortRequested is looked at before each record or page: a run asked to stop
// ends there, after a log line, with the chip partly written. Keeps s.run.phase
// at the step reached and adds the unconfirmed records to s.run.unconfirmed,
// logging their count at the end. beforeErase: as ProgramOptions::beforeErase.
ProgramResult ExecuteProgramPlan(Job& s, const ProgramPlan& plan,
                                 const std::function<void()>& beforeErase = {});
// "  Стирание + запись": ProgramChip with FactoryProgramOptions.
bool EraseAndWrite(Job& s);
// The same without asking and without a port: the plan and its expected time
// in the log (plan_report.h). False after the refusal line when it is refused.
bool ShowEraseAndWritePlan(Job& s);

}  // namespace zentor

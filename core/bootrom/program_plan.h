// A programming run as a value: the images as bytes (each file read once), the
// flash layout and the configuration record, checked before anything is sent
// and then executed as it stands (program_chip.h). Building a plan reads files
// only; no port, no waits. Every refusal is one log line, worded as the run
// logs it, and an empty result or false.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"

namespace zentor {

struct ProgramPlan {
    int typeController = 0;              // 0: the programmer; 1..4: the boot ROM of MSC1210Y2..Y5
    std::string programName;             // the file the program came from
    std::string programSha256;           // of that file as read (scrambled for prog_c.bin)
    std::vector<std::uint8_t> program;   // as written: unscrambled
    std::string dataShown = "data.bin";  // how log lines name the DATA FLASH image
    std::vector<std::uint8_t> data;
    int flashSize = 0;         // boot ROM: CODE and DATA FLASH together
    int dataBase = 0;          // boot ROM: where the DATA FLASH image starts
    std::string configRecord;  // boot ROM: HCR1 and HCR0 for 807Eh

    bool Programmer() const { return typeController == 0; }
};

// The controller type, the HCR texts (HCR1 as the job has it now) and the
// program image; no DATA FLASH image yet (PlanData gives it).
std::optional<ProgramPlan> PlanProgramImage(Job& s, ProgramImage image);
// Takes the DATA FLASH image into the plan (a file is read here, bytes are
// copied) and places it below the top of the flash. False after the log line
// when it cannot be read or does not fit beside the program.
bool PlanData(Job& s, ProgramPlan& plan, const DataFlashSource& source);
// Whether a DATA FLASH image of `size` bytes would fit the plan; the plan is not
// changed. Logs as PlanData would, naming the image `shown`.
bool DataFits(Job& s, const ProgramPlan& plan, int size, const std::string& shown);
// The configuration record again from the job's HCR texts (the identification
// may have chosen another HCR1). False after the log line for a text that is
// not two hexadecimal digits.
bool PlanConfig(Job& s, ProgramPlan& plan);
// PlanProgramImage, then PlanData with the options' source.
std::optional<ProgramPlan> PlanProgram(Job& s, const ProgramOptions& options);

}  // namespace zentor

// What a programming run needs, gathered and checked before anything is sent:
// the images, the flash layout and the configuration record. Reads files only;
// no port, no waits. Every refusal is logged as the run would log it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"

namespace zentor {

struct ProgramPlan {
    std::vector<std::uint8_t> program;
    std::vector<std::uint8_t> data;
    int flashSize = 0;
    int dataBase = 0;  // boot ROM: where the DATA FLASH image starts
    std::string configRecord;
};

// With dataSize given the DATA FLASH image is not loaded: it is taken to be that long.
std::optional<ProgramPlan> PrepareProgramPlan(Job& s, const ProgramOptions& options,
                                              std::optional<int> dataSize = std::nullopt);

}  // namespace zentor

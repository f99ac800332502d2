// "Компиляция": assemble and link with the external tools, then scramble
// Prog.bin into prog_c.bin.
#pragma once

#include "station/job.h"

namespace zentor {

enum class BuildOutcome {
    Built,     // prog_c.bin written
    Failed,    // a tool, a file or the image failed; the log says which
    Declined,  // the user declined to go on to the linker; nothing more was done
};

// The whole build; its outcome.
BuildOutcome CompileProgram(Job& s);
// The button: true when prog_c.bin was written.
bool BuildFirmware(Job& s);

}  // namespace zentor

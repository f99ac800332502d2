// "Компиляция": assemble and link with the external tools, then scramble
// Prog.bin into prog_c.bin.
#pragma once

#include "common/session.h"

namespace zentor {

bool BitBtnCompileClick(Session& s);

}  // namespace zentor

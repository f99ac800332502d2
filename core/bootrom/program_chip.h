// Whole-chip programming through the boot ROM or the hardware programmer.
#pragma once

#include "common/session.h"

namespace zentor {

// One programming run (asks first in the factory face). True when every step
// succeeded; every step and failure is logged.
bool ProgramChip(Session& s);
// "  Стирание + запись": focus, then ProgramChip.
bool BitBtnWriteClick(Session& s);

}  // namespace zentor

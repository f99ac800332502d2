// Whole-chip programming through the boot ROM or the hardware programmer.
#pragma once

#include <optional>

#include "common/session.h"

namespace zentor {

// One programming run (asks first in the factory face). True when every step
// succeeded; every step and failure is logged.
bool ProgramChip(Session& s);
// The refusals ProgramChip makes before it sends anything (controller type, HCR
// texts, image files, sizes and placement), made ahead of a run so a caller can
// stop before it prepares the chip. With dataSize the DATA FLASH image is taken
// to be that long instead of being read. Logs what ProgramChip would log.
bool CheckProgramChipInputs(Session& s, std::optional<int> dataSize = std::nullopt);
// "  Стирание + запись": focus, then ProgramChip.
bool BitBtnWriteClick(Session& s);

}  // namespace zentor

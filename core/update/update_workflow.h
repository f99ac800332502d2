// The field firmware update of the update face.
#pragma once

#include <string>

#include "common/session.h"

namespace zentor {

// The choices on the update panel, as the lists' texts.
struct UpdatePanel {
    std::string port;     // cbNamePort text ("" keeps the configured name)
    std::string baud;     // cbBaudRate text
    std::string address;  // cbAdrPribor text
};

// "Обновление прошивки": identify, confirm, bring the chip into boot mode (by
// commands or by the jumper), reflash through ProgramChip. Opens the port from the
// panel and closes it on every path. In keep mode an old data_rd.bin is renamed
// aside before the read, and the fresh reading is copied to
// backup/<serial>_<yyyymmdd-hhmmss>_data.bin before the chip is touched.
// True only when ProgramChip succeeded.
bool BitBtnProshivkaVelmarClick(Session& s, const UpdatePanel& panel);

}  // namespace zentor

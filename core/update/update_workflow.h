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

// True only when a reflash ran to its end without a failure line.
bool BitBtnProshivkaVelmarClick(Session& s, const UpdatePanel& panel);

}  // namespace zentor

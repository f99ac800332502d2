// Serial-number-bound update packages n.bin, p.bin, d.bin.
#pragma once

#include <string>

#include "common/session.h"

namespace zentor {

bool BitBtnEnodeFilesClick(Session& s, const std::string& serialNumber);

}  // namespace zentor

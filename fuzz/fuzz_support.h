// Pieces the fuzz targets share.
#pragma once

#include <string>

#include "serial/port.h"

namespace zentor::fuzz {

// A property that does not hold stops the run; libFuzzer keeps the input.
inline void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// A machine without serial ports.
class NoPorts final : public PortOpener {
public:
    OpenResult Open(const std::string&, int) override { return {}; }
    OpenStatus Probe(const std::string&) override { return OpenStatus::NotFound; }
};

}  // namespace zentor::fuzz

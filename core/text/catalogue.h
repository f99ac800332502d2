// The catalogues compiled into the programs: po/en.po as .mo bytes, embedded by
// the build (cmake/catalogue.cmake). Made on first use; never fails (a broken
// catalogue is an empty one, and every text stays Russian).
#pragma once

#include <cstdint>
#include <span>

#include "text/mo_catalogue.h"

namespace zentor {

// The bytes of the English .mo, as the build embedded them.
std::span<const std::uint8_t> EnglishMoBytes();

const MoCatalogue& EnglishCatalogue();

}  // namespace zentor

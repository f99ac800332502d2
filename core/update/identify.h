#pragma once

#include <cstdint>
#include <string>

#include "common/session.h"

namespace zentor {

// Model code of the instruments whose HCR1 preset is "Velmar M7".
inline constexpr std::uint8_t ModelCodeM7 = 7;

// "%02uv%02u%02u%02u" of prefix, model, number1, number2.
std::string FormatSerialText(const InstrumentIdentity& id);

// Reads the four identity bytes; false when no good answer or a zero byte.
bool IdentifyInstrument(Session& s);

}  // namespace zentor

// Identification of a running instrument before a field update.
#pragma once

#include <cstdint>
#include <string>

#include "station/job.h"

namespace zentor {

// Model code of the instruments whose HCR1 preset is "Velmar M7" (their HCR1 is
// the built-in default A3h; every other model needs 93h).
inline constexpr std::uint8_t ModelCodeM7 = 7;

// "%02uv%02u%02u%02u" of prefix, model, number1, number2: 14,7,15,10 -> "14v071510".
std::string FormatSerialText(const InstrumentIdentity& id);

// Reads the four identity bytes (register ECh) from AdrPribor on the open port.
// True when a good reply without a zero byte came back; then identity and
// SerialText are set and, when the configuration has no HCR1 key and the model
// is not ModelCodeM7, the job's hcr1 becomes "93". On false nothing is changed.
// Logs nothing.
bool IdentifyInstrument(Job& s);

// Before a DATA FLASH write that does not otherwise identify (write-data): when
// the journal holds an open update failure of any instrument, identifies the one
// connected (one read frame) and notes its model and serial in s.run, so that a
// confirmed write closes that instrument's failure. Sends nothing otherwise; an
// instrument that does not answer is simply not noted.
void NoteInstrumentForJournal(Job& s);

}  // namespace zentor

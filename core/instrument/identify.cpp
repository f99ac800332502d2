#include "instrument/identify.h"

#include <cstdio>

#include "instrument/frames.h"
#include "journal/journal_runs.h"
#include "station/instrument_run.h"

namespace zentor {

std::string FormatSerialText(const InstrumentIdentity& id) {
    char text[16];
    std::snprintf(text, sizeof text, "%02uv%02u%02u%02u", static_cast<unsigned>(id.prefix),
                  static_cast<unsigned>(id.model), static_cast<unsigned>(id.number1),
                  static_cast<unsigned>(id.number2));
    return text;
}

bool IdentifyInstrument(Job& s) {
    const auto address = static_cast<std::uint8_t>(s.settings.AdrPribor | 0x80);
    InstrumentBus bus(s.LinkPort(), s.clock);
    if (!bus.ReadBlock(address, 0xEC, 4)) {
        s.run.linkError = bus.LastError();
        return false;
    }

    const std::uint8_t* reply = bus.Reply();
    const InstrumentIdentity id{reply[2], reply[3], reply[4], reply[5]};
    // An identity with a zero byte counts as no answer; the previous one stays.
    if (id.prefix == 0 || id.model == 0 || id.number1 == 0 || id.number2 == 0) {
        s.run.linkError = LinkError::Refused;
        return false;
    }
    s.run.linkError = LinkError::None;

    // A configured HCR1 always wins; without one, every model but M7 needs 93h.
    if (!s.settings.HCR1KeyPresent && id.model != ModelCodeM7) s.hcr1 = "93";
    s.identity = id;
    s.SerialText = FormatSerialText(id);
    s.ui.InstrumentIdentified(s.SerialText);
    return true;
}

void NoteInstrumentForJournal(Job& s) {
    if (s.journalRunId.empty()) return;
    const auto lines = ReadJournalsFor(s);
    if (!lines || !AnyOpenFailure(MergeRuns(*lines))) return;
    // Only a look: what the run's link said stays.
    const LinkError said = s.run.linkError;
    const bool identified = IdentifyInstrument(s);
    s.run.linkError = said;
    if (!identified) return;
    s.run.model = std::to_string(s.identity.model);
    s.run.serial = s.SerialText;
}

}  // namespace zentor

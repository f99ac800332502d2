// The instrument model of the instrument tests, counting identification polls
// and page reads, for the verification and restore tests.
#pragma once

#include <algorithm>
#include <string>

#include "testing/recording_frontend.h"
#include "unit/instrument/instrument_rig.h"

namespace zentor::test {

inline bool IsIdentification(const Bytes& w) {
    return w.size() == 4 && w[1] == 0xEC && (w[0] & 0xC0) == 0x80;
}

inline bool Logged(const RecordingFrontend& ui, const std::string& part) {
    return std::any_of(ui.history.begin(), ui.history.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

struct VerifyRig : InstrumentRig {
    int identifications = 0;
    int silentPolls = 0;  // identifications left unanswered first

    VerifyRig() {
        dev.onFrame = [this](const Bytes& w) {
            if (IsIdentification(w)) ++identifications;
        };
        dev.silentOn = [this](const Bytes& w) {
            return IsIdentification(w) && identifications <= silentPolls;
        };
    }
    int PagesRead() const {
        return static_cast<int>(WritesStartingWith({0x01, 0xFF, 0x06}).size());
    }
};

}  // namespace zentor::test

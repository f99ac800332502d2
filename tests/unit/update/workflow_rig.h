// The update workflow's rig: an instrument at address 1 behind a scripted port,
// the work folder with prog_c.bin and data.bin, and what the tests look at.
#pragma once

#include <algorithm>
#include <vector>

#include "unit/instrument/instrument_rig.h"
#include "update/update_workflow.h"
#include "update_rig.h"

namespace zentor::test {

// An instrument at address 1 that answers the identification with 14,7,15,10 and
// every other frame through the instrument model; no boot ROM ever answers, so a
// reflash ends at its first boot-ROM exchange.
struct WorkflowRig : UpdateRig {
    WorkflowRig() {
        dev.address = 1;
        dev.version = 120;
        dev.flash = Pattern(2048, 9);
        port.responder = [this](const Bytes& w) -> Bytes {
            if (!silentIdentity) {
                if (w == IdentityRequest(1)) return IdentityReply(14, 7, 15, 10);
            }
            if (!answers) return {};
            return dev.Respond(w);
        };
        station.settings.NamePort = "COM3";
        station.settings.BaudRate = 9600;
        station.settings.AdrPribor = 1;
        station.settings.PauseRestart = 0;
        station.settings.MaxKolReadings = 2;
        station.settings.SizeData = 2048;
        station.settings.DopPause = 0;
        station.settings.TypeController = 4;
        Put("prog_c.bin", Pattern(4096, 3));
        Put("data.bin", Pattern(2048, 4));
    }

    bool Run() { return FieldUpdate(s); }
    // Waits of a second or more: the workflow's own pauses.
    std::vector<int> LongWaits() const {
        std::vector<int> out;
        for (int ms : clock.Sleeps())
            if (ms >= 1000) out.push_back(ms);
        return out;
    }
    bool SentRegister(int reg, int value) const {
        return std::find(dev.registerWrites.begin(), dev.registerWrites.end(),
                         std::pair{reg, value}) != dev.registerWrites.end();
    }
    bool PortClosed() const { return !s.port && opener.closeCount == opener.openCount; }

    FakeInstrument dev;
    bool silentIdentity = false;  // the identification gets no answer
    bool answers = true;          // false: only the identification is answered
};

}  // namespace zentor::test

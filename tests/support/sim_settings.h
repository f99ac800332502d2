// The configuration the many-instrument tests give the tool: the simulator's
// default pace, no extra pause, judged records, a DATA FLASH of `dataSize`
// bytes, and the configuration bytes the simulated chips start from.
#pragma once

#include "config/settings.h"
#include "support/sim_process.h"

namespace zentor::test {

inline Settings PacedSimSettings(int dataSize) {
    Settings st;
    st.BaudRate = SimProcess::kDefaultBaud;
    st.DopPause = 0;
    st.ControlWrite = true;
    st.SizeData = dataSize;
    st.HCR0Value = "6D";
    st.HCR1Value = "A3";
    return st;
}

}  // namespace zentor::test

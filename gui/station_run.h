// The station face's command on many ports at once, on the window's worker
// thread: a thread per port (gang/each_port.h), each with its own job, stop
// controls, PortFrontend and folder <work folder>/ports/<port>, all journaled in
// the window's one journal, one run per port. The work folder's images are read
// once and written into every port's folder. A port that cannot open, is silent
// or fails ends alone; the others go on.
//
// `master` is the window's controls: a stop or abort set there reaches every
// port within kRelayMs, and master.ChipAtRisk holds while any port's chip is at
// risk. Both requests are cleared on return, as after a window command. Each
// tile is told how its port ended (queued); the call returns once every port has.
#pragma once

#include <string>
#include <vector>

#include "common/update_mode.h"
#include "gang/port_folders.h"
#include "journal/run_record.h"
#include "port_tile.h"
#include "station/station.h"

namespace zentor::gui {

enum class StationCommand {
    Update,   // the field update in `mode`, with zentor-cli's unattended options
    Program,  // erase and write through the boot ROM (or the programmer) from prog.bin
};

struct StationRequest {
    std::vector<PortTarget> targets;
    std::vector<PortTile*> tiles;  // one per target; the face keeps them while it runs
    StationCommand command = StationCommand::Update;
    UpdateMode mode = UpdateMode::Keep;
    bool answerYes = false;
};

void RunStation(const Station& base, Controls& master, const StationRequest& request);

// How a port's run shows on its tile: its record, whether a question was
// declined, and why it did not start (empty when it did).
PortEnd EndOf(const RunRecord& run, bool declined, const std::string& refusal);

}  // namespace zentor::gui

// One command on many ports at once (--ports): a thread per port, each with its
// own job, stop controls, front end and folder, all in this process.
//
// Folders: port P works in <work folder>/ports/<P> (its data_rd.bin, backups and
// folder lock stay there); the image files of the work folder (prog.bin,
// prog_c.bin, data.bin, any case) are read once before the first run starts and
// the same bytes are written into every port's folder. Every run is journaled in
// the one journal (--journal, or journal.csv of the work folder). The folders,
// the threads and the stop relay are the core's (gang/).
//
// Questions are never asked on a terminal: --yes answers them, otherwise each is
// declined (and said so in that port's log). What a port prints goes through a
// pipe to the board (port_board.h). Ctrl-C and the other signals act on `master`
// as for one port; a stop asked there reaches every port within 20 ms, and
// `master.ChipAtRisk` is set while any port's chip is at risk. A port that cannot
// open, is silent or fails ends alone; the others go on. The status is the worst
// of the ports' (WorseStatus).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli_frontend.h"
#include "gang/port_folders.h"
#include "journal/run_record.h"
#include "json_lines.h"
#include "station/station.h"

namespace zentor::cli {

struct PortOutcome {
    int status = 1;
    RunRecord run;  // what the run's journal record says
    std::string runId;
    bool endSaid = false;  // its runs said their own ends (--json), as a loop's do
};

// Runs the command for one port: a job made from `station`, answering through `ui`.
using PortCommand =
    std::function<PortOutcome(const Station& station, Controls& controls, CliFrontend& ui)>;

struct PortsRequest {
    std::vector<PortTarget> targets;
    CliFrontend::Options ui;    // taken for every port, with no terminal and no bar
    bool live = false;          // the board's table on a terminal
    JsonLines* json = nullptr;  // --json: the events of every port
    std::string command;        // the command's name, for the events
};

int RunOnPorts(const Station& base, Controls& master, const PortsRequest& request,
               const PortCommand& command);

}  // namespace zentor::cli

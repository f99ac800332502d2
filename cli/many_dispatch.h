// The two ways zentor-cli runs a command more than once: on many ports at once
// (--ports, many_ports.h) and on one device after another (--loop,
// next_device.h). Each run gets its own job, stop controls and command options
// and goes through the dispatcher (dispatcher.h) with its signals held here:
// Ctrl-C acts on `controls`, which reach the runs as those files say. With
// `json`, each journaled run's end is an event.
#pragma once

#include <optional>
#include <string>

#include "command_table.h"
#include "json_lines.h"

namespace zentor::cli {

// --ports LIST (or auto: every port where the search finds an instrument, or for
// program and update a boot ROM). With `loop` (LIST only), the --loop below on
// every port at once, each port in its own folder as --ports has it; its waiting,
// PASS and FAIL lines are the port's log (so the live table's phase shows them),
// and Ctrl-C ends every loop between devices. The status is the worst port's.
int DispatchOnPorts(const Command& command, const std::string& ports, Station& station,
                    Controls& controls, CliFrontend& ui, const CliFrontend::Options& uiOptions,
                    const FindLimits& limits, const CommandOptions& options, JsonLines* json,
                    bool loop = false);

// Why --loop cannot run this command (only update, and program through the boot
// ROM), or nullopt.
std::optional<std::string> LoopRefusal(const Command& command, const Settings& settings);

// --loop on `port`: update waits for an instrument, program for a boot ROM.
int DispatchLoop(const Command& command, const Station& station, Controls& controls,
                 CliFrontend& ui, const CliFrontend::Options& uiOptions, const std::string& port,
                 const FindLimits& limits, const CommandOptions& options, JsonLines* json);

}  // namespace zentor::cli

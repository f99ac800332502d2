#include "many_dispatch.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli_args.h"
#include "dispatcher.h"
#include "many_ports.h"
#include "next_device.h"
#include "station/job.h"

namespace zentor::cli {

namespace {

// The command once, in a job and with command options of its own; the caller
// holds the signals.
PortOutcome DispatchOnce(const Command& command, const Station& station, Controls& controls,
                         CliFrontend& ui, const CommandOptions& options, bool terminal,
                         const std::string& port, const FindLimits& limits, JsonLines* json) {
    CommandOptions own = options;
    Job job(station, controls);
    Context c{.s = job,
              .controls = controls,
              .ui = ui,
              .clock = station.clock,
              .opener = station.opener,
              .options = own,
              .terminal = terminal,
              .port = port,
              .limits = limits,
              .signals = false,
              .json = json};
    c.dispatch = [&c](const Command& next) { return Dispatch(c, next); };
    const int status = Dispatch(c, command);
    return {status, job.run, job.endedRunId};
}

}  // namespace

std::optional<std::string> LoopRefusal(const Command& command, const Settings& settings) {
    const std::string name = command.name;
    if (name != "update" && name != "program") return "--loop: only for update and program";
    if (name == "program" && settings.TypeController == 0)
        return "--loop: program only through the boot ROM (TypeController 1..4)";
    return std::nullopt;
}

namespace {

// The loop of one port: each device in a job and stop controls of its own, so a
// stop asked of `controls` ends the loop only between devices.
int LoopOnPort(const Command& command, const Station& station, Controls& controls, CliFrontend& ui,
               bool terminal, const std::string& port, const FindLimits& limits,
               const CommandOptions& options, JsonLines* json, std::FILE* log,
               LoopCounts* counts = nullptr) {
    // A pass is a read-back: every updated instrument is verified after its power cycle.
    const bool update = std::string(command.name) == "update";
    CommandOptions loopOptions = options;
    loopOptions.loop.verifyAlways = update;
    return RunDeviceLoop(
        station, controls, update ? DeviceKind::Instrument : DeviceKind::BootRom,
        [&] {
            Controls own;
            return DispatchOnce(command, station, own, ui, loopOptions, terminal, port, limits,
                                json)
                .status;
        },
        log, counts);
}

}  // namespace

int DispatchOnPorts(const Command& command, const std::string& ports, Station& station,
                    Controls& controls, CliFrontend& ui, const CliFrontend::Options& uiOptions,
                    const FindLimits& limits, const CommandOptions& options, JsonLines* json,
                    bool loop) {
    std::vector<PortTarget> targets;
    if (ports == "auto") {
        // program takes chips in their boot ROM; update either (the jumper path);
        // verify and restore running instruments.
        const std::string name = command.name;
        if (name == "program" && station.settings.TypeController == 0) {
            std::fputs(
                "--ports auto: program finds chips in their boot ROM only "
                "(TypeController 1..4)\n",
                stderr);
            return kExitUsage;
        }
        const InterruptScope stop(InterruptMode::Stop, controls, uiOptions.interactive);
        const AutoFound found = FindForPortsAuto(
            station.opener, station.clock, ui, station.settings, limits, &controls.StopRequested,
            name != "program", name == "program" || name == "update");
        for (const FoundInstrument& f : found.instruments)
            targets.push_back({f.port, f.baud, f.address});
        for (const std::string& port : found.bootRoms) targets.push_back({port, 0, 0});
        if (controls.StopRequested) return kExitFailed;
        if (targets.empty()) return kExitFailed;
    } else {
        for (const std::string& port : SplitPortList(ports)) targets.push_back({port, 0, 0});
        if (targets.empty()) {
            std::fputs("--ports: no port named\n", stderr);
            return kExitUsage;
        }
    }
    PortsRequest request;
    request.targets = std::move(targets);
    request.ui = uiOptions;
    request.live = uiOptions.liveLog;
    request.json = json;
    request.command = command.name;
    // A loop's device runs to its end whatever is asked; the loop stops between devices.
    const InterruptScope scope(loop ? InterruptMode::Guarded : command.interrupts, controls,
                               uiOptions.interactive);
    return RunOnPorts(
        station, controls, request, [&](const Station& st, Controls& ctl, CliFrontend& portUi) {
            if (!loop)
                return DispatchOnce(command, st, ctl, portUi, options, false, st.settings.NamePort,
                                    limits, json);
            PortOutcome outcome;
            outcome.status = LoopOnPort(command, st, ctl, portUi, false, st.settings.NamePort,
                                        limits, options, json, portUi.OutStream());
            outcome.endSaid = true;
            return outcome;
        });
}

int DispatchLoop(const Command& command, const Station& station, Controls& controls,
                 CliFrontend& ui, const CliFrontend::Options& uiOptions, const std::string& port,
                 const FindLimits& limits, const CommandOptions& options, JsonLines* json) {
    const InterruptScope scope(InterruptMode::Guarded, controls, uiOptions.interactive);
    return LoopOnPort(command, station, controls, ui, uiOptions.interactive, port, limits, options,
                      json, stderr);
}

}  // namespace zentor::cli

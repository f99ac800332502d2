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

int DispatchOnPorts(const Command& command, const std::string& ports, Station& station,
                    Controls& controls, CliFrontend& ui, const CliFrontend::Options& uiOptions,
                    const FindLimits& limits, const CommandOptions& options, JsonLines* json) {
    std::vector<PortTarget> targets;
    if (ports == "auto") {
        const InterruptScope stop(InterruptMode::Stop, controls, uiOptions.interactive);
        for (const FoundInstrument& f :
             FindAllInstruments(station.opener, station.clock, ui, station.settings, limits,
                                &controls.StopRequested))
            targets.push_back({f.port, f.baud, f.address});
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
    const InterruptScope scope(command.interrupts, controls, uiOptions.interactive);
    return RunOnPorts(station, controls, request,
                      [&](const Station& st, Controls& ctl, CliFrontend& portUi) {
                          CommandOptions own = options;
                          Job job(st, ctl);
                          Context pc{.s = job,
                                     .controls = ctl,
                                     .ui = portUi,
                                     .clock = st.clock,
                                     .opener = st.opener,
                                     .options = own,
                                     .terminal = false,
                                     .port = st.settings.NamePort,
                                     .limits = limits,
                                     .signals = false};
                          pc.dispatch = [&pc](const Command& next) { return Dispatch(pc, next); };
                          const int status = Dispatch(pc, command);
                          return PortOutcome{status, job.run, job.endedRunId};
                      });
}

int DispatchLoop(const Command& command, const Station& station, Controls& controls,
                 CliFrontend& ui, const CliFrontend::Options& uiOptions, const std::string& port,
                 const FindLimits& limits, const CommandOptions& options, JsonLines* json) {
    const InterruptScope scope(InterruptMode::Guarded, controls, uiOptions.interactive);
    return RunDeviceLoop(
        station, controls,
        std::string(command.name) == "update" ? DeviceKind::Instrument : DeviceKind::BootRom, [&] {
            Controls own;
            CommandOptions each = options;
            Job job(station, own);
            Context pc{.s = job,
                       .controls = own,
                       .ui = ui,
                       .clock = station.clock,
                       .opener = station.opener,
                       .options = each,
                       .terminal = uiOptions.interactive,
                       .port = port,
                       .limits = limits,
                       .signals = false};
            pc.dispatch = [&pc](const Command& next) { return Dispatch(pc, next); };
            const int status = Dispatch(pc, command);
            if (json && !job.endedRunId.empty())
                json->RunEnd(job.run.command, job.settings.NamePort, job.endedRunId, job.run,
                             status);
            return status;
        });
}

}  // namespace zentor::cli

#include "station/command_report.h"

#include <exception>

#include "station/instrument_run.h"

namespace zentor {

CommandReport RunJournaledCommand(const Station& station, Controls& controls,
                                  const std::string& command,
                                  const std::function<bool(Job&)>& body) {
    CommandReport report;
    Job job(station, controls);
    const std::int64_t startMs = station.clock.NowMs();
    try {
        report.ok = RunInstrumentCommand(job, command, [&] {
            report.ran = true;
            return body(job);
        });
    } catch (const std::exception& e) {
        report.ok = false;
        report.error = e.what();
    }
    report.tookMs = station.clock.NowMs() - startMs;
    report.run = job.run;
    report.runId = job.endedRunId;
    report.hcr1 = job.hcr1;
    return report;
}

}  // namespace zentor

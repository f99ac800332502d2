#include "update/field_update.h"

namespace zentor {

UpdateReport FieldUpdate(const Station& station, Controls& controls, const UpdateRequest& request) {
    UpdateReport report;
    report.command = RunJournaledCommand(station, controls, "update", [&](Job& s) {
        if (request.mode != UpdateMode::None)
            s.run.mode = request.mode == UpdateMode::Factory ? "factory" : "keep";
        report.result = RunFirmwareUpdate(s, request.options);
        return report.result == UpdateResult::Done;
    });
    if (!report.command.error.empty()) report.result = UpdateResult::Failed;
    return report;
}

}  // namespace zentor

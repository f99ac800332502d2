#include "station_run.h"

#include <QMetaObject>
#include <exception>

#include "bootrom/program_chip.h"
#include "gang/each_port.h"
#include "port_frontend.h"
#include "station/com_port.h"
#include "station/command_report.h"
#include "update/field_update.h"

namespace zentor::gui {

namespace {

CommandReport RunOnPort(const Station& station, Controls& controls, const StationRequest& request) {
    if (request.command == StationCommand::Program) {
        return RunJournaledCommand(station, controls, "program", [](Job& s) {
            if (!OpenComPort(s)) return false;
            const bool ok = EraseAndWrite(s);
            CloseComPort(s);
            return ok;
        });
    }
    return FieldUpdate(station, controls, {request.mode, UnattendedUpdateOptions(request.mode)})
        .command;
}

}  // namespace

PortEnd EndOf(const RunRecord& run, bool declined, const std::string& refusal) {
    using Colour = PortEnd::Colour;
    const QString serial = QString::fromStdString(run.serial);
    if (refusal.empty() && run.result == RunResult::Ok)
        return {Colour::Green, QStringLiteral("готово"), serial, {}};
    if (refusal.empty() && run.result == RunResult::Unconfirmed)
        return {Colour::Amber, QStringLiteral("не подтверждено"), serial,
                QStringLiteral("не все записи подтверждены: проверьте после включения")};
    PortEnd end{Colour::Red, QStringLiteral("ошибка"), serial, {}};
    if (refusal.empty() && run.result == RunResult::Interrupted)
        end.result = QStringLiteral("прервано");
    else if (refusal.empty() && run.result == RunResult::Refused)
        end.result = QStringLiteral("отказ");
    if (run.phase >= RunPhase::Erase) {
        // The chip was touched: only a new run (or the boot ROM) brings it back.
        end.note = QStringLiteral("устройство может быть стёрто или записано не полностью");
    } else if (!refusal.empty()) {
        end.note = QString::fromStdString(refusal);
    } else if (declined) {
        end.colour = Colour::Amber;
        end.result = QStringLiteral("отклонено");
        end.note = QStringLiteral("вопрос отклонён: см. журнал порта");
    } else {
        end.note = QString::fromStdString(run.note);
    }
    return end;
}

void RunStation(const Station& base, Controls& master, const StationRequest& request) {
    const std::vector<FolderImage> images = ReadFolderImages(base.place.workDir);
    const auto journal = SharedJournalPath(base.place);
    RunEachPort(request.targets.size(), master, base.clock, [&](std::size_t i, Controls& controls) {
        PortTile* tile = request.tiles[i];
        PortFrontend ui(tile, request.answerYes, request.mode);
        const Station station = PortStation(base, ui, request.targets[i], journal);
        CommandReport report;
        std::string refusal;
        try {
            refusal = PreparePortFolder(station.place.workDir, images);
            if (refusal.empty())
                report = RunOnPort(station, controls, request);
            else
                ui.AppendLine(refusal);
        } catch (const std::exception& e) {
            refusal = e.what();
            ui.AppendLine(refusal);
        }
        // An exception in the run was journaled as a failure by its frame; said here too.
        if (!report.error.empty()) {
            refusal = report.error;
            ui.AppendLine(refusal);
        }
        const PortEnd end = EndOf(report.run, ui.declined(), refusal);
        QMetaObject::invokeMethod(
            tile, [tile, end] { tile->Finish(end); }, Qt::QueuedConnection);
    });
    master.StopRequested = false;
    master.AbortRequested = false;
}

}  // namespace zentor::gui

// What a panel of the main window may use of it, instead of the window and its
// form: the station its commands run on, its log and boxes, its one command at a
// time, the update panel's choices and the log's column for the panel's own
// buttons. The window implements it; the close-loop panel and the station face
// take it. GUI thread only (station().controls excepted, as ever).
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "command_runner.h"
#include "qt_frontend.h"
#include "station/job.h"
#include "update_panel.h"
#include "window_rules.h"
#include "window_station.h"

class QAbstractItemModel;
class QVBoxLayout;

namespace zentor::gui {

// What a running command does, said when the window is asked to close. A read
// risks nothing: stopQuestion (non-empty) offers to stop it through the window's
// stop flag and close once it has ended.
struct CommandNote {
    std::string what = "выполняется команда";
    std::string stopQuestion;
};

class CommandHost {
public:
    virtual ~CommandHost() = default;

    // The parent of the panel's widgets and dialogs.
    virtual QWidget& hostWidget() = 0;
    virtual WindowStation& station() = 0;
    virtual QtFrontend& frontend() = 0;
    virtual CommandRunner& runner() = 0;
    virtual WindowFace face() const = 0;
    // Starts a command on the worker thread; false while another one runs.
    virtual bool RunCommand(std::function<void(Job&)> command, CommandNote note = {}) = 0;
    // The update panel's port list (names, their tool tips) and its current texts.
    virtual QAbstractItemModel* portModel() = 0;
    virtual UpdatePanel panelChoice() const = 0;
    // The column of the log pane; null where the face has none.
    virtual QVBoxLayout* logColumn() = 0;
};

}  // namespace zentor::gui

// The station face: one command on many ports at once, from the window. A
// window of its own over the main window, opened by the update face's "Порты…"
// button beside the folder's.
//
// The ports are the ones ticked in the window's port list and the ones typed as
// a list ("COM3, COM4"). "Начать все" makes a tile per port (port_tile.h) and
// runs the command on all of them as one command of the window (station_run.h):
// the window's own commands wait, and it cannot start while one of theirs runs.
// The bit rate and address are the update panel's. "Остановить все" asks every
// port to stop as Ctrl-C does in zentor-cli; while a chip is being written it
// first asks whether to leave it erased. Neither the face nor the window closes
// while the ports run: the face's status line says why.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "port_tile.h"

namespace Ui {
class StationFace;
}

namespace zentor::gui {

class CommandHost;

class StationFace : public QWidget {
    Q_OBJECT
public:
    explicit StationFace(CommandHost& host);
    ~StationFace() override;

    // The ticked entries of the list, then the typed names; each once.
    std::vector<std::string> ChosenPorts() const;
    bool running() const { return running_; }
    const std::vector<PortTile*>& tiles() const { return tiles_; }
    // "Начать все": false, with the status saying why, when nothing started.
    bool StartAll();
    // "Остановить все".
    void StopAll();
    // The list again from the window's port list; ticks stay with their names.
    void RefreshPorts();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ApplyBusy();
    void Ended();
    void Say(const QString& text);

    std::unique_ptr<Ui::StationFace> ui_;
    CommandHost& host_;
    std::vector<PortTile*> tiles_;
    bool running_ = false;
};

}  // namespace zentor::gui

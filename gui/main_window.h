// The main window: three faces (factory, update, encoder), the log pane and the
// progress bar; owns what its commands are given (window_station.h).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "command_host.h"
#include "command_runner.h"
#include "common/clock.h"
#include "qt_frontend.h"
#include "serial/port_lookup.h"
#include "station/job.h"
#include "window_rules.h"
#include "window_station.h"

class QFileDialog;
class QTimer;

namespace Ui {
class TFormZentorFrom_Halden;
}

namespace zentor::gui {

class InstrumentFinder;
class PortWatch;
class TfmSetings;
class CloseLoopPanel;

class TFormZentorFrom_Halden : public QWidget, public CommandHost {
    Q_OBJECT
public:
    struct Options {
        WindowFace face = WindowFace::UpdateFace;
        // Configuration and port links are found beside it (or in the user's folder
        // when its folder is not writable).
        std::filesystem::path exePath;
        std::filesystem::path configPath;  // empty: the executable's configuration file
        PortOpener* opener = nullptr;      // null: the system's serial ports
        // What the port lists tell about each port. Null: the system's lookup with
        // the system's ports, none with a given opener.
        PortLookup* lookup = nullptr;
        // Installed before anything can show a box (tests answer boxes here).
        QtFrontend::BoxHook boxHook;
        // Asks for a folder; returns "" when cancelled. Null: the system's folder dialog.
        std::function<QString(QWidget* parent, const QString& current)> folderChooser;
        // An installed program asks for the firmware folder at start when it has none.
        // Empty: installed when the executable's folder cannot be written.
        std::optional<bool> installed;
    };

    explicit TFormZentorFrom_Halden(Options options, QWidget* parent = nullptr);
    ~TFormZentorFrom_Halden() override;

    QWidget& hostWidget() override { return *this; }
    WindowStation& station() override { return station_; }
    QtFrontend& frontend() override { return frontend_; }
    CommandRunner& runner() override { return runner_; }
    WindowFace face() const override { return face_; }
    QAbstractItemModel* portModel() override;
    UpdatePanel panelChoice() const override;
    QVBoxLayout* logColumn() override;
    const std::filesystem::path& configPath() const { return configPath_; }
    PortLookup& portLookup() { return *lookup_; }
    QFileDialog* openDialog() const { return openDialog_; }
    CloseLoopPanel* closeLoop() const { return closeLoop_; }

    // Caption of the window and title of every message box.
    void SetCaption(const QString& caption);
    // Starts a command on the worker thread; false while another one runs.
    bool RunCommand(std::function<void(Job&)> command, CommandNote note = {}) override;
    // A second start of the program asked for this window.
    void BringToFront();
    // The settings dialog opened last (tests).
    TfmSetings* settingsDialog() const;
    // The update panel's instrument search.
    InstrumentFinder* finder() const { return finder_; }
    // The update face's port list kept current; null in the other faces.
    PortWatch* portWatch() const { return portWatch_; }

    // The update face's firmware folder: the folder the commands work in. Shown
    // and remembered in the configuration; refused (false) while a command runs.
    bool SetFirmwareFolder(const std::filesystem::path& folder);
    // The folder button: asks for a folder and takes it.
    void ChooseFirmwareFolder();

    void BitBtnNasrtClick();
    void ImageUpdateCOMportClick();
    void TimerUpdateCOMportTimer();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Update face: a folder, or a prog_c.bin whose folder is taken.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void SetupLook();
    void ConnectHandlers();
    void SetupFace();
    void ApplyBusy();
    void FocusSink();
    void ShowFirmwareFolder();

    std::unique_ptr<Ui::TFormZentorFrom_Halden> ui_;
    WindowFace face_;
    std::filesystem::path configPath_;
    std::unique_ptr<PortOpener> ownedOpener_;
    std::unique_ptr<PortLookup> ownedLookup_;
    PortLookup* lookup_ = nullptr;
    QtFrontend frontend_;
    SystemClock clock_;
    WindowStation station_;
    QTimer* timerUpdateCOMport_ = nullptr;
    QFileDialog* openDialog_ = nullptr;
    QPointer<TfmSetings> settingsDialog_;
    CloseLoopPanel* closeLoop_ = nullptr;
    InstrumentFinder* finder_ = nullptr;
    PortWatch* portWatch_ = nullptr;
    bool updateBusy_ = false;
    std::function<QString(QWidget*, const QString&)> folderChooser_;
    bool askFolderAtStart_ = false;
    CommandNote running_;         // the command running, if any
    bool askingClose_ = false;    // the stop question is up
    bool closeAfterRun_ = false;  // a stopped read closes the window when it ends
    // Last member: stopped first, while the station is still there.
    CommandRunner runner_;
};

}  // namespace zentor::gui

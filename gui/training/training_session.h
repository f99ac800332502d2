// Training mode: a simulated instrument (zentor-sim on a pseudo-terminal) reachable
// as one COM port through a scratch "dosdevices" folder, a scratch configuration
// file and a scratch work folder with the sample prog_c.bin and data.bin. Only the
// scratch folder is written; the user's configuration is never read and no real
// port is ever probed or opened (the session's opener knows the one COM name).
//
// Start() blocks for up to 5 s while the simulator comes up. Stop() (and the
// destructor) ends the simulator (SIGTERM, SIGKILL after 2 s) and removes the
// scratch folder. On Linux the simulator also ends if this process dies.
//
// The scratch folder is named after its owner, zentor-training-<pid>-XXXXXX in
// the system's temporary folder; Start() first removes those whose owner has
// ended (a crash, a kill), never one of a process that still runs.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>

#include "serial/port.h"

namespace zentor::gui {

class TrainingSession : public QObject {
    Q_OBJECT
public:
    struct Setup {
        QString simulator;  // zentor-sim
        QString samples;    // prog.bin, prog-old.bin, calibration.bin, data.bin
        int com = 99;
        long baud = 38400;                                // the simulated wire's pace; 0 = unpaced
        QString identity = QStringLiteral("14,7,15,10");  // prefix, model, serial bytes
    };
    // The simulator and the samples of an installed (bin/, share/zentor/samples) or
    // built (gui/, sim/, share/zentor/samples) zentor; empty strings when not found.
    static Setup Locate(const QString& exePath);

    explicit TrainingSession(Setup setup, QObject* parent = nullptr);
    ~TrainingSession() override;

    // Writes the scratch files and starts the simulator; false with *error set when
    // something is missing or the simulator did not come up.
    bool Start(QString* error);
    void Stop();

    QString PortName() const { return QStringLiteral("COM%1").arg(setup_.com); }
    int BaudRate() const;
    std::filesystem::path ScratchDir() const;
    std::filesystem::path ConfigPath() const { return ScratchDir() / "zentor.ini"; }
    std::filesystem::path WorkDir() const { return ScratchDir() / "work"; }
    std::filesystem::path StateDir() const { return ScratchDir() / "sim-state"; }
    // Opens only PortName(), through the scratch link.
    PortOpener& Opener() { return *opener_; }
    bool SimulatorRunning() const { return sim_.state() != QProcess::NotRunning; }

    // The power switch: SIGUSR2 to the simulator.
    void PowerCycle();

    // Removes the scratch folders in `folder` whose owning process has ended;
    // returns how many went. Folders of live processes and other names stay.
    static int RemoveDeadScratchFolders(const std::filesystem::path& folder);

signals:
    // A status line of the simulator after its terminal path ("power-cycled", "dumped").
    void simulatorReported(const QString& line);
    void simulatorEnded();

private:
    bool WriteScratchFiles(QString* error);
    void ReadStatus();

    Setup setup_;
    std::unique_ptr<QTemporaryDir> scratch_;
    QProcess sim_;
    std::unique_ptr<PortOpener> opener_;
    QByteArray pending_;
    bool up_ = false;
};

}  // namespace zentor::gui

// "Настройки": every setting but the stop-button key. Shows the settings it is
// given and the ports its opener finds, and hands "Да" the chosen settings; the
// owner takes them over (port, configuration file, caption) and says whether the
// dialog may close. Runs on the GUI thread; a port scan probes each name once. The
// port list follows adapters plugged in or out (PortWatch) while no command runs.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "config/settings.h"
#include "serial/port.h"
#include "serial/port_lookup.h"

class QFileDialog;
class QTimer;

namespace zentor::gui {
class PortWatch;
}

namespace Ui {
class TfmSetings;
}

namespace zentor::gui {

class TfmSetings : public QDialog {
    Q_OBJECT
public:
    // What the dialog asks of the window that opens it.
    struct Owner {
        // True while a command holds the port: "Да" and the port scan do nothing then.
        std::function<bool()> busy;
        // The file dialog the assembler file is chosen in (run modally).
        std::function<QFileDialog*()> fileDialog;
        // Takes a chosen assembler file name over at once, even if "Нет" follows.
        std::function<void(const std::string&)> chooseAsmFile;
        // Shows why "Да" refuses the fields.
        std::function<void(const std::string&)> refuse;
        // "Да" with valid fields: takes the chosen settings over; true closes the dialog.
        std::function<bool(const Settings&)> accept;
        // What the port list tells about each port; null: nothing.
        PortLookup* ports = nullptr;
    };

    // Modeless, over `owner`; deletes itself when closed. `settings` is read when
    // the dialog is made and on "Да"; it and `opener` must outlive the dialog.
    TfmSetings(QWidget& owner, const Settings& settings, PortOpener& opener, Owner hooks);
    ~TfmSetings() override;

    void BitBtnYesClick();
    void BitBtnNoClick();
    void ImageUpdateCOMportClick();
    void TimerUpdateCOMportTimer();
    void cbChangeHCRChange();
    void edHCR0Exit();
    void edHCR1Exit();
    void sbAsmFileNameClick();

    // The first thing "Да" would refuse, as the message it shows; empty when all is valid.
    QString ValidationError() const;
    // The settings with the dialog's fields as they stand now.
    Settings Chosen() const;
    // The buttons that make port traffic are off while a command runs.
    void ApplyBusy(bool busy);
    PortWatch* portWatch() const { return portWatch_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FocusSink();

    const Settings& settings_;
    PortOpener& opener_;
    Owner owner_;
    NoPortLookup noLookup_;
    std::unique_ptr<Ui::TfmSetings> ui_;
    QTimer* timerUpdateCOMport_ = nullptr;
    PortWatch* portWatch_ = nullptr;
};

}  // namespace zentor::gui

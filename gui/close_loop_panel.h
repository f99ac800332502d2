// The window's verification and restore buttons, under the log.
//
// Update face: "Проверить после включения" appears after an update whose
// reflash succeeded; pressed once the instrument is on again, it waits for the
// instrument, reads its DATA FLASH back and logs the verdict on the worker
// thread; pressed again while that runs, it stops the wait or the read.
// Factory face: "Восстановить DATA FLASH..." opens a file chooser in the backup
// folder and writes the chosen backup back on the worker thread (another serial
// number in the name is asked about first).
#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "common/session.h"
#include "verify/after_update.h"

class QFileDialog;
class QPushButton;

namespace zentor::gui {

class TFormZentorFrom_Halden;

class CloseLoopPanel : public QObject {
    Q_OBJECT
public:
    explicit CloseLoopPanel(TFormZentorFrom_Halden& window);

    // GUI thread, when an update starts: an earlier check no longer applies.
    void UpdateStarting();
    // Worker thread, when the update workflow has returned.
    void UpdateFinished(Session& s, bool programmed);

    QPushButton* verifyButton() const { return verify_; }
    QPushButton* restoreButton() const { return restore_; }
    QFileDialog* restoreDialog() const { return dialog_; }

private:
    void VerifyClick();
    void RestoreClick();
    void Restore(const QString& file);
    void BusyChanged(bool busy);

    TFormZentorFrom_Halden& window_;
    QPushButton* verify_ = nullptr;
    QPushButton* restore_ = nullptr;
    QFileDialog* dialog_ = nullptr;
    std::optional<UpdateCheck> check_;  // GUI thread only
    bool verifying_ = false;
};

}  // namespace zentor::gui

// The window's verification and restore buttons, under the log.
//
// Update face: "Проверить после включения" appears after an update that sent
// its last record, every write confirmed or not; pressed once the instrument is
// on again, it waits for the instrument, reads its DATA FLASH back and logs the
// verdict on the worker thread; pressed again while that runs, it stops the wait
// or the read. An update left unconfirmed, or cut short after the erase, ends the
// log with a red outcome line. When the check finds other bytes, "Восстановить
// DATA FLASH" appears: it writes this update's backup back at once, its "..."
// button chooses another file.
// Factory face: "Восстановить DATA FLASH..." opens a file chooser in the backup
// folder and writes the chosen backup back on the worker thread (another serial
// number in the name is asked about first).
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <optional>

#include "station/job.h"
#include "update/update_workflow.h"
#include "verify/after_update.h"
#include "verify/verify.h"

class QFileDialog;
class QPushButton;

namespace zentor::gui {

class CommandHost;

class CloseLoopPanel : public QObject {
    Q_OBJECT
public:
    explicit CloseLoopPanel(CommandHost& host);

    // GUI thread, when an update starts: an earlier check no longer applies.
    void UpdateStarting();
    // Worker thread, when the update workflow has returned; s.run is its record.
    // No result: the update did not run (the work folder was refused).
    void UpdateFinished(Job& s, std::optional<UpdateResult> result);

    QPushButton* verifyButton() const { return verify_; }
    QPushButton* restoreButton() const { return restore_; }
    QPushButton* otherFileButton() const { return other_; }
    QFileDialog* restoreDialog() const { return dialog_; }
    // Update face: what the restore button writes (empty: nothing offered).
    const std::filesystem::path& restoreFile() const { return restoreFile_; }

private:
    void VerifyClick();
    void VerifyEnded(VerifyOutcome outcome);
    void RestoreClick();
    void ChooseFile();
    void Restore(const QString& file);
    void BusyChanged(bool busy);

    CommandHost& host_;
    bool updateFace_ = false;
    QPushButton* verify_ = nullptr;
    QPushButton* restore_ = nullptr;
    QPushButton* other_ = nullptr;
    QFileDialog* dialog_ = nullptr;
    std::optional<UpdateCheck> check_;   // GUI thread only
    std::filesystem::path restoreFile_;  // GUI thread only
    bool verifying_ = false;
};

}  // namespace zentor::gui

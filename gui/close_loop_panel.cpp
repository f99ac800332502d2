#include "close_loop_panel.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMetaObject>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "backup_columns.h"
#include "command_host.h"
#include "journal/journal.h"
#include "station/com_port.h"
#include "station/instrument_run.h"
#include "verify/restore.h"
#include "verify/verify.h"
#include "window_rules.h"

namespace zentor::gui {

namespace {

const char* const kVerifyText = "Проверить после включения";
const char* const kCancelText = "Отменить проверку";
const char* const kRestoreText = "Восстановить DATA FLASH";

// The red line that ends the log of an update the user has to follow up: records
// nobody answered, or a reflash cut short after the erase.
std::string OutcomeLine(UpdateResult result, const RunRecord& run) {
    if (result == UpdateResult::Unconfirmed)
        return "Обновление не подтверждено: записей без ответа устройства - " +
               std::to_string(run.unconfirmed) + "; после включения нажмите \"" + kVerifyText +
               "\"";
    const bool cut = result == UpdateResult::Failed || result == UpdateResult::Interrupted;
    if (cut && run.phase >= RunPhase::Erase && run.phase != RunPhase::Done)
        return "Обновление не завершено: устройство может быть стёрто или записано не полностью - "
               "нажмите \"Обновление прошивки\" ещё раз";
    return {};
}

std::string RelativeText(const std::filesystem::path& path, const std::filesystem::path& base) {
    std::error_code ec;
    const std::filesystem::path rel = std::filesystem::relative(path, base, ec);
    return (ec || rel.empty() ? path : rel).generic_string();
}

}  // namespace

CloseLoopPanel::CloseLoopPanel(CommandHost& host)
    : QObject(&host.hostWidget()), host_(host), updateFace_(host.face() == WindowFace::UpdateFace) {
    QWidget& window = host.hostWidget();
    QVBoxLayout* layout = host.logColumn();
    auto button = [&](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), &window);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumHeight(32);
        b->setVisible(false);
        return b;
    };
    verify_ = button("BitBtnVerify", kVerifyText);
    restore_ =
        button("BitBtnRestoreData", updateFace_ ? kRestoreText : "Восстановить DATA FLASH...");
    restore_->setVisible(host.face() == WindowFace::FactoryFace);
    other_ = button("BitBtnRestoreOther", "...");
    other_->setToolTip(QString::fromUtf8("Другой файл..."));
    other_->setFixedWidth(40);
    auto* restoreRow = new QHBoxLayout;
    restoreRow->setSpacing(4);
    restoreRow->addWidget(restore_);
    restoreRow->addWidget(other_);
    if (layout) {
        layout->insertWidget(1, verify_);
        layout->insertLayout(1, restoreRow);
    }

    dialog_ = new QFileDialog(&window);
    dialog_->setObjectName(QStringLiteral("RestoreDialog"));
    dialog_->setFileMode(QFileDialog::ExistingFile);
    dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    dialog_->setNameFilters({QString::fromUtf8("Резервные копии DATA FLASH (*_data.bin)"),
                             QString::fromUtf8("Все файлы (*)")});
    dialog_->setWindowTitle(QString::fromUtf8("Восстановление DATA FLASH"));
    // The widget dialog: whole backup names, their serial and time in columns.
    dialog_->setOption(QFileDialog::DontUseNativeDialog);
    dialog_->setProxyModel(new BackupColumns(dialog_));
    dialog_->setViewMode(QFileDialog::Detail);
    if (auto* view = dialog_->findChild<QTreeView*>(QStringLiteral("treeView")))
        view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    dialog_->resize(820, 440);

    connect(verify_, &QPushButton::clicked, this, &CloseLoopPanel::VerifyClick);
    connect(restore_, &QPushButton::clicked, this, &CloseLoopPanel::RestoreClick);
    connect(other_, &QPushButton::clicked, this, &CloseLoopPanel::ChooseFile);
    connect(dialog_, &QFileDialog::fileSelected, this, &CloseLoopPanel::Restore);
    connect(&host.runner(), &CommandRunner::busyChanged, this, &CloseLoopPanel::BusyChanged);
}

void CloseLoopPanel::UpdateStarting() {
    check_.reset();
    restoreFile_.clear();
    verify_->setVisible(false);
    restore_->setVisible(false);
    other_->setVisible(false);
}

void CloseLoopPanel::UpdateFinished(Job& s, std::optional<UpdateResult> result) {
    if (!result) return;
    // Unconfirmed records are what the check after the power cycle is for.
    std::optional<UpdateCheck> check;
    if (*result == UpdateResult::Done || *result == UpdateResult::Unconfirmed)
        check = CheckAfterUpdate(s);
    // After the core's last line, the power-cycle instruction: the verdict of the run.
    if (const std::string line = OutcomeLine(*result, s.run); !line.empty())
        host_.frontend().AppendAlertLine(line);
    QMetaObject::invokeMethod(
        this,
        [this, check = std::move(check)] {
            check_ = check;
            verify_->setVisible(check_.has_value());
        },
        Qt::QueuedConnection);
}

void CloseLoopPanel::VerifyClick() {
    if (verifying_) {
        host_.station().controls.StopRequested = true;
        return;
    }
    if (!check_) return;
    const Place& place = host_.station().place();
    VerifyRequest request;
    request.expected = check_->expected;
    request.expectedSerial = check_->serial;
    request.waitSeconds = 120;
    if (!check_->restoreFile.empty())
        request.restoreCommand = "кнопка \"" + std::string(kRestoreText) +
                                 "\" под журналом, файл " +
                                 RelativeText(check_->restoreFile, place.workDir);
    request.source = PathToUtf8(check_->source);
    request.backup = PathToUtf8(check_->restoreFile);
    const std::string source = check_->source.filename().string();
    verifying_ = true;  // before the start, which reports busy at once
    const bool started = host_.RunCommand(
        [this, request, source](Job& session) {
            session.StopRequested = false;
            session.ui.AppendLine("");
            session.ui.AppendLine("Проверка после включения: сравнение DATA FLASH с " + source);
            VerifyOutcome outcome = VerifyOutcome::NoAnswer;
            RunInstrumentCommand(session, "verify", [&] {
                if (!OpenComPort(session)) return false;
                outcome = VerifyDataFlash(session, request).outcome;
                CloseComPort(session);
                return outcome == VerifyOutcome::Equal;
            });
            QMetaObject::invokeMethod(
                this, [this, outcome] { VerifyEnded(outcome); }, Qt::QueuedConnection);
        },
        {"идёт проверка после включения", "Остановить проверку после включения и закрыть окно?"});
    verifying_ = started;
    if (started) verify_->setText(QString::fromUtf8(kCancelText));
}

void CloseLoopPanel::VerifyEnded(VerifyOutcome outcome) {
    // The instrument holds other bytes than the update wrote: its backup goes back.
    if (outcome != VerifyOutcome::Different || !check_ || check_->restoreFile.empty()) return;
    restoreFile_ = check_->restoreFile;
    restore_->setToolTip(FromPath(restoreFile_));
    restore_->setVisible(true);
    other_->setVisible(true);
}

void CloseLoopPanel::RestoreClick() {
    if (updateFace_ && !restoreFile_.empty()) {
        Restore(FromPath(restoreFile_));
        return;
    }
    ChooseFile();
}

void CloseLoopPanel::ChooseFile() {
    const std::filesystem::path folder = host_.station().place().workDir;
    std::error_code ec;
    const bool hasBackups = std::filesystem::is_directory(folder / "backup", ec);
    dialog_->setDirectory(
        FromPath(std::filesystem::absolute(hasBackups ? folder / "backup" : folder, ec)));
    if (!restoreFile_.empty()) dialog_->selectFile(FromPath(restoreFile_));
    dialog_->open();
}

void CloseLoopPanel::Restore(const QString& file) {
    RestoreRequest request;
    request.file = ToPath(file);
    request.askOnMismatch = true;
    // The update face opens the port for each command; the factory face holds it.
    const bool ownPort = updateFace_;
    host_.RunCommand(
        [request, ownPort](Job& s) {
            s.ui.ClearLog();
            RunInstrumentCommand(s, "restore", [&] {
                if (ownPort && !OpenComPort(s)) return false;
                const bool equal = RestoreDataFlash(s, request).outcome == RestoreOutcome::Equal;
                if (ownPort) CloseComPort(s);
                return equal;
            });
        },
        {"идёт восстановление DATA FLASH", ""});
}

void CloseLoopPanel::BusyChanged(bool busy) {
    restore_->setEnabled(!busy);
    other_->setEnabled(!busy);
    if (verifying_) {
        if (busy) return;
        verifying_ = false;
        verify_->setText(QString::fromUtf8(kVerifyText));
    }
    verify_->setEnabled(!busy);
}

}  // namespace zentor::gui

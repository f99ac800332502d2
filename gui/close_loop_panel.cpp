#include "close_loop_panel.h"

#include <QFileDialog>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "journal/instrument_run.h"
#include "journal/journal.h"
#include "main_window.h"
#include "serial/com_port.h"
#include "verify/restore.h"
#include "verify/verify.h"
#include "window_rules.h"

namespace zentor::gui {

namespace {

const char* const kVerifyText = "Проверить после включения";
const char* const kCancelText = "Отменить проверку";

std::string RelativeText(const std::filesystem::path& path, const std::filesystem::path& base) {
    std::error_code ec;
    const std::filesystem::path rel = std::filesystem::relative(path, base, ec);
    return (ec || rel.empty() ? path : rel).generic_string();
}

}  // namespace

CloseLoopPanel::CloseLoopPanel(TFormZentorFrom_Halden& window) : QObject(&window), window_(window) {
    auto* layout = window.findChild<QVBoxLayout*>(QStringLiteral("logLayout"));
    auto button = [&](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), &window);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumHeight(32);
        b->setVisible(false);
        if (layout) layout->insertWidget(1, b);
        return b;
    };
    verify_ = button("BitBtnVerify", kVerifyText);
    restore_ = button("BitBtnRestoreData", "Восстановить DATA FLASH...");
    restore_->setVisible(window.face() == WindowFace::FactoryFace);

    dialog_ = new QFileDialog(&window);
    dialog_->setObjectName(QStringLiteral("RestoreDialog"));
    dialog_->setFileMode(QFileDialog::ExistingFile);
    dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    dialog_->setNameFilters({QString::fromUtf8("Резервные копии DATA FLASH (*_data.bin)"),
                             QString::fromUtf8("Все файлы (*)")});
    dialog_->setWindowTitle(QString::fromUtf8("Восстановление DATA FLASH"));

    connect(verify_, &QPushButton::clicked, this, &CloseLoopPanel::VerifyClick);
    connect(restore_, &QPushButton::clicked, this, &CloseLoopPanel::RestoreClick);
    connect(dialog_, &QFileDialog::fileSelected, this, &CloseLoopPanel::Restore);
    connect(&window.runner(), &CommandRunner::busyChanged, this, &CloseLoopPanel::BusyChanged);
}

void CloseLoopPanel::UpdateStarting() {
    check_.reset();
    verify_->setVisible(false);
}

void CloseLoopPanel::UpdateFinished(Session& s, bool programmed) {
    std::optional<UpdateCheck> check;
    if (programmed) check = CheckAfterUpdate(s);
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
        window_.session().StopRequested = true;
        return;
    }
    if (!check_) return;
    Session& s = window_.session();
    VerifyRequest request;
    request.expected = check_->expected;
    request.expectedSerial = check_->serial;
    request.waitSeconds = 120;
    if (!check_->restoreFile.empty())
        request.restoreCommand =
            "кнопка \"Восстановить DATA FLASH...\" (zentor --face factory), файл " +
            RelativeText(check_->restoreFile, s.workDir);
    request.source = PathToUtf8(check_->source);
    request.backup = PathToUtf8(check_->restoreFile);
    const std::string source = check_->source.filename().string();
    verifying_ = true;  // before the start, which reports busy at once
    const bool started = window_.RunCommand([request, source](Session& session) {
        session.StopRequested = false;
        session.ui.AppendLine("");
        session.ui.AppendLine("Проверка после включения: сравнение DATA FLASH с " + source);
        RunInstrumentCommand(session, "verify", [&] {
            if (!OpenComPort(session)) return false;
            const bool equal = VerifyDataFlash(session, request).outcome == VerifyOutcome::Equal;
            CloseComPort(session);
            return equal;
        });
    });
    verifying_ = started;
    if (started) verify_->setText(QString::fromUtf8(kCancelText));
}

void CloseLoopPanel::RestoreClick() {
    const std::filesystem::path folder = window_.session().workDir;
    std::error_code ec;
    const bool hasBackups = std::filesystem::is_directory(folder / "backup", ec);
    dialog_->setDirectory(
        FromPath(std::filesystem::absolute(hasBackups ? folder / "backup" : folder, ec)));
    dialog_->open();
}

void CloseLoopPanel::Restore(const QString& file) {
    RestoreRequest request;
    request.file = ToPath(file);
    request.askOnMismatch = true;
    window_.RunCommand([request](Session& s) {
        s.ui.ClearLog();
        RunInstrumentCommand(s, "restore", [&] {
            return RestoreDataFlash(s, request).outcome == RestoreOutcome::Equal;
        });
    });
}

void CloseLoopPanel::BusyChanged(bool busy) {
    restore_->setEnabled(!busy);
    if (verifying_) {
        if (busy) return;
        verifying_ = false;
        verify_->setText(QString::fromUtf8(kVerifyText));
    }
    verify_->setEnabled(!busy);
}

}  // namespace zentor::gui

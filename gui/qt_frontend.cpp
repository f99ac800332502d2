#include "qt_frontend.h"

#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QThread>

#include "message_question.h"

namespace zentor::gui {

QtFrontend::QtFrontend(QObject* parent) : QObject(parent) {}

void QtFrontend::Attach(Targets targets) {
    targets_ = std::move(targets);
}

template <typename F>
void QtFrontend::Post(F f) {
    if (QThread::currentThread() == thread()) {
        f();
    } else {
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
    }
}

template <typename R, typename F>
R QtFrontend::Call(F f) {
    if (QThread::currentThread() == thread()) return f();
    R result{};
    QMetaObject::invokeMethod(
        this, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

void QtFrontend::ClearLog() {
    Post([this] {
        lines_ = 0;
        if (targets_.log) targets_.log->clear();
    });
}

void QtFrontend::AppendLine(const std::string& line) {
    Append(line, false);
}

void QtFrontend::AppendAlertLine(const std::string& line) {
    Append(line, true);
}

void QtFrontend::Append(const std::string& line, bool alert) {
    Post([this, text = QString::fromStdString(line), alert] {
        QPlainTextEdit* log = targets_.log;
        if (!log) return;
        // Each line sets its own format: none is taken over from the line before.
        QTextCharFormat format;
        if (alert) format.setForeground(QColor(Qt::red));
        // An empty pane has one empty block: the first line goes into it.
        QTextCursor cursor(log->document());
        cursor.movePosition(QTextCursor::End);
        if (lines_ > 0) cursor.insertBlock(QTextBlockFormat(), format);
        cursor.insertText(text, format);
        lines_ += static_cast<int>(text.count(QLatin1Char('\n'))) + 1;
        log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
    });
}

void QtFrontend::DeleteLastLine() {
    Post([this] {
        QPlainTextEdit* log = targets_.log;
        if (!log || lines_ == 0) return;
        --lines_;
        if (lines_ == 0) {
            log->clear();
            return;
        }
        QTextCursor cursor(log->document());
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    });
}

void QtFrontend::ShowStopButton(bool visible) {
    Post([this, visible] {
        if (targets_.showStopButton) targets_.showStopButton(visible);
    });
}

void QtFrontend::SetUpdateBusy(bool busy) {
    Post([this, busy] {
        if (targets_.setUpdateBusy) targets_.setUpdateBusy(busy);
    });
}

void QtFrontend::ShowStage(int number, int count, const std::string& name) {
    Post([this, number, count, text = QString::fromStdString(name)] {
        QLabel* stage = targets_.stage;
        if (!stage) return;
        if (number <= 0) {
            stage->clear();
            stage->setVisible(false);
            return;
        }
        stage->setText(QString::fromUtf8("Этап %1 из %2: %3").arg(number).arg(count).arg(text));
        stage->setVisible(true);
    });
}

void QtFrontend::OnProgress(int min, int max, int position) {
    Post([this, min, max, position] {
        if (!targets_.progress) return;
        targets_.progress->setRange(min, max);
        targets_.progress->setValue(position);
    });
}

void QtFrontend::Run(QDialog& dialog) {
    if (runner_)
        runner_(dialog);
    else
        dialog.exec();
}

bool QtFrontend::ShowBox(BoxKind kind, const std::string& text, const std::string& title,
                         MessageIcon icon) {
    if (declining_) return false;
    if (boxHook_) return boxHook_(kind, text, title, icon);
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    if (kind != BoxKind::Plain) {
        switch (icon) {
            case MessageIcon::Information:
                qicon = QMessageBox::Information;
                break;
            case MessageIcon::Exclamation:
                qicon = QMessageBox::Warning;
                break;
            case MessageIcon::Question:
                qicon = QMessageBox::Question;
                break;
        }
    }
    QMessageBox box(qicon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::NoButton, targets_.dialogParent);
    QPushButton* yes = nullptr;
    QPushButton* preferred = nullptr;
    switch (kind) {
        case BoxKind::Plain:
        case BoxKind::Message:
            yes = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            break;
        case BoxKind::YesNo:
        case BoxKind::YesNoDefaultNo: {
            yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
            QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
            box.setEscapeButton(no);
            if (kind == BoxKind::YesNoDefaultNo) preferred = no;
            break;
        }
        case BoxKind::OkCancel:
            yes = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            box.setEscapeButton(box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole));
            break;
    }
    box.setDefaultButton(preferred ? preferred : yes);
    Run(box);
    return box.clickedButton() == yes;
}

void QtFrontend::MessageBox(const std::string& text, const std::string& title, MessageIcon icon) {
    Call<bool>([&] { return ShowBox(BoxKind::Message, text, title, icon); });
}

void QtFrontend::PlainMessage(const std::string& text, const std::string& title) {
    Call<bool>([&] { return ShowBox(BoxKind::Plain, text, title, MessageIcon::Information); });
}

bool QtFrontend::AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) {
    return Call<bool>([&] { return ShowBox(BoxKind::YesNo, text, title, icon); });
}

bool QtFrontend::AskYesNoDefaultNo(const std::string& text, const std::string& title,
                                   MessageIcon icon) {
    return Call<bool>([&] { return ShowBox(BoxKind::YesNoDefaultNo, text, title, icon); });
}

bool QtFrontend::AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) {
    return Call<bool>([&] { return ShowBox(BoxKind::OkCancel, text, title, icon); });
}

UpdateChoice QtFrontend::ConfirmUpdate(const std::string& caption, const std::string& deviceText) {
    return Call<UpdateChoice>([&] {
        if (declining_) return UpdateChoice{};
        if (confirmHook_) return confirmHook_(caption, deviceText);
        TfmMessageQuestion dialog(QString::fromStdString(caption),
                                  QString::fromStdString(deviceText), targets_.dialogParent);
        Run(dialog);
        return UpdateChoice{dialog.UpdateAnswer().toStdString(),
                            UpdateModeFromText(dialog.UpdateMode().toStdString())};
    });
}

}  // namespace zentor::gui

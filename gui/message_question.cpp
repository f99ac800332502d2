#include "message_question.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "station/job.h"
#include "ui_message_question.h"
#include "widgets.h"
#include "window_rules.h"

namespace zentor::gui {

TfmMessageQuestion::TfmMessageQuestion(const QString& caption, const QString& deviceText,
                                       QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfmMessageQuestion>()) {
    ui_->setupUi(this);
    setFixedSize(336, 248);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(caption);
    ui_->laMessageQuestion->setText(deviceText);
    connect(ui_->BitBtnYes, &QPushButton::clicked, this, &TfmMessageQuestion::BitBtnYesClick);
    connect(ui_->BitBtnNo, &QPushButton::clicked, this, &TfmMessageQuestion::BitBtnNoClick);
    LetEnterPressButtons(this);
}

TfmMessageQuestion::~TfmMessageQuestion() = default;

void TfmMessageQuestion::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        // Left and top of the owner's frame, its width and height.
        const QRect ownerRect = owner ? QRect(owner->pos(), owner->size()) : screen->geometry();
        move(PlaceOverOwner(ownerRect, size(), screen->geometry().size()));
        ui_->ButtonPusto->resize(0, 0);
        ui_->BitBtnYes->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

void TfmMessageQuestion::BitBtnYesClick() {
    answer_ = QStringLiteral("Да");
    if (ui_->RadioButtonZavodskNastr->isChecked()) {
        mode_ = QString::fromUtf8(kFactoryModeText);
    } else if (ui_->RadioButtonTekuschNastr->isChecked()) {
        mode_ = QString::fromUtf8(kKeepModeText);
    }
    accept();
}

void TfmMessageQuestion::BitBtnNoClick() {
    reject();
}

}  // namespace zentor::gui

#include "settings_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "port_list.h"
#include "port_watch.h"
#include "ui_settings_dialog.h"
#include "widgets.h"
#include "window_rules.h"

namespace zentor::gui {

namespace {

constexpr auto kExact = Qt::MatchExactly | Qt::MatchCaseSensitive;

void SelectText(QComboBox* list, const QString& text) {
    list->setCurrentIndex(-1);
    list->setCurrentIndex(list->findText(text, kExact));
}

// Selects the row of `value` in a list whose first row stands for `first`; a
// value without a row (a hand-edited file may hold any int) selects nothing.
void SelectValue(QComboBox* list, int value, int first) {
    const long long index = static_cast<long long>(value) - first;
    list->setCurrentIndex(index >= 0 && index < list->count() ? static_cast<int>(index) : -1);
}

bool IsTwoHexDigits(const QString& text) {
    if (text.size() != 2) return false;
    for (QChar c : text)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    return true;
}

}  // namespace

TfmSetings::TfmSetings(QWidget& owner, const Settings& settings, PortOpener& opener, Owner hooks)
    : QDialog(&owner, Qt::Dialog),
      settings_(settings),
      opener_(opener),
      owner_(std::move(hooks)),
      ui_(std::make_unique<Ui::TfmSetings>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFixedSize(size());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->ImageUpdateCOMport->setPixmap(RefreshIdlePicture(24));
    ui_->ImageUpdatesNow->setPixmap(RefreshBusyPicture(24));

    timerUpdateCOMport_ = new QTimer(this);
    timerUpdateCOMport_->setObjectName(QStringLiteral("TimerUpdateCOMport"));
    timerUpdateCOMport_->setInterval(200);
    timerUpdateCOMport_->setSingleShot(true);

    FormCreate();
    LetEnterPressButtons(this);
    portWatch_ = new PortWatch(
        ui_->cbNamePort, opener_, owner_.ports ? *owner_.ports : noLookup_,
        [this] { return !owner_.busy || !owner_.busy(); }, this);

    // Lists and the check box only pass the focus on, and only once the dialog is up.
    for (DropDownList* list :
         {ui_->cbTypeControllers, ui_->cbNamePort, ui_->cbBaudRate, ui_->cbPauseRestart,
          ui_->cbDopPause, ui_->cbiMaxKolReadings, ui_->cbAdrPribor, ui_->cbSizeData}) {
        connect(list, &QComboBox::activated, this, &TfmSetings::FocusSink);
        connect(list, &DropDownList::closedUp, this, &TfmSetings::FocusSink);
    }
    connect(ui_->CheckBoxControlWrite, &QCheckBox::clicked, this, &TfmSetings::FocusSink);
    connect(ui_->cbChangeHCR, &QComboBox::activated, this, &TfmSetings::cbChangeHCRChange);
    connect(ui_->BitBtnYes, &QPushButton::clicked, this, &TfmSetings::BitBtnYesClick);
    connect(ui_->BitBtnNo, &QPushButton::clicked, this, &TfmSetings::BitBtnNoClick);
    connect(ui_->sbAsmFileName, &QPushButton::clicked, this, &TfmSetings::sbAsmFileNameClick);
    connect(ui_->ImageUpdateCOMport, &ClickableImage::clicked, this,
            &TfmSetings::ImageUpdateCOMportClick);
    connect(ui_->ImageUpdatesNow, &ClickableImage::clicked, this,
            &TfmSetings::ImageUpdateCOMportClick);
    connect(timerUpdateCOMport_, &QTimer::timeout, this, &TfmSetings::TimerUpdateCOMportTimer);
    ui_->edHCR0->installEventFilter(this);
    ui_->edHCR1->installEventFilter(this);
}

TfmSetings::~TfmSetings() = default;

void TfmSetings::FormCreate() {
    const Settings& st = settings_;
    // 1. Busy picture exactly over the idle one.
    ui_->ImageUpdatesNow->setGeometry(ui_->ImageUpdateCOMport->geometry());
    // 2. Ports.
    FillPortList(ui_->cbNamePort, opener_, owner_.ports ? *owner_.ports : noLookup_,
                 QString::fromStdString(st.NamePort));
    // 3. Data sizes.
    ui_->cbSizeData->clear();
    for (int size = 0; size <= 4096; size += 256) ui_->cbSizeData->addItem(QString::number(size));
    SelectText(ui_->cbSizeData, QString::number(st.SizeData));
    // 4. Port, bit rate, restart pause.
    SelectText(ui_->cbNamePort, QString::fromStdString(st.NamePort));
    SelectText(ui_->cbBaudRate, QString::number(st.BaudRate));
    SelectText(ui_->cbPauseRestart, QString::number(st.PauseRestart));
    // 5. Addresses.
    for (int a = 2; a <= 63; ++a) ui_->cbAdrPribor->addItem(QString::number(a));
    ui_->cbAdrPribor->setCurrentIndex(
        ui_->cbAdrPribor->findText(QString::number(st.AdrPribor), kExact));
    // 6.
    ui_->CheckBoxControlWrite->setChecked(st.ControlWrite);
    // 7. Without a match the built-in "200" stays.
    const int pause = ui_->cbDopPause->findText(QString::number(st.DopPause), kExact);
    if (pause >= 0) ui_->cbDopPause->setCurrentIndex(pause);
    // 8.
    SelectValue(ui_->cbiMaxKolReadings, st.MaxKolReadings, 1);
    // 9. HCR edits and the preset that matches HCR1 (else the built-in row stays).
    ui_->edHCR0->setText(QString::fromStdString(st.HCR0Value));
    ui_->edHCR1->setText(QString::fromStdString(st.HCR1Value));
    const QString hcr1 = ui_->edHCR1->text().toUpper();
    if (hcr1 == QLatin1String("A3")) {
        ui_->cbChangeHCR->setCurrentIndex(1);
    } else if (hcr1 == QLatin1String("93")) {
        ui_->cbChangeHCR->setCurrentIndex(2);
    }
    // 10.
    ui_->sbAsmFileName->setText(QString::fromStdString(st.AsmFileName));
    // 11.
    SelectValue(ui_->cbTypeControllers, st.TypeController, 1);
}

void TfmSetings::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        const QWidget& owner = *parentWidget();
        const QScreen* screen = owner.screen() ? owner.screen() : QGuiApplication::primaryScreen();
        move(PlaceOverOwner(QRect(owner.pos(), owner.size()), size(), screen->geometry().size()));
        ui_->ButtonPusto->resize(0, 0);
        ui_->ButtonPusto->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

bool TfmSetings::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Switching windows or opening a popup is not leaving the field.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == ui_->edHCR0) edHCR0Exit();
            if (watched == ui_->edHCR1) edHCR1Exit();
        }
    } else if (event->type() == QEvent::KeyPress && watched == ui_->edHCR1) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            edHCR1Exit();
            return true;  // never reaches the dialog's default button
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfmSetings::FocusSink() {
    if (isVisible()) ui_->ButtonPusto->setFocus(Qt::OtherFocusReason);
}

void TfmSetings::ApplyBusy(bool busy) {
    // The port-list scan opens ports: not while a command holds one.
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->BitBtnYes, ui_->sbAsmFileName, ui_->ImageUpdateCOMport, ui_->ImageUpdatesNow})
        w->setEnabled(!busy);
}

void TfmSetings::cbChangeHCRChange() {
    FocusSink();
    const QString preset = ui_->cbChangeHCR->currentText();
    if (preset == QLatin1String("Velmar M7")) {
        ui_->edHCR1->setText(QStringLiteral("A3"));
    } else if (preset == QLatin1String("Velmar M3, M5X")) {
        ui_->edHCR1->setText(QStringLiteral("93"));
    }
}

void TfmSetings::edHCR0Exit() {
    if (!ui_->edHCR0->text().isEmpty()) ui_->edHCR0->setText(ui_->edHCR0->text().toUpper());
}

void TfmSetings::edHCR1Exit() {
    if (!ui_->edHCR1->text().isEmpty()) ui_->edHCR1->setText(ui_->edHCR1->text().toUpper());
    ui_->cbChangeHCR->setCurrentIndex(-1);
    const QString text = ui_->edHCR1->text();
    if (text == QLatin1String("A3")) {
        ui_->cbChangeHCR->setCurrentIndex(1);
    } else if (text == QLatin1String("93")) {
        ui_->cbChangeHCR->setCurrentIndex(2);
    }
}

void TfmSetings::sbAsmFileNameClick() {
    QFileDialog* dialog = owner_.fileDialog();
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
    const QString name = QFileInfo(dialog->selectedFiles().first()).fileName();
    owner_.chooseAsmFile(name.toStdString());
    ui_->sbAsmFileName->setText(name);
}

void TfmSetings::ImageUpdateCOMportClick() {
    if (owner_.busy()) return;
    QString remembered = ui_->cbNamePort->currentText();
    if (remembered.isEmpty()) remembered = QString::fromStdString(settings_.NamePort);
    ui_->ImageUpdateCOMport->hide();
    ui_->ImageUpdatesNow->show();
    repaint();
    FillPortList(ui_->cbNamePort, opener_, owner_.ports ? *owner_.ports : noLookup_, remembered);
    SelectText(ui_->cbNamePort, remembered);
    timerUpdateCOMport_->start();
}

void TfmSetings::TimerUpdateCOMportTimer() {
    timerUpdateCOMport_->stop();
    ui_->ImageUpdateCOMport->show();
    ui_->ImageUpdatesNow->hide();
}

QString TfmSetings::ValidationError() const {
    const struct {
        const QComboBox* list;
        const char* field;
    } lists[] = {
        {ui_->cbNamePort, "Выбор порта"},
        {ui_->cbBaudRate, "Скорость порта"},
        {ui_->cbPauseRestart, "Пауза перед перезапуском"},
        {ui_->cbDopPause, "Доп. пауза при записи, мс"},
        {ui_->cbiMaxKolReadings, "Количество вычитываний"},
        {ui_->cbAdrPribor, "Адрес устройства"},
        {ui_->cbSizeData, "Размер данных (чтение), байт"},
    };
    for (const auto& l : lists)
        if (l.list->currentIndex() < 0)
            return QStringLiteral("Не выбрано значение \"%1\".").arg(QString::fromUtf8(l.field));
    if (!IsTwoHexDigits(ui_->edHCR0->text()))
        return QStringLiteral("HCR0 должен состоять из двух шестнадцатеричных цифр.");
    if (!IsTwoHexDigits(ui_->edHCR1->text()))
        return QStringLiteral("HCR1 должен состоять из двух шестнадцатеричных цифр.");
    return {};
}

Settings TfmSetings::Chosen() const {
    Settings st = settings_;
    // No chip type selected means the programmer link (0).
    st.TypeController = ui_->cbTypeControllers->currentIndex() + 1;
    st.NamePort = ui_->cbNamePort->currentText().toStdString();
    st.BaudRate = ui_->cbBaudRate->currentText().toInt();
    st.PauseRestart = ui_->cbPauseRestart->currentText().toInt();
    st.AdrPribor = ui_->cbAdrPribor->currentText().toInt();
    st.ControlWrite = ui_->CheckBoxControlWrite->isChecked();
    st.DopPause = ui_->cbDopPause->currentText().toInt();
    st.MaxKolReadings = ui_->cbiMaxKolReadings->currentText().toInt();
    st.SizeData = ui_->cbSizeData->currentText().toInt();
    st.HCR0Value = ui_->edHCR0->text().toStdString();
    st.HCR1Value = ui_->edHCR1->text().toStdString();
    return st;
}

void TfmSetings::BitBtnYesClick() {
    // The port is in use by a running command.
    if (owner_.busy()) return;
    if (const QString problem = ValidationError(); !problem.isEmpty()) {
        owner_.refuse(problem.toStdString());
        return;
    }
    if (owner_.accept(Chosen())) close();
}

void TfmSetings::BitBtnNoClick() {
    close();
}

}  // namespace zentor::gui

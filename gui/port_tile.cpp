#include "port_tile.h"

#include <QDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace zentor::gui {

namespace {

constexpr int kTileWidth = 230;
constexpr int kTextWidth = kTileWidth - 16;  // inside the margins

QColor ColourOf(PortEnd::Colour c) {
    switch (c) {
        case PortEnd::Colour::Green:
            return QColor(0x2e, 0x7d, 0x32);
        case PortEnd::Colour::Amber:
            return QColor(0xe0, 0x8a, 0x00);
        case PortEnd::Colour::Red:
            break;
    }
    return QColor(0xc6, 0x28, 0x28);
}

QLabel* Label(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

}  // namespace

PortTile::PortTile(const QString& port, QWidget* parent) : QFrame(parent), port_(port) {
    setObjectName(QStringLiteral("PortTile"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Журнал порта: щелчок"));
    setFixedWidth(kTileWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(3);
    QLabel* name = Label(QStringLiteral("laPort"), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    name->setText(port);
    serial_ = Label(QStringLiteral("laSerial"), this);
    phase_ = Label(QStringLiteral("laPhase"), this);
    phase_->setWordWrap(true);
    phase_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    phase_->setFixedHeight(2 * phase_->fontMetrics().lineSpacing() + 2);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("pbPort"));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setFixedHeight(14);
    bar_->setTextVisible(false);
    result_ = Label(QStringLiteral("laResult"), this);
    result_->setAlignment(Qt::AlignCenter);
    result_->setAutoFillBackground(true);
    result_->setMinimumHeight(22);
    for (QWidget* w : std::initializer_list<QWidget*>{name, serial_, phase_, bar_, result_})
        layout->addWidget(w);
    SetSerial({});
    phase_->setText(QStringLiteral("ожидание"));
    result_->setText(QStringLiteral("идёт работа"));
    Paint(QColor(0x9e, 0x9e, 0x9e));
}

QString PortTile::serial() const {
    return serial_->property("serial").toString();
}
QString PortTile::phase() const {
    return phase_->text();
}
QString PortTile::result() const {
    return result_->text();
}
int PortTile::percent() const {
    return bar_->value();
}

void PortTile::AddLine(const QString& line) {
    lines_ << line;
    if (logView_) logView_->appendPlainText(line);
}

void PortTile::DeleteLastLine() {
    if (lines_.isEmpty()) return;
    lines_.removeLast();
    if (logView_) logView_->setPlainText(lines_.join(QLatin1Char('\n')));
}

void PortTile::SetPhase(const QString& phase) {
    phase_->setText(phase);
}

void PortTile::SetPercent(int percent) {
    bar_->setValue(percent);
}

void PortTile::SetSerial(const QString& serial) {
    serial_->setProperty("serial", serial);
    serial_->setText(QStringLiteral("s/n: ") + (serial.isEmpty() ? QStringLiteral("-") : serial));
}

void PortTile::Finish(const PortEnd& end) {
    finished_ = true;
    colour_ = end.colour;
    if (!end.serial.isEmpty()) SetSerial(end.serial);
    result_->setText(end.result);
    // A failure with no note of its own says what its last log line said.
    QString note = end.note;
    if (note.isEmpty() && end.colour != PortEnd::Colour::Green && !lines_.isEmpty()) {
        note = lines_.last();
        // A message box's line: its text without the "[title] " before it.
        if (note.startsWith(QLatin1Char('[')) && note.contains(QStringLiteral("] ")))
            note = note.mid(note.indexOf(QStringLiteral("] ")) + 2);
    }
    note.replace(QLatin1Char('\n'), QLatin1Char(' '));
    result_->setToolTip(note);
    phase_->setToolTip(note);
    if (!note.isEmpty())
        phase_->setText(
            phase_->fontMetrics().elidedText(note, Qt::ElideRight, 2 * kTextWidth - 24));
    note_ = note;
    if (end.colour == PortEnd::Colour::Green) bar_->setValue(100);
    Paint(ColourOf(end.colour));
}

void PortTile::Paint(const QColor& colour) {
    QPalette p = result_->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::WindowText, Qt::white);
    result_->setPalette(p);
}

void PortTile::ShowLog() {
    if (!logWindow_) {
        logWindow_ = new QDialog(this, Qt::Window);
        logWindow_->setObjectName(QStringLiteral("PortLog"));
        logWindow_->setAttribute(Qt::WA_DeleteOnClose);
        logWindow_->setWindowTitle(QStringLiteral("Порт ") + port_);
        logWindow_->resize(640, 420);
        auto* layout = new QVBoxLayout(logWindow_);
        logView_ = new QPlainTextEdit(logWindow_);
        logView_->setObjectName(QStringLiteral("PortLogText"));
        logView_->setReadOnly(true);
        QFont mono(QStringLiteral("Courier New"));
        mono.setPixelSize(13);
        mono.setStyleHint(QFont::TypeWriter);
        logView_->setFont(mono);
        layout->addWidget(logView_);
        connect(logWindow_, &QObject::destroyed, this, [this] { logView_ = nullptr; });
    }
    logView_->setPlainText(lines_.join(QLatin1Char('\n')));
    logWindow_->show();
    logWindow_->raise();
}

void PortTile::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) ShowLog();
    QFrame::mouseReleaseEvent(event);
}

}  // namespace zentor::gui

#include "instrument_finder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMetaObject>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QToolButton>

namespace zentor::gui {

namespace {

const char* const kSearchHint = "Найти устройство: порт, скорость, адрес";
const char* const kStopHint = "Остановить поиск";
const char* const kAllAddressesHint = "Искать по всем адресам 1..63, не только по выбранному и 1";

// A magnifying glass.
QIcon SearchIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(0x1e, 0x4e, 0x9a), s * 0.12));
    p.drawEllipse(QRectF(s * 0.14, s * 0.14, s * 0.5, s * 0.5));
    p.setPen(QPen(QColor(0x1e, 0x4e, 0x9a), s * 0.16, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.58, s * 0.58), QPointF(s * 0.86, s * 0.86));
    return QIcon(pm);
}

int Number(const QComboBox* list) {
    bool ok = false;
    const int value = list->currentText().toInt(&ok);
    return ok ? value : 0;
}

void SelectText(QComboBox* list, const QString& text) {
    int index = list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        list->addItem(text);
        index = list->count() - 1;
    }
    list->setCurrentIndex(index);
}

// Forwards the search's progress and finds to the finder on the GUI thread.
class QueuedProgress final : public SearchObserver {
public:
    QueuedProgress(std::function<void(int, int)> progress,
                   std::function<void(const FoundInstrument&)> found)
        : progress_(std::move(progress)), found_(std::move(found)) {}
    void OnProgress(int done, int total) override { progress_(done, total); }
    void OnFound(const FoundInstrument& found) override { found_(found); }

private:
    std::function<void(int, int)> progress_;
    std::function<void(const FoundInstrument&)> found_;
};

}  // namespace

InstrumentFinder::InstrumentFinder(Panel panel, Frontend& log, StartJob start, QObject* parent)
    : QObject(parent), panel_(panel), log_(log), start_(std::move(start)) {
    button_ = new QToolButton(panel_.panel);
    button_->setObjectName(QStringLiteral("BitBtnPoisk"));
    button_->setGeometry(350, 12, 24, 24);
    button_->setIcon(SearchIcon(20));
    button_->setAutoRaise(true);
    button_->setCursor(Qt::PointingHandCursor);
    button_->setToolTip(QString::fromUtf8(kSearchHint));
    connect(button_, &QToolButton::clicked, this, &InstrumentFinder::Click);

    bar_ = new QProgressBar(panel_.panel);
    bar_->setObjectName(QStringLiteral("pbPoisk"));
    bar_->setGeometry(322, 42, 53, 24);
    bar_->setFormat(QStringLiteral("%p%"));
    bar_->setTextVisible(true);
    bar_->hide();

    allAddresses_ = new QCheckBox(QString::fromUtf8("все"), panel_.panel);
    allAddresses_->setObjectName(QStringLiteral("chbVseAdresa"));
    allAddresses_->setGeometry(322, 72, 53, 24);
    allAddresses_->setToolTip(QString::fromUtf8(kAllAddressesHint));
    // Under the warning panel that covers the update panel during an update.
    button_->lower();
    bar_->lower();
    allAddresses_->lower();
}

InstrumentFinder::~InstrumentFinder() {
    cancel_ = true;
}

void InstrumentFinder::Click() {
    if (running_) {
        cancel_ = true;
        button_->setEnabled(false);  // until the ports have stopped
        return;
    }
    Start();
}

void InstrumentFinder::Start() {
    const SearchRequest request =
        PlanSearch(Number(panel_.baud), Number(panel_.address),
                   allAddresses_->isChecked() ? AddressScope::All : AddressScope::Quick);
    cancel_ = false;
    QPointer<InstrumentFinder> self(this);
    const bool started = start_([self, request, this](Job& s) {
        QueuedProgress progress(
            [self](int done, int total) {
                QMetaObject::invokeMethod(
                    self,
                    [self, done, total] {
                        if (self) self->Progress(done, total);
                    },
                    Qt::QueuedConnection);
            },
            [self](const FoundInstrument& found) {
                QMetaObject::invokeMethod(
                    self,
                    [self, found] {
                        if (self) self->Found(found);
                    },
                    Qt::QueuedConnection);
            });
        const SearchResult result =
            FindOnScannedPorts(s.opener, s.clock, request, &cancel_, &progress);
        QMetaObject::invokeMethod(
            self,
            [self, result] {
                if (self) self->Finished(result);
            },
            Qt::QueuedConnection);
    });
    if (!started) return;
    log_.ClearLog();
    log_.AppendLine("Поиск устройства...");
    ShowRunning(true);
}

void InstrumentFinder::Progress(int done, int total) {
    if (!running_) return;
    bar_->setRange(0, total > 0 ? total : 1);
    bar_->setValue(done);
    log_.SetProgressRange(0, total);
    log_.SetProgressPosition(done);
}

void InstrumentFinder::Found(const FoundInstrument& found) {
    if (running_) log_.AppendLine(FoundText(found));
}

void InstrumentFinder::Finished(const SearchResult& result) {
    ShowRunning(false);
    log_.SetProgressPosition(log_.ProgressMin());
    for (const PortReport& report : result.ports) {
        const std::string text = PortReportText(report);
        if (!text.empty()) log_.AppendLine(text);
    }
    if (result.cancelled) log_.AppendLine("Поиск остановлен");
    if (result.found.empty()) {
        if (!result.cancelled) log_.AppendLine("Устройство не найдено");
        return;
    }
    const FoundInstrument& first = result.found.front();
    // A stable name of the port found (its usb: entry) stays chosen.
    if (panel_.port->currentData().toString() != QString::fromStdString(first.port))
        SelectText(panel_.port, QString::fromStdString(first.port));
    SelectText(panel_.baud, QString::number(first.baud));
    SelectText(panel_.address, QString::number(first.address));
}

void InstrumentFinder::ShowRunning(bool running) {
    running_ = running;
    bar_->setVisible(running);
    bar_->setValue(0);
    button_->setEnabled(true);
    allAddresses_->setEnabled(!running);
    button_->setIcon(running ? button_->style()->standardIcon(QStyle::SP_BrowserStop)
                             : SearchIcon(20));
    button_->setToolTip(QString::fromUtf8(running ? kStopHint : kSearchHint));
}

}  // namespace zentor::gui

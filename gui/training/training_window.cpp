#include "training_window.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "training_session.h"

namespace zentor::gui {

namespace {

// While it lives, input to `window` outside `open` is dropped, as an
// application-modal dialog would drop it; other windows are not touched.
class InputFence : public QObject {
public:
    InputFence(QWidget& window, QWidget& open) : window_(window), open_(open) {
        qApp->installEventFilter(this);
    }
    ~InputFence() override { qApp->removeEventFilter(this); }
    InputFence(const InputFence&) = delete;
    InputFence& operator=(const InputFence&) = delete;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!object->isWidgetType() || !IsInput(event->type())) return false;
        auto* widget = static_cast<QWidget*>(object);
        if (widget->window() != &window_) return false;
        return widget != &open_ && !open_.isAncestorOf(widget);
    }

private:
    static bool IsInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::DragEnter:
            case QEvent::Drop:
                return true;
            default:
                return false;
        }
    }

    QWidget& window_;
    QWidget& open_;
};

// A question of the window, shown so that only the banner of its window stays
// usable: the power switch is one of the things a question asks for.
void RunBesideBanner(QDialog& dialog, QWidget& window, QWidget& banner) {
    const InputFence fence(window, banner);
    dialog.setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.show();
    loop.exec(QEventLoop::DialogExec);
}

}  // namespace

TrainingBanner::TrainingBanner(TrainingSession& session, QWidget* parent)
    : QFrame(parent), session_(session) {
    setObjectName(QStringLiteral("paTraining"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xff, 0xe8, 0x8c));
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);

    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("laTraining"));
    text_->setWordWrap(true);
    text_->setText(QStringLiteral("<b>Тренировка.</b> Настоящий прибор не подключён: "
                                  "%1 — имитатор прибора.")
                       .arg(session.PortName()));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("laTrainingStatus"));
    power_ = new QPushButton(QStringLiteral("Выкл./вкл. питание"), this);
    power_->setObjectName(QStringLiteral("BitBtnPowerCycle"));
    power_->setToolTip(QStringLiteral("Отключить и снова включить питание имитатора прибора"));

    auto* row = new QHBoxLayout;
    row->addWidget(status_, 1);
    row->addWidget(power_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(2);
    column->addWidget(text_);
    column->addLayout(row);

    connect(power_, &QPushButton::clicked, this, [this] {
        status_->setText(QStringLiteral("Питание отключено…"));
        session_.PowerCycle();
    });
    connect(&session_, &TrainingSession::simulatorReported, this, &TrainingBanner::ShowStatus);
    connect(&session_, &TrainingSession::simulatorEnded, this, [this] {
        status_->setText(QStringLiteral("Имитатор остановлен."));
        power_->setEnabled(false);
    });
}

void TrainingBanner::ShowStatus(const QString& line) {
    if (line == QLatin1String("power-cycled"))
        status_->setText(QStringLiteral("Питание снова включено."));
}

std::unique_ptr<TFormZentorFrom_Halden> MakeTrainingWindow(TrainingSession& session,
                                                           WindowFace face,
                                                           const std::filesystem::path& exePath,
                                                           QtFrontend::BoxHook boxHook) {
    TFormZentorFrom_Halden::Options options;
    options.face = face;
    options.exePath = exePath;
    options.configPath = session.ConfigPath();
    options.opener = &session.Opener();
    options.boxHook = std::move(boxHook);
    auto window = std::make_unique<TFormZentorFrom_Halden>(std::move(options));
    window->station().place().workDir = session.WorkDir();

    // The banner sits above the window's design area, which keeps its size.
    auto* banner = new TrainingBanner(session, window.get());
    if (auto* column = qobject_cast<QVBoxLayout*>(window->layout()))
        column->insertWidget(0, banner);
    window->frontend().SetDialogRunner([window = window.get(), banner](QDialog& dialog) {
        RunBesideBanner(dialog, *window, *banner);
    });
    const int extra = banner->sizeHint().height() + window->layout()->spacing();
    window->setMinimumHeight(window->minimumHeight() + extra);
    window->resize(window->width(), window->height() + extra);
    return window;
}

}  // namespace zentor::gui

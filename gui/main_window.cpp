#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

#include "bootrom/build_command.h"
#include "bootrom/program_chip.h"
#include "close_loop_panel.h"
#include "common/files.h"
#include "config/config_location.h"
#include "config/config_store.h"
#include "instrument/identify.h"
#include "instrument/instrument_commands.h"
#include "instrument_finder.h"
#include "port_list.h"
#include "port_watch.h"
#include "settings_dialog.h"
#include "settings_owner.h"
#include "station/com_port.h"
#include "station/instrument_run.h"
#include "ui_main_window.h"
#include "update/package_encoder.h"
#include "update/update_workflow.h"
#include "update_panel.h"
#include "widgets.h"
#include "window_panels.h"
#include "window_rules.h"

namespace zentor::gui {

namespace {

void RedBold(QWidget* w, int pixelSize) {
    QFont f = w->font();
    f.setBold(true);
    f.setPixelSize(pixelSize);
    w->setFont(f);
    QPalette p = w->palette();
    p.setColor(QPalette::ButtonText, Qt::red);
    p.setColor(QPalette::WindowText, Qt::red);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0xd0, 0x80, 0x80));
    w->setPalette(p);
}

QSize ScreenSize(const QWidget* w) {
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(1024, 768);
}

}  // namespace

TFormZentorFrom_Halden::TFormZentorFrom_Halden(Options options, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::TFormZentorFrom_Halden>()),
      face_(options.face),
      configPath_(options.configPath.empty() ? ConfigFileFor(options.exePath) : options.configPath),
      ownedOpener_(options.opener ? nullptr
                                  : MakeSystemPortOpener(SettingsFolderFor(options.exePath))),
      station_(frontend_, clock_, options.opener ? *options.opener : *ownedOpener_) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TFormZentorFrom_Halden"));
    if (options.lookup) {
        lookup_ = options.lookup;
    } else {
        ownedLookup_ = options.opener
                           ? std::unique_ptr<PortLookup>(std::make_unique<NoPortLookup>())
                           : MakeSystemPortLookup(SettingsFolderFor(options.exePath));
        lookup_ = ownedLookup_.get();
    }
    station_.place().exePath = options.exePath;
    folderChooser_ = options.folderChooser;
    if (!folderChooser_) {
        folderChooser_ = [](QWidget* parent, const QString& current) {
            return QFileDialog::getExistingDirectory(
                parent, QString::fromUtf8("Папка с файлом prog_c.bin"), current);
        };
    }
    const bool installed = options.installed.value_or(
        !options.exePath.empty() && !FolderWritable(options.exePath.parent_path()));
    frontend_.SetBoxHook(std::move(options.boxHook));
    frontend_.Attach({ui_->MemoZentor, ui_->ProgressBar1, this,
                      [this](bool visible) { ui_->BitBtnStop->setVisible(visible); },
                      [this](bool busy) {
                          updateBusy_ = busy;
                          ui_->paInfo->setVisible(busy);
                          ApplyBusy();
                      },
                      ui_->laStage});
    runner_.SetErrorHandler([this](const QString& message) {
        frontend_.MessageBox(message.toStdString(), station_.place().caption,
                             MessageIcon::Exclamation);
    });

    timerUpdateCOMport_ = new QTimer(this);
    timerUpdateCOMport_->setObjectName(QStringLiteral("TimerUpdateCOMport"));
    timerUpdateCOMport_->setInterval(200);
    timerUpdateCOMport_->setSingleShot(true);

    openDialog_ = new QFileDialog(this);
    openDialog_->setObjectName(QStringLiteral("OpenDialog1"));
    openDialog_->setFileMode(QFileDialog::ExistingFile);
    openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    openDialog_->setNameFilters(ConvertDialogFilter(QString::fromUtf8(kAsmFileFilter)));

    closeLoop_ = new CloseLoopPanel(*this);
    finder_ = new InstrumentFinder(
        {ui_->paProshivkaVelmar, ui_->cbNamePort, ui_->cbBaudRate, ui_->cbAdrPribor}, frontend_,
        [this](std::function<void(Job&)> job) {
            return RunCommand(std::move(job), {"идёт поиск устройства", ""});
        },
        this);

    SetupLook();
    ConnectHandlers();
    FormCreate();
    LetEnterPressButtons(this);

    // The last folder used; an installed program without one asks once shown.
    if (face_ == WindowFace::UpdateFace) {
        setAcceptDrops(true);
        AddStationEntry(*this);
        const std::filesystem::path remembered =
            ToPath(QString::fromStdString(LoadFirmwareFolder(configPath_)));
        std::error_code ec;
        if (!remembered.empty() && std::filesystem::is_directory(remembered, ec))
            station_.place().workDir = remembered;
        else
            askFolderAtStart_ = installed;
    }
}

TFormZentorFrom_Halden::~TFormZentorFrom_Halden() {
    runner_.WaitIdle();
}

void TFormZentorFrom_Halden::SetupLook() {
    QFont memo(QStringLiteral("Courier New"));
    memo.setPixelSize(13);
    memo.setStyleHint(QFont::TypeWriter);
    memo.setFixedPitch(true);
    ui_->MemoZentor->setFont(memo);

    RedBold(ui_->BitBtnStop, 32);
    RedBold(ui_->BitBtnProshivkaVelmar, 16);
    RedBold(ui_->laInputBoxSerNum, 18);

    QStyle* st = style();
    ui_->BitBtnNasrt->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
    ui_->BitBtnCompile->setIcon(st->standardIcon(QStyle::SP_ArrowRight));
    ui_->BitBtnWrite->setIcon(st->standardIcon(QStyle::SP_DriveHDIcon));
    ui_->BitBtnRestart->setIcon(st->standardIcon(QStyle::SP_BrowserReload));
    ui_->BitBtnProg->setIcon(st->standardIcon(QStyle::SP_DialogApplyButton));
    ui_->BitBtnProshivkaVelmar->setIcon(st->standardIcon(QStyle::SP_DriveHDIcon));

    ui_->ImageUpdateCOMport->setPixmap(RefreshIdlePicture(24));
    ui_->ImageUpdatesNow->setPixmap(RefreshBusyPicture(24));
}

void TFormZentorFrom_Halden::ConnectHandlers() {
    auto command = [this](QPushButton* button, auto fn, CommandNote note) {
        connect(button, &QPushButton::clicked, this, [this, fn, note] {
            FocusSink();
            RunCommand(fn, note);
        });
    };
    // One command per work folder (another process may hold it); the
    // instrument-changing ones are journaled.
    auto inFolder = [](const char* name, bool (*fn)(Job&)) {
        return [name, fn](Job& s) { RunFolderCommand(s, name, [&] { return fn(s); }); };
    };
    auto journaled = [](const char* name, bool (*fn)(Job&)) {
        return [name, fn](Job& s) { RunInstrumentCommand(s, name, [&] { return fn(s); }); };
    };
    command(ui_->BitBtnReadData, inFolder("read-data", ReadData),
            {"идёт чтение данных", "Остановить чтение данных и закрыть окно?"});
    command(ui_->BitBtnWriteData,
            journaled("write-data",
                      [](Job& s) {
                          NoteInstrumentForJournal(s);
                          return WriteData(s);
                      }),
            {"идёт запись данных в устройство", ""});
    command(ui_->BitBtnRestart, inFolder("restart", Restart), {"идёт перезапуск устройства", ""});
    command(ui_->BitBtnProg, inFolder("prog", EnterBootRom),
            {"идёт перевод устройства в Prog", ""});
    command(ui_->BitBtnWrite, journaled("program", EraseAndWrite), {"идёт стирание и запись", ""});
    command(ui_->BitBtnCompile, inFolder("build", BuildFirmware), {"идёт компиляция", ""});

    connect(ui_->BitBtnEnodeFiles, &QPushButton::clicked, this, [this] {
        FocusSink();
        const std::string serial = ui_->edSN->text().toStdString();
        RunCommand(
            [serial](Job& s) {
                RunFolderCommand(s, "encode", [&] { return EncodePackage(s, serial); });
            },
            {"идёт кодирование файлов", ""});
    });
    connect(ui_->BitBtnProshivkaVelmar, &QPushButton::clicked, this, [this] {
        FocusSink();
        // The window keeps the panel's choice for the commands after the update.
        if (auto refusal = TakePanelChoice(panelChoice(), station_.settings())) {
            frontend_.AppendLine(*refusal);
            return;
        }
        closeLoop_->UpdateStarting();
        RunCommand(
            [loop = closeLoop_](Job& s) {
                std::optional<UpdateResult> result;
                RunInstrumentCommand(s, "update", [&] {
                    result = RunFirmwareUpdate(s);
                    // The mode is chosen in the confirmation dialog.
                    if (s.run.mode.empty() && s.UpdateMode != UpdateMode::None)
                        s.run.mode = s.UpdateMode == UpdateMode::Factory ? "factory" : "keep";
                    return *result == UpdateResult::Done;
                });
                loop->UpdateFinished(s, result);
            },
            {"идёт обновление прошивки", ""});
    });
    // The stop flag is atomic: set at once, even while the read runs.
    connect(ui_->BitBtnStop, &QPushButton::clicked, this,
            [this] { RequestStop(station_.controls); });

    connect(ui_->BitBtnNasrt, &QPushButton::clicked, this,
            &TFormZentorFrom_Halden::BitBtnNasrtClick);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &TFormZentorFrom_Halden::BitBtnNasrtClick);
    connect(ui_->sbFolder, &QToolButton::clicked, this,
            &TFormZentorFrom_Halden::ChooseFirmwareFolder);
    connect(ui_->Button1, &QPushButton::clicked, this, &TFormZentorFrom_Halden::Button1Click);
    connect(ui_->ImageUpdateCOMport, &ClickableImage::clicked, this,
            &TFormZentorFrom_Halden::ImageUpdateCOMportClick);
    connect(ui_->ImageUpdatesNow, &ClickableImage::clicked, this,
            &TFormZentorFrom_Halden::ImageUpdateCOMportClick);
    connect(timerUpdateCOMport_, &QTimer::timeout, this,
            &TFormZentorFrom_Halden::TimerUpdateCOMportTimer);
    connect(ui_->cbNamePort, &DropDownList::closedUp, this, &TFormZentorFrom_Halden::FocusSink);
    connect(&runner_, &CommandRunner::busyChanged, this, &TFormZentorFrom_Halden::ApplyBusy);
    connect(&runner_, &CommandRunner::busyChanged, this, [this](bool busy) {
        if (busy) return;
        running_ = {};
        if (closeAfterRun_) {
            closeAfterRun_ = false;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
    });
}

void TFormZentorFrom_Halden::FormCreate() {
    // 1. Stop button in place, no stop pending.
    ui_->BitBtnStop->move(6, 4);
    station_.controls.StopRequested = false;

    // 2. Font check; the title is the default one, "Zentor Halden" comes later.
    if (NeedsArialWarning(QFontDatabase::families())) {
        frontend_.PlainMessage(
            kArialWarning,
            DefaultApplicationTitle(QString::fromStdString(station_.place().exePath.string()))
                .toStdString());
    }

    // 3. The image key is built into the core. 4. Caption.
    SetCaption(QStringLiteral("Zentor MSC"));

    // 5. Only the height can change.
    setFixedWidth(width());
    setMinimumHeight(280);

    // 6. Configuration and window bounds.
    const QSize screen = ScreenSize(this);
    WindowPosition position;
    LoadConfig(configPath_, station_.settings(), position, screen.width(), screen.height());
    resize(position.Width, position.Height);
    move(position.Left, position.Top);

    // 7. Face.
    SetupFace();

    // 8. Keep the window on the screen.
    move(KeepOnScreen(pos(), size(), screen));

    // 9. File dialog for the assembler source.
    openDialog_->setDirectory(FromPath(station_.place().exePath.parent_path()));
    openDialog_->selectFile(QString::fromStdString(station_.settings().AsmFileName));

    // 10. The factory face holds the port for the window's life.
    if (face_ == WindowFace::FactoryFace) station_.OpenPort();

    // 11. No temporary files yet.
    station_.tempFiles.clear();

    // 12. Warning panel at the top of the update panel.
    ui_->paInfo->move(0, 0);
    ui_->paInfo->resize(ui_->paProshivkaVelmar->width(), ui_->paInfo->height());
}

void TFormZentorFrom_Halden::SetupFace() {
    const bool factory = face_ == WindowFace::FactoryFace;
    const bool update = face_ == WindowFace::UpdateFace;
    const bool encoder = face_ == WindowFace::EncoderFace;
    // The panels cover the command buttons; covered buttons are hidden.
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->BitBtnNasrt, ui_->BitBtnCompile, ui_->BitBtnWrite, ui_->BitBtnReadData,
             ui_->BitBtnWriteData, ui_->BitBtnRestart, ui_->BitBtnProg})
        w->setVisible(factory);
    ui_->paProshivkaVelmar->setVisible(update);
    ui_->paFolder->setVisible(update);
    ui_->paEnodeFiles->setVisible(encoder);

    const Settings& st = station_.settings();
    if (update) {
        ui_->ImageUpdatesNow->setGeometry(ui_->ImageUpdateCOMport->geometry());
        FillPortList(ui_->cbNamePort, station_.station.opener, *lookup_,
                     QString::fromStdString(st.NamePort));
        int port = ui_->cbNamePort->findText(QString::fromStdString(st.NamePort),
                                             Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (port < 0 && ui_->cbNamePort->count() > 0) port = 0;
        ui_->cbNamePort->setCurrentIndex(port);
        ui_->cbBaudRate->setCurrentIndex(ui_->cbBaudRate->findText(
            QString::number(st.BaudRate), Qt::MatchExactly | Qt::MatchCaseSensitive));
        for (int a = 2; a <= 63; ++a) ui_->cbAdrPribor->addItem(QString::number(a));
        ui_->cbAdrPribor->setCurrentIndex(ui_->cbAdrPribor->findText(
            QString::number(st.AdrPribor), Qt::MatchExactly | Qt::MatchCaseSensitive));
        // Adapters plugged in or out show up in the list while nothing runs.
        portWatch_ = new PortWatch(
            ui_->cbNamePort, station_.station.opener, *lookup_, [this] { return !runner_.Busy(); },
            this);
        // Top to bottom, left to right: the port row with its refresh and search.
        ui_->ImageUpdateCOMport->setFocusPolicy(Qt::StrongFocus);
        QWidget* order[] = {
            ui_->cbNamePort,
            ui_->ImageUpdateCOMport,
            ui_->paProshivkaVelmar->findChild<QWidget*>(QStringLiteral("BitBtnPoisk")),
            ui_->cbBaudRate,
            ui_->cbAdrPribor,
            ui_->BitBtnProshivkaVelmar};
        for (std::size_t i = 1; i < std::size(order); ++i)
            if (order[i - 1] && order[i]) setTabOrder(order[i - 1], order[i]);
    }
    SetCaption(FaceCaption(face_, st.TypeController));
}

void TFormZentorFrom_Halden::SetCaption(const QString& caption) {
    station_.place().caption = caption.toStdString();
    setWindowTitle(caption);
}

void TFormZentorFrom_Halden::FocusSink() {
    ui_->ButtonPusto->setFocus(Qt::OtherFocusReason);
}

bool TFormZentorFrom_Halden::RunCommand(std::function<void(Job&)> command, CommandNote note) {
    // The command runs on a copy of the station; what it leaves comes back to
    // this thread before the runner says it is idle.
    const auto job = [this, copy = station_.station, port = station_.port,
                      timeouts = station_.timeouts, command = std::move(command)] {
        JobOutcome outcome = RunInJob(copy, station_.controls, port, timeouts, command);
        QMetaObject::invokeMethod(
            this, [this, outcome = std::move(outcome)] { TakeOutcome(station_, outcome); },
            Qt::QueuedConnection);
    };
    if (!runner_.Start(job)) return false;
    running_ = std::move(note);
    return true;
}

void TFormZentorFrom_Halden::ApplyBusy() {
    const bool busy = runner_.Busy();
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->BitBtnCompile, ui_->BitBtnWrite, ui_->BitBtnReadData, ui_->BitBtnWriteData,
             ui_->BitBtnRestart, ui_->BitBtnProg, ui_->BitBtnEnodeFiles, ui_->Button1,
             ui_->ImageUpdateCOMport, ui_->ImageUpdatesNow, ui_->sbFolder})
        w->setEnabled(!busy);
    ui_->BitBtnProshivkaVelmar->setEnabled(!busy && !updateBusy_);
}

TfmSetings* TFormZentorFrom_Halden::settingsDialog() const {
    return settingsDialog_;
}

void TFormZentorFrom_Halden::BitBtnNasrtClick() {
    FocusSink();
    settingsDialog_ = OpenSettingsDialog(*this);
    settingsDialog_->show();
}

void TFormZentorFrom_Halden::ImageUpdateCOMportClick() {
    QComboBox* list = ui_->cbNamePort;
    QString remembered = list->currentText();
    if (remembered.isEmpty()) remembered = QString::fromStdString(station_.settings().NamePort);
    ui_->ImageUpdateCOMport->hide();
    ui_->ImageUpdatesNow->show();
    // The scan blocks the window: draw the busy picture first.
    ui_->paProshivkaVelmar->repaint();
    FillPortList(list, station_.station.opener, *lookup_, remembered);
    list->setCurrentIndex(list->findText(remembered, Qt::MatchExactly | Qt::MatchCaseSensitive));
    timerUpdateCOMport_->start();
}

void TFormZentorFrom_Halden::TimerUpdateCOMportTimer() {
    timerUpdateCOMport_->stop();
    ui_->ImageUpdateCOMport->show();
    ui_->ImageUpdatesNow->hide();
}

void TFormZentorFrom_Halden::Button1Click() {
    FocusSink();
    for (const std::string& line : TimeoutsReadoutLines(station_.timeouts))
        frontend_.AppendLine(line);
}

void TFormZentorFrom_Halden::BringToFront() {
    if (windowState() & Qt::WindowMinimized)
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TFormZentorFrom_Halden::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        move(CentreOnScreen(size(), ScreenSize(this)));
        ui_->ButtonPusto->resize(0, 0);
        FocusSink();
        ShowFirmwareFolder();
        if (askFolderAtStart_) {
            askFolderAtStart_ = false;
            if (!ExistsNoCase(station_.place().workDir, "prog_c.bin"))
                QTimer::singleShot(0, this, &TFormZentorFrom_Halden::ChooseFirmwareFolder);
        }
    }
    QWidget::showEvent(event);
}

void TFormZentorFrom_Halden::closeEvent(QCloseEvent* event) {
    // A command owns the port and may be waiting for an answer: not now. A read
    // risks nothing: it may be stopped, and the window closes when it has ended.
    if (runner_.Busy()) {
        event->ignore();
        if (askingClose_ || closeAfterRun_) return;
        frontend_.AppendLine("Окно не закрыто: " + running_.what + " - дождитесь окончания");
        if (running_.stopQuestion.empty()) return;
        askingClose_ = true;
        const bool stop = frontend_.AskYesNo(running_.stopQuestion, station_.place().caption,
                                             MessageIcon::Question);
        askingClose_ = false;
        if (!stop) return;
        if (runner_.Busy()) {
            station_.controls.StopRequested = true;
            closeAfterRun_ = true;
        } else {
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return;
    }
    if (face_ != WindowFace::EncoderFace) station_.ClosePort();
    if (face_ == WindowFace::FactoryFace) {
        const WindowPosition position{x(), y(), width(), height()};
        std::string error;
        if (!SavePosition(configPath_, position, &error))
            frontend_.MessageBox(error, station_.place().caption, MessageIcon::Exclamation);
    }
    for (TfmSetings* dialog : findChildren<TfmSetings*>()) dialog->close();
    event->accept();
}

}  // namespace zentor::gui

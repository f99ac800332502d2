// zentor: the window program. One instance per user; the face is chosen at start:
//   zentor [--face factory|update|encoder] [--config FILE] [--journal FILE] [--training]
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "about_box.h"
#include "config/config_location.h"
#include "config/config_store.h"
#include "main_window.h"
#include "single_instance.h"
#include "training/end_signals.h"
#include "training/training_session.h"
#include "training/training_window.h"
#include "window_language.h"
#include "window_rules.h"
#include "zentor_version.h"

namespace {

constexpr const char* kUsage =
    "usage: zentor [--face factory|update|encoder] [--config FILE] [--journal FILE] "
    "[--training]\n";

constexpr const char* kHelp =
    "Zentor: firmware update, chip programming and instrument data over one serial port.\n"
    "\n"
    "  --face update      field firmware update (the default)\n"
    "  --face factory     build, erase and write, data read and write, restart, Prog\n"
    "  --face encoder     update packages bound to a serial number\n"
    "  --config FILE      configuration file (default: zentor.ini beside the program, or\n"
    "                     $XDG_CONFIG_HOME/zentor/zentor.ini when that folder is not writable)\n"
    "  --journal FILE     journal of instrument runs (default: journal.csv in the work folder)\n"
    "  --training         practise on a simulated instrument with scratch settings and files\n"
    "  --help             print this help and exit\n"
    "  --version          print the version and exit\n";

// The caption of the running window: its face, and for the factory face the
// controller type of the configuration.
QString SecondStartCaption(const zentor::gui::StartOptions& options) {
    zentor::Settings settings;
    zentor::WindowPosition position;
    const std::filesystem::path config =
        options.configPath.isEmpty()
            ? zentor::ConfigFileFor(zentor::gui::ToPath(QApplication::applicationFilePath()))
            : zentor::gui::ToPath(options.configPath);
    std::error_code ec;
    if (std::filesystem::is_regular_file(config, ec))
        zentor::LoadConfig(config, settings, position);
    return zentor::gui::FaceCaption(options.face, settings.TypeController);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the window system is touched: these work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zentor %s\n", ZENTOR_VERSION_TEXT);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        }
    }

    QApplication app(argc, argv);
    // The window class a second start looks for (WM_CLASS on X11).
    QApplication::setApplicationName(QString::fromUtf8(zentor::gui::kMainWindowClass));
    QApplication::setApplicationVersion(QString::fromUtf8(ZENTOR_VERSION));
    zentor::gui::ApplyWindowLanguage(zentor::gui::StoredWindowLanguage());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zentor.png")));

    const zentor::gui::StartOptions options = zentor::gui::ParseStartOptions(app.arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "zentor: %s\n%s", options.error.toLocal8Bit().constData(), kUsage);
        return 2;
    }

    // The training window is an instance of its own: it may run beside the real one.
    zentor::gui::SingleInstance instance(
        QString::fromUtf8(zentor::gui::kInstanceName) +
        (options.training ? QStringLiteral(" training") : QString()));
    // A second start says so, then raises the running window. No box where no one
    // could see or close it.
    instance.SetSecondStartHandler([&options] {
        const QString platform = QGuiApplication::platformName();
        zentor::gui::TellAlreadyRunning(
            SecondStartCaption(options),
            platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"));
    });
    if (!instance.Acquire()) return 0;
    if (!instance.Warning().isEmpty())
        std::fprintf(stderr, "zentor: %s\n", instance.Warning().toLocal8Bit().constData());

    const std::filesystem::path exePath = zentor::gui::ToPath(QApplication::applicationFilePath());
    std::unique_ptr<zentor::gui::TrainingSession> training;
    std::unique_ptr<zentor::gui::TFormZentorFrom_Halden> window;
    std::unique_ptr<zentor::gui::EndSignals> endSignals;
    if (options.training) {
        // Ended from outside, the training still stops its simulator and removes
        // its scratch folder: the event loop ends and the clean-up below runs.
        endSignals = std::make_unique<zentor::gui::EndSignals>();
        training = std::make_unique<zentor::gui::TrainingSession>(
            zentor::gui::TrainingSession::Locate(QApplication::applicationFilePath()));
        QString error;
        if (!training->Start(&error)) {
            QMessageBox::critical(nullptr, QStringLiteral("Zentor"),
                                  QStringLiteral("Тренировка не началась: ") + error);
            return 1;
        }
        window = zentor::gui::MakeTrainingWindow(*training, options.face, exePath);
        QObject::connect(endSignals.get(), &zentor::gui::EndSignals::received,
                         [&window](int signo) {
                             // A running command answers no more questions and stops at its next
                             // step.
                             window->frontend().DeclineFromNowOn();
                             window->station().controls.StopRequested = true;
                             window->station().controls.AbortRequested = true;
                             QCoreApplication::exit(128 + signo);
                         });
    } else {
        zentor::gui::TFormZentorFrom_Halden::Options windowOptions;
        windowOptions.face = options.face;
        windowOptions.exePath = exePath;
        windowOptions.configPath = zentor::gui::ToPath(options.configPath);
        window = std::make_unique<zentor::gui::TFormZentorFrom_Halden>(std::move(windowOptions));
        if (!options.journalPath.isEmpty())
            window->station().place().journalPath = zentor::gui::ToPath(options.journalPath);
    }
    if (auto* log = window->findChild<QPlainTextEdit*>(QStringLiteral("MemoZentor")))
        zentor::gui::AddAboutEntry(log);
    instance.SetActivationHandler([&window] { window->BringToFront(); });
    QApplication::setApplicationDisplayName(QStringLiteral("Zentor Halden"));

    window->show();
    const int status = app.exec();

    // Files recorded by the build; a missing or locked one is skipped.
    for (const std::string& file : window->station().tempFiles) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    window.reset();
    // Stops the simulator and removes the scratch folder.
    training.reset();
    return status;
}

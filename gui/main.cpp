// zentor: the window program. One instance per user; the face is chosen at start:
//   zentor [--face factory|update|encoder] [--config FILE] [--journal FILE]
#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "main_window.h"
#include "single_instance.h"
#include "window_rules.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The window class a second start looks for (WM_CLASS on X11).
    QApplication::setApplicationName(QString::fromUtf8(zentor::gui::kMainWindowClass));

    const zentor::gui::StartOptions options = zentor::gui::ParseStartOptions(app.arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr,
                     "zentor: %s\nusage: zentor [--face factory|update|encoder] "
                     "[--config FILE] [--journal FILE]\n",
                     options.error.toLocal8Bit().constData());
        return 2;
    }

    zentor::gui::SingleInstance instance;
    if (!instance.Acquire()) return 0;

    zentor::gui::TFormZentorFrom_Halden::Options windowOptions;
    windowOptions.face = options.face;
    windowOptions.exePath = zentor::gui::ToPath(QApplication::applicationFilePath());
    windowOptions.configPath = zentor::gui::ToPath(options.configPath);
    zentor::gui::TFormZentorFrom_Halden window(std::move(windowOptions));
    if (!options.journalPath.isEmpty())
        window.session().journalPath = zentor::gui::ToPath(options.journalPath);
    instance.SetActivationHandler([&window] { window.BringToFront(); });
    QApplication::setApplicationDisplayName(QStringLiteral("Zentor Halden"));

    window.show();
    app.exec();

    // Files recorded by the build; a missing or locked one is skipped.
    for (const std::string& file : window.session().TempFiles) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    return 0;
}

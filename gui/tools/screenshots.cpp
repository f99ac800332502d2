// Writes PNG pictures of the three faces and the two dialogs into a folder, for the
// documentation. Run under an X server (xvfb-run) so the windows are real:
//   xvfb-run -a zentor_screenshots OUTDIR
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <vector>

#include "close_loop_panel.h"
#include "main_window.h"
#include "message_question.h"
#include "settings_dialog.h"
#include "station_face.h"
#include "training/training_session.h"
#include "training/training_window.h"
#include "window_panels.h"

namespace {

// Two free ports, nothing behind them.
class ShowcaseOpener : public zentor::PortOpener {
public:
    zentor::OpenResult Open(const std::string&, int) override {
        return zentor::OpenFailure(zentor::OpenStatus::NotFound);
    }
    zentor::OpenStatus Probe(const std::string& name) override {
        return name == "COM1" || name == "COM3" ? zentor::OpenStatus::Ok
                                                : zentor::OpenStatus::NotFound;
    }
};

void Settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QTimer t;
        t.start(10);
        while (t.isActive() && t.remainingTime() > 0) QApplication::processEvents();
    }
}

bool Save(QWidget* w, const QDir& dir, const QString& name) {
    Settle();
    const bool ok = w->grab().save(dir.filePath(name));
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(dir.filePath(name)));
    return ok;
}

void Log(zentor::gui::TFormZentorFrom_Halden& window, std::initializer_list<const char*> lines) {
    window.frontend().ClearLog();
    for (const char* line : lines) window.frontend().AppendLine(line);
}

// The verification after an update (passed and failed) and a restore, with the
// lines these commands log.
bool FieldShots(zentor::gui::TFormZentorFrom_Halden& window, const QDir& out) {
    bool ok = true;
    if (window.face() == zentor::WindowFace::UpdateFace) {
        window.closeLoop()->verifyButton()->show();
        Log(window, {"Запись регистров конфигурации - ok!", "",
                     "Отключите питание устройства и через 30 секунд включите его снова.", "",
                     "Проверка после включения: сравнение DATA FLASH с data_rd.bin",
                     "Ожидание ответа устройства (до 120 с) ...",
                     "Ответило устройство Velmar 7  s/n: 14v071510", "Чтение данных из Velmar120",
                     "Чтение DATA FLASH ...", "Чтение DATA FLASH - Ok",
                     "Проверка DATA FLASH - Ok: 2048 байт совпадают с записанными"});
        ok &= Save(&window, out, QStringLiteral("field-verify-ok.png"));
        Log(window, {"Ответило устройство Velmar 7  s/n: 14v071510", "Чтение DATA FLASH - Ok",
                     "Проверка DATA FLASH: НЕ СОВПАДАЕТ с записанным, первое различие по "
                     "смещению 256 (0100h), различных байт 127 из 2048",
                     "Восстановление: кнопка \"Восстановить DATA FLASH\" под журналом, файл "
                     "backup/14v071510_20261210-142501_data.bin"});
        window.closeLoop()->restoreButton()->show();
        window.closeLoop()->otherFileButton()->show();
        ok &= Save(&window, out, QStringLiteral("field-verify-failed.png"));
        window.closeLoop()->restoreButton()->hide();
        window.closeLoop()->otherFileButton()->hide();
        window.closeLoop()->verifyButton()->hide();
    } else if (window.face() == zentor::WindowFace::FactoryFace) {
        Log(window, {"Восстановление DATA FLASH из 14v071510_20261210-142501_data.bin (2048 байт)",
                     "Подключено устройство Velmar 7  s/n: 14v071510",
                     "Запись данных в Velmar120 ...", "Запись данных - Ok", "Restart ...",
                     "Restart - OK", "Ожидание ответа устройства (до 15 с) ...",
                     "Ответило устройство Velmar 7  s/n: 14v071510", "Чтение DATA FLASH - Ok",
                     "Проверка DATA FLASH - Ok: 2048 байт совпадают с записанными",
                     "Восстановление DATA FLASH - Ok"});
        ok &= Save(&window, out, QStringLiteral("field-restore.png"));
    }
    window.frontend().ClearLog();
    return ok;
}

// The simulated instruments of the training, each on a COM port of its own.
class SessionsOpener : public zentor::PortOpener {
public:
    explicit SessionsOpener(std::vector<zentor::gui::TrainingSession*> sessions)
        : sessions_(std::move(sessions)) {}
    zentor::OpenResult Open(const std::string& name, int baud) override {
        auto* s = Find(name);
        return s ? s->Opener().Open(name, baud) : zentor::OpenFailure(zentor::OpenStatus::NotFound);
    }
    zentor::OpenStatus Probe(const std::string& name) override {
        auto* s = Find(name);
        return s ? s->Opener().Probe(name) : zentor::OpenStatus::NotFound;
    }

private:
    zentor::gui::TrainingSession* Find(const std::string& name) {
        for (auto* s : sessions_)
            if (s->PortName().toStdString() == name) return s;
        return nullptr;
    }
    std::vector<zentor::gui::TrainingSession*> sessions_;
};

// The station face after an update on three simulated instruments and one port
// with nothing behind it, and the log of one of them.
bool StationShots(const QString& exe, const QDir& out) {
    std::vector<std::unique_ptr<zentor::gui::TrainingSession>> sessions;
    std::vector<zentor::gui::TrainingSession*> running;
    const char* identities[] = {"14,7,15,10", "14,7,16,1", "5,120,3,200"};
    for (int i = 0; i < 3; ++i) {
        auto setup = zentor::gui::TrainingSession::Locate(QApplication::applicationFilePath());
        setup.com = 11 + i;
        setup.baud = 0;  // unpaced: three wires at once on a busy machine
        setup.identity = QString::fromLatin1(identities[i]);
        sessions.push_back(std::make_unique<zentor::gui::TrainingSession>(setup));
        QString error;
        if (!sessions.back()->Start(&error)) {
            std::printf("FAILED station: %s\n", qPrintable(error));
            return false;
        }
        running.push_back(sessions.back().get());
    }
    SessionsOpener opener(running);
    zentor::gui::TFormZentorFrom_Halden::Options o;
    o.exePath = exe.toStdString();
    o.configPath = running[0]->ConfigPath();
    o.opener = &opener;
    o.boxHook = [](auto, auto&, auto&, auto) { return true; };
    zentor::gui::TFormZentorFrom_Halden window(std::move(o));
    window.station().place().workDir = running[0]->WorkDir();
    window.show();
    Settle();
    zentor::gui::StationFace* face = zentor::gui::OpenStationFace(window);
    auto* list = face->findChild<QListWidget*>(QStringLiteral("lwPorts"));
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Checked);
    face->findChild<QLineEdit*>(QStringLiteral("edPorts"))->setText(QStringLiteral("COM5"));
    face->findChild<QCheckBox*>(QStringLiteral("chAnswerYes"))->setChecked(true);
    face->resize(760, 580);
    if (!face->StartAll()) return false;
    while (face->running()) Settle();
    bool ok = Save(face, out, QStringLiteral("station-face.png"));
    face->tiles().front()->ShowLog();
    ok &= Save(face->tiles().front()->logWindow(), out, QStringLiteral("station-port-log.png"));
    face->tiles().front()->logWindow()->close();
    face->close();
    window.close();
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Zentor Halden"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: zentor_screenshots OUTDIR\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));
    QTemporaryDir tmp;
    ShowcaseOpener opener;
    bool ok = true;

    const struct {
        zentor::WindowFace face;
        const char* file;
    } faces[] = {{zentor::WindowFace::UpdateFace, "face-update.png"},
                 {zentor::WindowFace::FactoryFace, "face-factory.png"},
                 {zentor::WindowFace::EncoderFace, "face-encoder.png"}};
    for (const auto& f : faces) {
        zentor::gui::TFormZentorFrom_Halden::Options o;
        o.face = f.face;
        o.exePath = tmp.filePath(QStringLiteral("zentor")).toStdString();
        o.opener = &opener;
        o.boxHook = [](auto, auto&, auto&, auto) { return true; };
        zentor::gui::TFormZentorFrom_Halden window(std::move(o));
        window.show();
        ok &= FieldShots(window, out);
        if (f.face == zentor::WindowFace::FactoryFace) {
            window.frontend().ClearLog();
            window.frontend().AppendLine("Чтение DATA FLASH ...");
            window.frontend().AppendLine("1-e чтение DATA FLASH - Ok");
            window.frontend().SetProgressRange(0, 8);
            window.frontend().SetProgressPosition(5);
            ok &= Save(&window, out, QString::fromLatin1(f.file));
            window.BitBtnNasrtClick();
            ok &= Save(window.settingsDialog(), out, QStringLiteral("settings-dialog.png"));
            window.settingsDialog()->close();
            // A data read in progress: the stop button over the command buttons.
            window.frontend().ShowStopButton(true);
            ok &= Save(&window, out, QStringLiteral("face-factory-reading.png"));
        } else {
            ok &= Save(&window, out, QString::fromLatin1(f.file));
        }
        if (f.face == zentor::WindowFace::UpdateFace) {
            zentor::gui::TfmMessageQuestion question(QStringLiteral("Zentor Velmar"),
                                                     QStringLiteral("Velmar 7  s/n: 14v801510."),
                                                     &window);
            question.show();
            ok &= Save(&question, out, QStringLiteral("confirm-dialog.png"));
            question.close();
            // An update in progress: button disabled, warning shown.
            window.frontend().SetUpdateBusy(true);
            for (const char* line :
                 {"Стирание FLASH1 - ok!", "Стирание FLASH2 - ok!", "Запись CODE FLASH ..."})
                window.frontend().AppendLine(line);
            window.frontend().ShowStage(4, 6, "запись CODE FLASH");
            window.frontend().SetProgressRange(0, 10);
            window.frontend().SetProgressPosition(3);
            ok &= Save(&window, out, QStringLiteral("face-update-busy.png"));
            window.frontend().ShowStage(0, 0, "");
            window.frontend().SetUpdateBusy(false);
        }
        window.close();
    }

    ok &= StationShots(tmp.filePath(QStringLiteral("zentor")), out);

    // The training window after a whole update, at the power-cycle line.
    zentor::gui::TrainingSession training(
        zentor::gui::TrainingSession::Locate(QApplication::applicationFilePath()));
    QString error;
    if (!training.Start(&error)) {
        std::printf("FAILED training: %s\n", qPrintable(error));
        return 1;
    }
    auto window =
        zentor::gui::MakeTrainingWindow(training, zentor::WindowFace::UpdateFace,
                                        tmp.filePath(QStringLiteral("zentor")).toStdString(),
                                        [](auto, auto&, auto&, auto) { return true; });
    window->frontend().SetConfirmHook([](const std::string&, const std::string&) {
        return zentor::UpdateChoice{"Да", zentor::UpdateMode::Keep};
    });
    window->show();
    Settle();
    window->findChild<QPushButton*>(QStringLiteral("BitBtnProshivkaVelmar"))->click();
    while (window->runner().Busy()) Settle();
    ok &= Save(window.get(), out, QStringLiteral("training.png"));
    window->close();
    return ok ? 0 : 1;
}

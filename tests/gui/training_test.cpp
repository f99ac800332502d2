// Training mode end to end: the simulator on its scratch COM port, a keep-mode
// update from the window to the power-cycle line, the power switch (also while a
// question is open), and the clean-up: on closing, on a signal, and at the next
// start after a session that did not end cleanly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/files.h"
#include "common/image_key.h"
#include "gui_test_support.h"
#include "station/job.h"
#include "support/scratch_dir.h"
#include "training/training_session.h"
#include "training/training_window.h"
#include "window_rules.h"

namespace zentor::gui::test {
namespace {
namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(const fs::path& p) {
    auto data = ReadWholeFile(p);
    return data ? *data : std::vector<std::uint8_t>{};
}

TEST(TrainingMode, UpdatesTheSimulatedInstrumentAndCleansUp) {
    // The user's configuration folder must stay untouched.
    zentor::test::ScratchDir userConfig("training-user");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(userConfig.path().string()));

    TrainingSession::Setup setup = TrainingSession::Locate(QString::fromUtf8(ZENTOR_GUI_PATH));
    ASSERT_FALSE(setup.simulator.isEmpty());
    ASSERT_FALSE(setup.samples.isEmpty());
    const fs::path samples = ToPath(setup.samples);
    // An unpaced wire: the update's own waits remain, the line time goes.
    setup.baud = 0;
    TrainingSession training(setup);
    QString error;
    ASSERT_TRUE(training.Start(&error)) << error.toStdString();
    const fs::path scratch = training.ScratchDir();

    // The work folder holds the update's files; prog_c.bin is the scrambled sample.
    std::vector<std::uint8_t> prog = Bytes(training.WorkDir() / "prog_c.bin");
    ScrambleImage(prog);
    EXPECT_EQ(prog, Bytes(samples / "prog.bin"));
    EXPECT_EQ(Bytes(training.WorkDir() / "data.bin"), Bytes(samples / "data.bin"));

    BoxLog boxes;
    auto window = MakeTrainingWindow(training, WindowFace::UpdateFace, fs::path(ZENTOR_GUI_PATH),
                                     boxes.Hook());
    window->frontend().SetConfirmHook([](const std::string&, const std::string&) {
        return UpdateChoice{"Да", UpdateMode::Keep};
    });
    window->show();
    EXPECT_EQ(window->configPath(), scratch / "zentor.ini");
    EXPECT_TRUE(Child<QWidget>(window.get(), "paTraining")->isVisible());
    EXPECT_TRUE(Child<QLabel>(window.get(), "laTraining")->text().contains("не подключён"));
    EXPECT_EQ(window->windowTitle(), "Zentor Velmar");

    // Only the simulated port is offered; real ports are never probed.
    auto* ports = Child<QComboBox>(window.get(), "cbNamePort");
    ASSERT_EQ(ports->count(), 1);
    EXPECT_EQ(ports->currentText(), "COM99");
    EXPECT_EQ(Child<QComboBox>(window.get(), "cbBaudRate")->currentText(), "38400");

    Child<QPushButton>(window.get(), "BitBtnProshivkaVelmar")->click();
    ASSERT_TRUE(WaitFor([&] { return !window->runner().Busy(); }, 90000));
    const QStringList log =
        Child<QPlainTextEdit>(window.get(), "MemoZentor")->toPlainText().split('\n');
    // Where the calibration backup went, then the power-cycle instruction.
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log.last(), QString::fromUtf8(
                              "Отключите питание устройства и через 30 секунд включите его снова."))
        << log.join(" | ").toStdString();
    EXPECT_TRUE(
        log[log.size() - 3].startsWith(QString::fromUtf8("Резервная копия DATA FLASH: backup/")))
        << log.join(" | ").toStdString();
    for (const auto& box : boxes.boxes) ADD_FAILURE() << "box: " << box.text;
    // Keep mode read the instrument's own calibration before reprogramming.
    EXPECT_EQ(Bytes(training.WorkDir() / "data_rd.bin"), Bytes(samples / "calibration.bin"));

    auto* status = Child<QLabel>(window.get(), "laTrainingStatus");
    Child<QPushButton>(window.get(), "BitBtnPowerCycle")->click();
    EXPECT_TRUE(WaitFor([&] { return status->text().contains("снова включено"); }));

    window->close();
    window.reset();
    training.Stop();
    EXPECT_FALSE(training.SimulatorRunning());
    EXPECT_FALSE(fs::exists(scratch));
    // (Qt keeps its file dialogs' history there, QtProject.conf.)
    EXPECT_FALSE(fs::exists(userConfig / "zentor"));
    qunsetenv("XDG_CONFIG_HOME");
}

// A click as the window system delivers it, which a modal dialog would block
// (QAbstractButton::click() would not be).
void ClickThroughTheWindow(QWidget* window, QWidget* widget) {
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(window, widget->rect().center()));
}

// The jumper steps ask to switch the instrument off while their box is open:
// the banner's power switch takes the click, the rest of the window does not.
TEST(TrainingMode, PowerSwitchWorksWhileAQuestionIsOpen) {
    TrainingSession::Setup setup = TrainingSession::Locate(QString::fromUtf8(ZENTOR_GUI_PATH));
    setup.baud = 0;
    TrainingSession training(setup);
    QString error;
    ASSERT_TRUE(training.Start(&error)) << error.toStdString();
    auto window = MakeTrainingWindow(training, WindowFace::UpdateFace, fs::path(ZENTOR_GUI_PATH));
    window->show();
    auto* status = Child<QLabel>(window.get(), "laTrainingStatus");
    auto* power = Child<QPushButton>(window.get(), "BitBtnPowerCycle");
    auto* update = Child<QPushButton>(window.get(), "BitBtnProshivkaVelmar");
    int updateClicks = 0;
    int powerClicks = 0;
    QObject::connect(update, &QPushButton::clicked, [&] { ++updateClicks; });
    QObject::connect(power, &QPushButton::clicked, [&] { ++powerClicks; });

    bool boxShown = false;
    int powerClicksInBox = 0;
    bool poweredOn = false;
    QTimer::singleShot(0, [&] {
        QMessageBox* box = nullptr;
        boxShown = WaitFor([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
            return box != nullptr;
        });
        if (!boxShown) return;
        ClickThroughTheWindow(window.get(), update);
        ClickThroughTheWindow(window.get(), power);
        powerClicksInBox = powerClicks;
        poweredOn = WaitFor([&] { return status->text().contains("снова включено"); });
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QString::fromUtf8("Отмена")) b->click();
    });
    const bool ok =
        window->frontend().AskOkCancel("1. Отключите питание устройства (не меньше 30 секунд).",
                                       "Zentor Velmar", MessageIcon::Exclamation);
    EXPECT_TRUE(boxShown);
    EXPECT_FALSE(ok) << "answered Отмена";
    EXPECT_EQ(powerClicksInBox, 1);
    EXPECT_TRUE(poweredOn);
    EXPECT_EQ(updateClicks, 0);
    EXPECT_FALSE(window->runner().Busy());

    // Without a question the window takes its clicks again.
    ClickThroughTheWindow(window.get(), power);
    EXPECT_EQ(powerClicks, 2);
    window->close();
    window.reset();
    training.Stop();
}

// The start removes scratch folders whose owner has ended, and nothing else.
TEST(TrainingMode, StartRemovesScratchFoldersOfEndedSessions) {
    zentor::test::ScratchDir tmp("training-tmp");
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(tmp.path().string()));
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ASSERT_GT(ended, 0);
    ::waitpid(ended, nullptr, 0);
    const struct {
        std::string name;
        bool stays;
    } cases[] = {
        {"zentor-training-" + std::to_string(ended) + "-aB3dE9", false},
        {"zentor-training-" + std::to_string(::getpid()) + "-Qw7rT2", true},
        {"zentor-training-1-x1y2z3", true},  // init: never ends
        {"zentor-training-Qw7rT2", true},    // no owner in the name
        {"other-" + std::to_string(ended) + "-aB3dE9", true},
    };
    for (const auto& c : cases) {
        fs::create_directories(tmp / c.name / "work");
        zentor::test::ScratchDir::WriteTo(tmp / c.name / "work" / "data.bin", {1, 2, 3});
    }

    TrainingSession::Setup setup = TrainingSession::Locate(QString::fromUtf8(ZENTOR_GUI_PATH));
    setup.baud = 0;
    TrainingSession training(setup);
    QString error;
    ASSERT_TRUE(training.Start(&error)) << error.toStdString();
    EXPECT_EQ(training.ScratchDir().parent_path(), tmp.path());
    EXPECT_EQ(training.ScratchDir().filename().string().rfind(
                  "zentor-training-" + std::to_string(::getpid()) + "-", 0),
              0u)
        << training.ScratchDir();
    for (const auto& c : cases) EXPECT_EQ(fs::exists(tmp / c.name), c.stays) << c.name;
    training.Stop();
    qputenv("TMPDIR", oldTmp);
    if (oldTmp.isEmpty()) qunsetenv("TMPDIR");
}

// `zentor --training` ended by a signal stops its simulator and removes its
// scratch folder on the way out.
TEST(TrainingMode, SignalsEndTheTrainingWithoutLeftovers) {
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signo);
        zentor::test::ScratchDir tmp("training-sig");
        fs::create_directories(tmp / "run");
        // Its own temporary, runtime (single instance) and configuration folders.
        std::vector<std::string> env{
            "TMPDIR=" + tmp.path().string(), "XDG_RUNTIME_DIR=" + (tmp / "run").string(),
            "XDG_CONFIG_HOME=" + (tmp / "config").string(), "QT_QPA_PLATFORM=offscreen"};
        for (char** e = environ; *e; ++e) {
            const std::string var = *e;
            if (var.rfind("TMPDIR=", 0) != 0 && var.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
                var.rfind("XDG_CONFIG_HOME=", 0) != 0 && var.rfind("QT_QPA_PLATFORM=", 0) != 0)
                env.push_back(var);
        }
        std::vector<char*> envp;
        for (auto& var : env) envp.push_back(var.data());
        envp.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (int s : {SIGTERM, SIGINT, SIGHUP}) ::signal(s, SIG_DFL);
            ::execle(ZENTOR_GUI_PATH, ZENTOR_GUI_PATH, "--training", static_cast<char*>(nullptr),
                     envp.data());
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        // Up once its scratch folder links the simulated port.
        const std::string prefix = "zentor-training-" + std::to_string(pid) + "-";
        fs::path scratch;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (scratch.empty() && std::chrono::steady_clock::now() < deadline) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(tmp.path(), ec))
                if (e.path().filename().string().rfind(prefix, 0) == 0 &&
                    fs::is_symlink(e.path() / "dosdevices" / "com99"))
                    scratch = e.path();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_FALSE(scratch.empty());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::kill(pid, signo);
        int wstatus = 0;
        pid_t done = 0;
        for (int i = 0; i < 1000 && done == 0; ++i) {
            done = ::waitpid(pid, &wstatus, WNOHANG);
            if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (done == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
            ADD_FAILURE() << "still running 20 s after the signal";
        }
        EXPECT_TRUE(WIFEXITED(wstatus)) << "ended by the signal itself";
        if (WIFEXITED(wstatus)) {
            EXPECT_EQ(WEXITSTATUS(wstatus), 128 + signo);
        }
        EXPECT_FALSE(fs::exists(scratch));
    }
}

TEST(TrainingMode, MissingSimulatorIsReported) {
    TrainingSession::Setup setup;
    setup.samples = QString::fromUtf8(ZENTOR_GUI_PATH);
    TrainingSession training(setup);
    QString error;
    EXPECT_FALSE(training.Start(&error));
    EXPECT_TRUE(error.contains("zentor-sim"));
    EXPECT_FALSE(training.SimulatorRunning());
}

}  // namespace
}  // namespace zentor::gui::test

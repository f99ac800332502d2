// Training mode end to end: the simulator on its scratch COM port, a keep-mode
// update from the window to the power-cycle line, the power switch, and the clean-up.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>

#include "common/files.h"
#include "common/image_key.h"
#include "common/session.h"
#include "gui_test_support.h"
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

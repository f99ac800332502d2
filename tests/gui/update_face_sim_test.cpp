// The update face against the simulator: how an update ends in the log, the
// check and restore that follow it, and the jumper path of an instrument left in
// its boot ROM.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "close_loop_panel.h"
#include "common/files.h"
#include "common/image_key.h"
#include "gui_test_support.h"
#include "journal/backup_names.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/bytes.h"
#include "support/sim_process.h"
#include "window_rules.h"

namespace zentor::gui::test {
namespace {

namespace fs = std::filesystem;
using zentor::test::Bytes;
using zentor::test::Pattern;

const char* const kPowerCycle =
    "Отключите питание устройства и через 30 секунд включите его снова.";

// A keep-mode update face on a simulated instrument (model 7, s/n 14v071510)
// holding `calibration`; data.bin in the folder is another image.
struct SimWindow {
    explicit SimWindow(std::vector<std::string> simArgs, bool controlWrite = false) {
        Settings st;
        st.DopPause = 0;
        st.TypeController = 4;
        st.SizeData = 512;
        st.MaxKolReadings = 1;
        st.BaudRate = 38400;
        st.ControlWrite = controlWrite;
        rig.WriteConfig(st);
        Bytes program = Pattern(128, 1);
        ScrambleImage(program);
        EXPECT_TRUE(WriteFileAtomic(rig.Dir() / "prog_c.bin", program));
        EXPECT_TRUE(WriteFileAtomic(rig.Dir() / "cal.bin", calibration));
        EXPECT_TRUE(WriteFileAtomic(rig.Dir() / "data.bin", factory));
        for (const char* arg : {"--data-file", "", "--data-flash-size", "512", "--baud", "38400"})
            simArgs.push_back(*arg ? arg : (rig.Dir() / "cal.bin").string());
        sim = std::make_unique<zentor::test::SimProcess>(simArgs);

        w = rig.Make(WindowFace::UpdateFace, true);
        w->station().place().workDir = rig.Dir();
        w->frontend().SetConfirmHook([](const std::string&, const std::string&) {
            return UpdateChoice{"Да", UpdateMode::Keep};
        });
        auto* port = Child<QComboBox>(w.get(), "cbNamePort");
        port->addItem(QString::fromStdString(sim->DevicePath()));
        port->setCurrentIndex(port->count() - 1);
        w->show();
    }

    // Presses a button and waits until the command it started has ended.
    void Press(const char* name, int timeoutMs = 60000) {
        Child<QPushButton>(w.get(), name)->click();
        ASSERT_TRUE(WaitFor([&] { return w->runner().Busy(); }, 2000));
        ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, timeoutMs));
        Spin(50);  // queued log lines and button states
    }
    QPlainTextEdit* Memo() { return Child<QPlainTextEdit>(w.get(), "MemoZentor"); }
    QStringList Lines() { return Memo()->toPlainText().split(QLatin1Char('\n')); }
    std::string LogText() { return Memo()->toPlainText().toStdString(); }
    bool Has(const std::string& line) { return Lines().contains(QString::fromStdString(line)); }
    bool LineStarting(const std::string& head) {
        for (const QString& line : Lines())
            if (line.startsWith(QString::fromStdString(head))) return true;
        return false;
    }
    // The last block of the log is drawn in red, every character of it.
    bool LastLineRed() {
        const QTextBlock block = Memo()->document()->lastBlock();
        bool any = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().foreground().color() != QColor(Qt::red)) return false;
            any = true;
        }
        return any;
    }
    bool LineBeforeLastRed() {
        const QTextBlock block = Memo()->document()->lastBlock().previous();
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().foreground().color() == QColor(Qt::red)) return true;
        return false;
    }
    std::vector<JournalRun> Runs() {
        auto lines = ReadJournal(rig.Dir() / "journal.csv");
        EXPECT_TRUE(lines.has_value());
        return lines ? MergeRuns(*lines) : std::vector<JournalRun>{};
    }
    QPushButton* Button(const char* name) { return Child<QPushButton>(w.get(), name); }

    const Bytes calibration = Pattern(512, 4);
    const Bytes factory = Pattern(512, 9);
    WindowRig rig;
    std::unique_ptr<zentor::test::SimProcess> sim;
    std::unique_ptr<TFormZentorFrom_Halden> w;
};

// How the log ends after each kind of end of the reflash, and whether the check
// after the power cycle is offered.
TEST(UpdateFaceOutcome, LastLinesPerEnd) {
    const struct {
        const char* name;
        std::vector<std::string> simArgs;
        bool controlWrite;
        const char* lastLine;  // red when not the power-cycle instruction
        bool verifyOffered;
    } cases[] = {
        {"every record confirmed", {}, false, kPowerCycle, true},
        {"record refused after the erase",
         {"--refuse-record", "1"},
         true,
         "Обновление не завершено: устройство может быть стёрто или записано не полностью - "
         "нажмите \"Обновление прошивки\" ещё раз",
         false},
        {"boot ROM silent before the erase", {"--no-banner"}, false, kPowerCycle, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimWindow t(c.simArgs, c.controlWrite);
        // The whole-run progress as the window shows it, sampled while the run lasts.
        QStringList stages;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            auto* stage = Child<QLabel>(t.w.get(), "laStage");
            if (stage->isVisible() && (stages.isEmpty() || stages.last() != stage->text()))
                stages << stage->text();
        });
        sampler.start(10);
        t.Press("BitBtnProshivkaVelmar");
        sampler.stop();
        EXPECT_FALSE(Child<QLabel>(t.w.get(), "laStage")->isVisible());
        // Prog and the restart alone take three seconds: the boot ROM stage is seen.
        EXPECT_TRUE(stages.contains(QString::fromUtf8("Этап 2 из 6: вход в загрузчик")))
            << stages.join(QLatin1Char('|')).toStdString();
        for (qsizetype i = 1; i < stages.size(); ++i)
            EXPECT_LT(stages[i - 1].mid(5, 1).toInt(), stages[i].mid(5, 1).toInt())
                << stages.join(QLatin1Char('|')).toStdString();
        ASSERT_FALSE(t.Lines().isEmpty());
        EXPECT_EQ(t.Lines().last().toStdString(), c.lastLine) << t.LogText();
        const bool red = std::string(c.lastLine) != kPowerCycle;
        EXPECT_EQ(t.LastLineRed(), red);
        EXPECT_FALSE(t.LineBeforeLastRed());
        if (red) {
            EXPECT_EQ(t.Lines()[t.Lines().size() - 2].toStdString(), kPowerCycle);
        }
        Spin(100);
        EXPECT_EQ(t.Button("BitBtnVerify")->isVisible(), c.verifyOffered);
        EXPECT_FALSE(t.Button("BitBtnRestoreData")->isVisible());
    }
}

// Records answered by nothing (ControlWrite off, boot ROM silent after the
// program record): red outcome line, the check finds the DATA FLASH blank, and
// the restore button of the update face writes this update's backup back.
TEST(UpdateFaceOutcome, UnconfirmedUpdateCheckedAndRestored) {
    SimWindow t({"--silent-after-record", "1"});
    t.Press("BitBtnProshivkaVelmar");
    // Four DATA FLASH records and the configuration record.
    EXPECT_EQ(t.Lines().last().toStdString(),
              "Обновление не подтверждено: записей без ответа устройства - 5; после включения "
              "нажмите \"Проверить после включения\"")
        << t.LogText();
    EXPECT_TRUE(t.LastLineRed());
    EXPECT_EQ(t.Lines()[t.Lines().size() - 2].toStdString(), kPowerCycle);
    EXPECT_EQ(t.sim->DataFlash(), Bytes(512, 0xFF));

    auto* verify = t.Button("BitBtnVerify");
    auto* restore = t.Button("BitBtnRestoreData");
    ASSERT_TRUE(WaitFor([&] { return verify->isVisible(); }));
    EXPECT_TRUE(verify->isEnabled());
    EXPECT_FALSE(restore->isVisible());

    t.sim->PowerCycle();
    t.Press("BitBtnVerify", 30000);
    EXPECT_TRUE(t.LineStarting("Проверка DATA FLASH: НЕ СОВПАДАЕТ с записанным")) << t.LogText();
    const fs::path backup = t.w->closeLoop()->restoreFile();
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(backup.parent_path().filename(), "backup");
    EXPECT_EQ(BackupSerial(backup), std::optional<std::string>("14v071510"));
    EXPECT_TRUE(
        t.Has("Восстановление: кнопка \"Восстановить DATA FLASH\" под журналом, файл backup/" +
              backup.filename().string()))
        << t.LogText();
    ASSERT_TRUE(WaitFor([&] { return restore->isVisible(); }));
    EXPECT_TRUE(restore->isEnabled());
    EXPECT_EQ(restore->text(), QString::fromUtf8("Восстановить DATA FLASH"));

    // "..." opens the chooser on that backup; closing it writes nothing.
    t.Button("BitBtnRestoreOther")->click();
    QFileDialog* dialog = t.w->closeLoop()->restoreDialog();
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(),
              QDir(FromPath(backup.parent_path())).canonicalPath());
    dialog->reject();
    EXPECT_FALSE(t.w->runner().Busy());

    t.Press("BitBtnRestoreData", 30000);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(t.Has("Восстановление DATA FLASH - Ok")) << t.LogText();
    EXPECT_EQ(t.sim->DataFlash(), t.calibration);
    const auto runs = t.Runs();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back().record.command, "restore");
    EXPECT_EQ(runs.back().record.result, RunResult::Ok);
}

// The update pressed again before the power cycle: the chip still sits in its
// boot ROM and does not identify. The window offers the backup the first run
// made on this port and writes it, not data.bin; the check compares with it.
TEST(UpdateFaceJumper, InstrumentLeftInItsBootRomGetsThisPortsBackup) {
    SimWindow t({});
    t.Press("BitBtnProshivkaVelmar");
    ASSERT_EQ(t.Lines().last().toStdString(), kPowerCycle) << t.LogText();
    const auto first = t.Runs();
    ASSERT_EQ(first.size(), 1u);
    const std::string backup = first.back().record.backupPath;
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(t.sim->Mode(), "bootrom");

    t.Press("BitBtnProshivkaVelmar");
    const auto& boxes = t.rig.boxes.boxes;
    ASSERT_EQ(boxes.size(), 3u) << t.LogText();
    EXPECT_EQ(boxes[0].kind, QtFrontend::BoxKind::YesNo);
    EXPECT_NE(boxes[0].text.find("Последнее обновление на этом порту - прибор 14v071510"),
              std::string::npos)
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find(fs::path(backup).filename().string()), std::string::npos)
        << boxes[0].text;
    EXPECT_EQ(boxes[1].text, "Устройство не определено!\n\nПроизвести прошивку?");
    EXPECT_EQ(boxes[2].kind, QtFrontend::BoxKind::OkCancel);

    EXPECT_EQ(t.sim->DataFlash(), t.calibration);
    EXPECT_TRUE(t.Has("DATA FLASH записана из файла " + backup)) << t.LogText();
    const auto runs = t.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs.back().record.mode, "keep");
    EXPECT_EQ(runs.back().record.dataSource, backup);
    EXPECT_EQ(runs.back().record.result, RunResult::Ok);

    auto* verify = t.Button("BitBtnVerify");
    ASSERT_TRUE(WaitFor([&] { return verify->isVisible(); }));
    t.sim->PowerCycle();
    t.Press("BitBtnVerify", 30000);
    EXPECT_TRUE(t.Has("Проверка после включения: сравнение DATA FLASH с " +
                      fs::path(backup).filename().string()))
        << t.LogText();
    EXPECT_TRUE(t.Has("Проверка DATA FLASH - Ok: 512 байт совпадают с записанными")) << t.LogText();
}

// No journal, an instrument in its boot ROM: the only image is data.bin. The
// question says the calibration is replaced and "Нет" is its default; "Нет"
// leaves the instrument alone.
TEST(UpdateFaceJumper, WithoutBackupTheQuestionWarnsAndDefaultsToNo) {
    SimWindow t({"--jumper"});
    t.rig.boxes.answers = {false};
    t.Press("BitBtnProshivkaVelmar");
    const auto& boxes = t.rig.boxes.boxes;
    ASSERT_EQ(boxes.size(), 1u) << t.LogText();
    EXPECT_EQ(boxes[0].kind, QtFrontend::BoxKind::YesNoDefaultNo);
    EXPECT_EQ(boxes[0].text.rfind("Устройство не определено!\n\nПроизвести прошивку?\n\n", 0), 0u)
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("data.bin"), std::string::npos);
    EXPECT_NE(boxes[0].text.find("калибровка устройства будет заменена"), std::string::npos);
    EXPECT_EQ(t.sim->DataFlash(), t.calibration);
    EXPECT_EQ(t.sim->Mode(), "bootrom");
    EXPECT_FALSE(t.LastLineRed());
    EXPECT_FALSE(t.Button("BitBtnVerify")->isVisible());
}

}  // namespace
}  // namespace zentor::gui::test

// The verification button of the update face against the simulator, and the
// restore button of the factory face against the instrument model.
#include "close_loop_panel.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <filesystem>

#include "common/files.h"
#include "common/image_key.h"
#include "gui_test_support.h"
#include "support/sim_process.h"
#include "unit/instrument/instrument_rig.h"
#include "window_rules.h"

namespace zentor::gui::test {
namespace {

namespace fs = std::filesystem;
using zentor::test::Bytes;
using zentor::test::Pattern;

bool LogHas(TFormZentorFrom_Halden& w, const char* text) {
    return Child<QPlainTextEdit>(&w, "MemoZentor")
        ->toPlainText()
        .split(QLatin1Char('\n'))
        .contains(QString::fromUtf8(text));
}

Settings QuickSettings() {
    Settings st;
    st.DopPause = 0;
    st.TypeController = 4;
    st.SizeData = 512;
    st.MaxKolReadings = 1;
    st.BaudRate = 38400;
    return st;
}

// Update, then the button: pressed while the chip still sits in its boot ROM it
// waits and is cancelled by a second press; pressed after the power cycle it
// finds the calibration in place.
TEST(CloseLoopPanel, VerifyButtonAfterAPowerCycle) {
    WindowRig rig;
    rig.WriteConfig(QuickSettings());
    Bytes program = Pattern(128, 1);
    ScrambleImage(program);
    ASSERT_TRUE(WriteFileAtomic(rig.Dir() / "prog_c.bin", program));
    const Bytes calibration = Pattern(512, 4);
    ASSERT_TRUE(WriteFileAtomic(rig.Dir() / "cal.bin", calibration));
    zentor::test::SimProcess sim({"--data-file", (rig.Dir() / "cal.bin").string(),
                                  "--data-flash-size", "512", "--baud", "38400"});

    auto w = rig.Make(WindowFace::UpdateFace, true);
    w->station().place().workDir = rig.Dir();
    w->frontend().SetConfirmHook([](const std::string&, const std::string&) {
        return UpdateChoice{"Да", UpdateMode::Keep};
    });
    auto* port = Child<QComboBox>(w.get(), "cbNamePort");
    port->addItem(QString::fromStdString(sim.DevicePath()));
    port->setCurrentIndex(port->count() - 1);
    w->show();
    auto* verify = Child<QPushButton>(w.get(), "BitBtnVerify");
    EXPECT_FALSE(verify->isVisible());

    Child<QPushButton>(w.get(), "BitBtnProshivkaVelmar")->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 60000));
    ASSERT_TRUE(WaitFor([&] { return verify->isVisible(); }))
        << Child<QPlainTextEdit>(w.get(), "MemoZentor")->toPlainText().toStdString();

    verify->click();
    EXPECT_EQ(verify->text(), QString::fromUtf8("Отменить проверку"));
    ASSERT_TRUE(WaitFor([&] { return LogHas(*w, "Ожидание ответа устройства (до 120 с) ..."); }));
    Spin(300);
    verify->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 5000));
    EXPECT_TRUE(LogHas(*w, "Проверка DATA FLASH прервана"));
    EXPECT_EQ(verify->text(), QString::fromUtf8("Проверить после включения"));

    sim.PowerCycle();
    verify->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 30000));
    EXPECT_TRUE(LogHas(*w, "Проверка DATA FLASH - Ok: 512 байт совпадают с записанными"))
        << Child<QPlainTextEdit>(w.get(), "MemoZentor")->toPlainText().toStdString();
    EXPECT_TRUE(verify->isEnabled());
}

TEST(CloseLoopPanel, RestoreFromTheBackupFolder) {
    WindowRig rig;
    Settings st = QuickSettings();
    st.NamePort = "COM3";
    rig.WriteConfig(st);
    zentor::test::FakeInstrument dev;
    dev.Attach(rig.port);
    const fs::path backup = rig.Dir() / "backup" / "14v071510_20261210-101010_data.bin";
    fs::create_directories(backup.parent_path());
    const Bytes image = Pattern(512, 6);
    ASSERT_TRUE(WriteFileAtomic(backup, image));

    auto w = rig.Make(WindowFace::FactoryFace);
    w->station().place().workDir = rig.Dir();
    w->show();
    auto* restore = Child<QPushButton>(w.get(), "BitBtnRestoreData");
    ASSERT_TRUE(restore->isVisible());
    EXPECT_FALSE(Child<QPushButton>(w.get(), "BitBtnVerify")->isVisible());
    restore->click();
    QFileDialog* dialog = w->closeLoop()->restoreDialog();
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(),
              QDir(FromPath(backup.parent_path())).canonicalPath());
    dialog->selectFile(FromPath(backup));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 20000));
    EXPECT_TRUE(LogHas(*w, "Восстановление DATA FLASH - Ok"))
        << Child<QPlainTextEdit>(w.get(), "MemoZentor")->toPlainText().toStdString();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), dev.flash.begin()));
}

// A backup of another size than the DATA FLASH (SizeData 512) is refused in
// the log before anything goes to the instrument.
TEST(CloseLoopPanel, RestoreOfAnotherSizeIsRefused) {
    WindowRig rig;
    Settings st = QuickSettings();
    st.NamePort = "COM3";
    rig.WriteConfig(st);
    zentor::test::FakeInstrument dev;
    dev.Attach(rig.port);
    const fs::path backup = rig.Dir() / "backup" / "14v071510_20261210-101010_data.bin";
    fs::create_directories(backup.parent_path());
    ASSERT_TRUE(WriteFileAtomic(backup, Pattern(256, 6)));

    auto w = rig.Make(WindowFace::FactoryFace);
    w->station().place().workDir = rig.Dir();
    w->show();
    Child<QPushButton>(w.get(), "BitBtnRestoreData")->click();
    QFileDialog* dialog = w->closeLoop()->restoreDialog();
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    dialog->selectFile(FromPath(backup));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(WaitFor([&] { return LogHas(*w, "Восстановление DATA FLASH отменено"); }, 20000))
        << Child<QPlainTextEdit>(w.get(), "MemoZentor")->toPlainText().toStdString();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_TRUE(LogHas(*w,
                       "Размер файла 14v071510_20261210-101010_data.bin (256 байт) не равен "
                       "размеру DATA FLASH устройства (512 байт, настройка \"Размер данных "
                       "(чтение), байт\")"))
        << Child<QPlainTextEdit>(w.get(), "MemoZentor")->toPlainText().toStdString();
    EXPECT_TRUE(rig.port.Writes().empty());
    EXPECT_TRUE(dev.storedPages.empty());
    EXPECT_TRUE(rig.boxes.boxes.empty());
}

// The chooser lists a backup with its whole name and, in columns of their own,
// the serial number and the time its name carries.
TEST(CloseLoopPanel, RestoreChooserShowsWholeNamesSerialAndTime) {
    WindowRig rig;
    Settings st = QuickSettings();
    st.NamePort = "COM3";
    rig.WriteConfig(st);
    const QString name = QStringLiteral("14v071510_20261210-142501-12_data.bin");
    const fs::path folder = rig.Dir() / "backup";
    fs::create_directories(folder);
    ASSERT_TRUE(WriteFileAtomic(folder / name.toStdString(), Pattern(512, 6)));

    auto w = rig.Make(WindowFace::FactoryFace);
    w->station().place().workDir = rig.Dir();
    w->show();
    Child<QPushButton>(w.get(), "BitBtnRestoreData")->click();
    QFileDialog* dialog = w->closeLoop()->restoreDialog();
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->isVisible()) << "not the detail view";
    QAbstractItemModel* model = view->model();
    QModelIndex row;
    ASSERT_TRUE(WaitFor([&] {
        for (int r = 0; r < model->rowCount(view->rootIndex()); ++r) {
            const QModelIndex i = model->index(r, 0, view->rootIndex());
            if (i.data(QFileSystemModel::FileNameRole).toString() == name) row = i;
        }
        return row.isValid();
    }));
    QApplication::processEvents();

    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString().toStdString(), "Серийный номер");
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString().toStdString(), "Время");
    EXPECT_FALSE(view->isColumnHidden(2));
    EXPECT_FALSE(view->isColumnHidden(3));
    EXPECT_EQ(row.siblingAtColumn(2).data().toString().toStdString(), "14v071510");
    EXPECT_EQ(row.siblingAtColumn(3).data().toString().toStdString(), "10.12.2026 14:25:01");

    // The name column holds the icon and the whole name, and is itself in view.
    const int needed = view->fontMetrics().horizontalAdvance(name) + view->iconSize().width();
    EXPECT_GE(view->columnWidth(0), needed);
    EXPECT_LE(view->header()->sectionViewportPosition(0) + view->columnWidth(0),
              view->viewport()->width());
    dialog->reject();
}

}  // namespace
}  // namespace zentor::gui::test

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "config/config_store.h"
#include "gui_test_support.h"
#include "settings_dialog.h"
#include "widgets.h"
#include "window_rules.h"

namespace zentor::gui::test {
namespace {

namespace fs = std::filesystem;

QSize Screen() {
    return QGuiApplication::primaryScreen()->geometry().size();
}

QStringList LogLines(TFormZentorFrom_Halden& w) {
    const QString text = Child<QPlainTextEdit>(&w, "MemoZentor")->toPlainText();
    return text.split(QLatin1Char('\n'));
}

const char* const kCommandButtons[] = {"BitBtnNasrt",    "BitBtnCompile",   "BitBtnWrite",
                                       "BitBtnReadData", "BitBtnWriteData", "BitBtnRestart",
                                       "BitBtnProg"};

TEST(MainWindowFaces, ComponentsCaptionAndPort) {
    const struct {
        WindowFace face;
        std::vector<const char*> shown;
        std::vector<const char*> hidden;
        const char* caption;
        int portsOpened;
    } cases[] = {
        {WindowFace::FactoryFace,
         {"BitBtnNasrt", "BitBtnCompile", "BitBtnWrite", "BitBtnReadData", "BitBtnWriteData",
          "BitBtnRestart", "BitBtnProg", "MemoZentor", "ProgressBar1"},
         {"paProshivkaVelmar", "paEnodeFiles", "BitBtnStop", "Button1"},
         "Zentor MSC1210Y5",
         1},
        {WindowFace::UpdateFace,
         {"paProshivkaVelmar", "Label1", "cbNamePort", "ImageUpdateCOMport", "Label4", "cbBaudRate",
          "Label8", "cbAdrPribor", "BitBtnProshivkaVelmar", "MemoZentor", "ProgressBar1"},
         {"BitBtnNasrt", "BitBtnCompile", "BitBtnWrite", "BitBtnReadData", "BitBtnWriteData",
          "BitBtnRestart", "BitBtnProg", "paEnodeFiles", "paInfo", "ImageUpdatesNow", "BitBtn1",
          "BitBtnStop", "Button1"},
         "Zentor Velmar",
         0},
        {WindowFace::EncoderFace,
         {"paEnodeFiles", "laSN", "edSN", "BitBtnEnodeFiles", "MemoZentor", "ProgressBar1"},
         {"BitBtnNasrt", "BitBtnWrite", "BitBtnReadData", "paProshivkaVelmar", "BitBtnStop"},
         "Zentor MSC1210Y5",
         0},
    };
    for (const auto& c : cases) {
        WindowRig rig;
        auto w = rig.Make(c.face);
        w->show();
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(w->objectName(), "TFormZentorFrom_Halden");
        for (const char* name : c.shown) {
            QWidget* child = Child<QWidget>(w.get(), name);
            ASSERT_NE(child, nullptr);
            EXPECT_TRUE(child->isVisible()) << name;
        }
        for (const char* name : c.hidden) {
            QWidget* child = Child<QWidget>(w.get(), name);
            ASSERT_NE(child, nullptr);
            EXPECT_FALSE(child->isVisible()) << name;
        }
        EXPECT_EQ(w->windowTitle(), QString::fromUtf8(c.caption));
        EXPECT_EQ(w->station().place().caption, c.caption);
        EXPECT_EQ(rig.opener.openCount, c.portsOpened);
        EXPECT_EQ(w->station().port != nullptr, c.portsOpened == 1);
        EXPECT_TRUE(rig.boxes.boxes.empty());
        w->close();
    }
}

TEST(MainWindowFaces, CaptionFollowsStoredType) {
    const struct {
        WindowFace face;
        int type;
        const char* caption;
    } cases[] = {
        {WindowFace::FactoryFace, 0, "Zentor MSC"},
        {WindowFace::FactoryFace, 5, "Zentor MSC"},
        {WindowFace::FactoryFace, 1, "Zentor MSC1210Y2"},
        {WindowFace::EncoderFace, 0, "Zentor MSC"},
        {WindowFace::EncoderFace, 3, "Zentor MSC1210Y4"},
        {WindowFace::UpdateFace, 1, "Zentor Velmar"},
    };
    for (const auto& c : cases) {
        WindowRig rig;
        Settings s;
        s.TypeController = c.type;
        rig.WriteConfig(s);
        auto w = rig.Make(c.face);
        EXPECT_EQ(w->windowTitle(), QString::fromUtf8(c.caption)) << c.type;
        EXPECT_EQ(w->station().place().caption, c.caption);
    }
}

TEST(MainWindowLook, FixedParts) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    auto* stop = Child<QPushButton>(w.get(), "BitBtnStop");
    EXPECT_EQ(stop->geometry(), QRect(6, 4, 369, 156));
    EXPECT_EQ(stop->font().pixelSize(), 32);
    EXPECT_TRUE(stop->font().bold());
    EXPECT_EQ(stop->palette().color(QPalette::ButtonText), QColor(Qt::red));
    EXPECT_EQ(stop->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(stop->text(), ButtonCaption(QString::fromUtf8("Остановить\n\rчтение данных")));
    auto* memo = Child<QPlainTextEdit>(w.get(), "MemoZentor");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->font().pixelSize(), 13);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    auto* update = Child<QPushButton>(w.get(), "BitBtnProshivkaVelmar");
    EXPECT_EQ(update->font().pixelSize(), 16);
    EXPECT_TRUE(update->font().bold());
    EXPECT_EQ(Child<QWidget>(w.get(), "ImageUpdateCOMport")->toolTip(),
              QString::fromUtf8("Обновить список COM-портов"));
    // The file dialog folds runs of spaces in its filter captions.
    EXPECT_EQ(w->openDialog()->nameFilters(), QStringList({QString::fromUtf8("Файл *.asm (*.asm)"),
                                                           QString::fromUtf8("Все *.* (*)")}));
    EXPECT_EQ(fs::path(w->openDialog()->directory().absolutePath().toStdString()), rig.Dir());
}

TEST(MainWindowGeometry, StoredSizeLimitedAndShownCentred) {
    WindowRig rig;
    rig.WritePosition({5000, -300, 800, 100});
    auto w = rig.Make(WindowFace::FactoryFace);
    EXPECT_EQ(w->width(), 394);
    EXPECT_EQ(w->height(), 280);
    EXPECT_EQ(w->minimumHeight(), 280);
    EXPECT_EQ(w->minimumWidth(), 394);
    EXPECT_EQ(w->maximumWidth(), 394);
    // Kept on the screen at creation...
    EXPECT_EQ(w->pos(), KeepOnScreen({5000, -300}, w->size(), Screen()));
    // ...and centred, one third down, when shown.
    w->show();
    EXPECT_EQ(w->pos(), CentreOnScreen(w->size(), Screen()));
    w->resize(394, 500);
    EXPECT_EQ(w->height(), 500);
}

TEST(MainWindowClose, PositionWrittenOnlyByTheFactoryFace) {
    const struct {
        WindowFace face;
        bool withFile;
        bool written;
    } cases[] = {
        {WindowFace::FactoryFace, false, true}, {WindowFace::FactoryFace, true, true},
        {WindowFace::UpdateFace, false, false}, {WindowFace::UpdateFace, true, false},
        {WindowFace::EncoderFace, true, false},
    };
    for (const auto& c : cases) {
        WindowRig rig;
        if (c.withFile) {
            rig.WriteConfig(Settings{});
            rig.WritePosition({10, 20, 394, 300});
        }
        const std::string before = FileText(rig.ConfigPath());
        auto w = rig.Make(c.face);
        w->show();
        w->resize(394, 333);
        w->move(40, 50);
        const std::string unchanged = FileText(rig.ConfigPath());
        ASSERT_EQ(unchanged, before);
        EXPECT_TRUE(w->close());
        EXPECT_EQ(w->station().port, nullptr);
        if (c.written) {
            Settings s;
            WindowPosition p;
            LoadConfig(rig.ConfigPath(), s, p);
            EXPECT_EQ(p.Left, w->x());
            EXPECT_EQ(p.Top, w->y());
            EXPECT_EQ(p.Width, 394);
            EXPECT_EQ(p.Height, 333);
        } else {
            EXPECT_EQ(FileText(rig.ConfigPath()), before);
        }
    }
}

TEST(MainWindowProgress, RangeSwappedAndPositionClampedOnTheBar) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    auto* bar = Child<QProgressBar>(w.get(), "ProgressBar1");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    w->frontend().SetProgressRange(10, 0);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 10);
    w->frontend().SetProgressPosition(50);
    EXPECT_EQ(bar->value(), 10);
    w->frontend().SetProgressPosition(-3);
    EXPECT_EQ(bar->value(), 0);
    // A new range above the old position pulls the position in.
    w->frontend().SetProgressPosition(7);
    w->frontend().SetProgressRange(20, 30);
    EXPECT_EQ(bar->minimum(), 20);
    EXPECT_EQ(bar->maximum(), 30);
    EXPECT_EQ(bar->value(), 20);
}

TEST(MainWindowLog, AppendDeleteAndClear) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    auto* memo = Child<QPlainTextEdit>(w.get(), "MemoZentor");
    QtFrontend& ui = w->frontend();
    ui.AppendLine("");
    ui.AppendLine("a");
    EXPECT_EQ(memo->toPlainText(), "\na");
    ui.DeleteLastLine();
    ui.AppendLine("b");
    EXPECT_EQ(memo->toPlainText(), "\nb");
    ui.DeleteLastLine();
    ui.DeleteLastLine();
    EXPECT_EQ(memo->toPlainText(), "");
    ui.DeleteLastLine();  // nothing left: harmless
    ui.AppendLine("c");
    EXPECT_EQ(memo->toPlainText(), "c");
    ui.ClearLog();
    ui.AppendLine("");
    EXPECT_EQ(memo->blockCount(), 1);
    ui.AppendLine("d");
    EXPECT_EQ(memo->toPlainText(), "\nd");
}

TEST(MainWindowReadout, TimeoutsAppendedWithoutClearing) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    w->frontend().AppendLine("earlier");
    w->station().timeouts = {0xFFFFFFFFu, 0, 1000, 0, 7};
    Child<QPushButton>(w.get(), "Button1")->click();
    EXPECT_EQ(
        LogLines(*w),
        QStringList({"earlier", "", "ReadTotalTimeoutConstant = 1000", "ReadIntervalTimeout = -1",
                     "ReadTotalTimeoutMultiplier = 0", "WriteTotalTimeoutMultiplier = 0",
                     "WriteTotalTimeoutConstant = 7", ""}));
}

TEST(UpdateFacePorts, SelectionAtCreation) {
    const struct {
        const char* namePort;
        std::vector<std::string> present;
        int baud;
        int address;
        const char* port;  // "" = no selection
        const char* baudText;
        const char* addressText;
    } cases[] = {
        {"COM3", {"COM1", "COM3"}, 19200, 63, "COM3", "19200", "63"},
        {"COM7", {"COM1", "COM3"}, 9600, 1, "COM1", "9600", "1"},  // absent: first entry
        {"com3", {"COM1", "COM3"}, 9601, 64, "COM1", "", ""},      // exact comparisons
        {"COM3", {}, 0x2580, 0, "", "9600", ""},                   // no ports at all
    };
    for (const auto& c : cases) {
        WindowRig rig;
        rig.opener.present = c.present;
        Settings s;
        s.NamePort = c.namePort;
        s.BaudRate = c.baud;
        s.AdrPribor = c.address;
        rig.WriteConfig(s);
        auto w = rig.Make(WindowFace::UpdateFace);
        SCOPED_TRACE(c.namePort);
        auto* ports = Child<QComboBox>(w.get(), "cbNamePort");
        auto* baud = Child<QComboBox>(w.get(), "cbBaudRate");
        auto* address = Child<QComboBox>(w.get(), "cbAdrPribor");
        EXPECT_EQ(ports->count(), static_cast<int>(c.present.size()));
        EXPECT_EQ(ports->currentText(), QString::fromUtf8(c.port));
        EXPECT_EQ(ports->currentIndex() < 0, *c.port == 0);
        EXPECT_EQ(baud->currentText(), QString::fromUtf8(c.baudText));
        EXPECT_EQ(address->currentText(), QString::fromUtf8(c.addressText));
        EXPECT_EQ(address->count(), 63);
        EXPECT_EQ(address->itemText(62), "63");
        EXPECT_EQ(ports->maxVisibleItems(), 9);
    }
}

TEST(UpdateFacePorts, RefreshReselectsExactlyWithoutFallBack) {
    const struct {
        const char* name;
        std::vector<std::string> atStart;
        int pick;  // index chosen before the refresh, -1 none
        std::vector<std::string> afterwards;
        const char* expected;  // "" = no selection
    } cases[] = {
        {"selected port gone", {"COM1", "COM3"}, 1, {"COM1", "COM5"}, ""},
        {"selected port still there", {"COM1", "COM3"}, 0, {"COM1", "COM2", "COM3"}, "COM1"},
        {"empty list uses the configured name", {}, -1, {"COM1", "COM3"}, "COM3"},
        {"no ports any more", {"COM3"}, 0, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.opener.present = c.atStart;
        auto w = rig.Make(WindowFace::UpdateFace);
        w->show();
        auto* ports = Child<QComboBox>(w.get(), "cbNamePort");
        auto* idle = Child<ClickableImage>(w.get(), "ImageUpdateCOMport");
        auto* busy = Child<ClickableImage>(w.get(), "ImageUpdatesNow");
        EXPECT_EQ(busy->geometry(), idle->geometry());
        if (c.pick >= 0) ports->setCurrentIndex(c.pick);
        rig.opener.present = c.afterwards;
        emit idle->clicked();
        EXPECT_EQ(ports->count(), static_cast<int>(c.afterwards.size()));
        EXPECT_EQ(ports->currentText(), QString::fromUtf8(c.expected));
        EXPECT_EQ(ports->currentIndex() < 0, *c.expected == 0);
        EXPECT_TRUE(busy->isVisible());
        EXPECT_FALSE(idle->isVisible());
        EXPECT_TRUE(WaitFor([&] { return idle->isVisible(); }, 2000));
        EXPECT_FALSE(busy->isVisible());
        EXPECT_EQ(w->station().settings().NamePort, "COM3");
    }
}

TEST(UpdateFacePorts, BusyPictureStaysAboutTwoHundredMilliseconds) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::UpdateFace);
    w->show();
    auto* idle = Child<ClickableImage>(w.get(), "ImageUpdateCOMport");
    auto* busy = Child<ClickableImage>(w.get(), "ImageUpdatesNow");
    emit idle->clicked();
    Spin(120);
    EXPECT_TRUE(busy->isVisible());
    // A click on the busy picture starts another refresh.
    emit busy->clicked();
    Spin(120);
    EXPECT_TRUE(busy->isVisible());
    EXPECT_TRUE(WaitFor([&] { return idle->isVisible() && !busy->isVisible(); }, 1000));
}

// Commands run on the worker thread: the window stays live, the command buttons and
// the settings "Да" are disabled, boxes are answered on the GUI thread.
TEST(MainWindowCommands, WorkerThreadWithMarshalledCalls) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    w->show();
    w->BitBtnNasrtClick();
    auto* settingsYes = Child<QPushButton>(w->settingsDialog(), "BitBtnYes");
    rig.boxes.answers = {false};

    std::atomic<bool> release{false};
    std::atomic<bool> asked{false};
    bool answer = true;
    Qt::HANDLE workerThread = nullptr;
    ASSERT_TRUE(w->RunCommand([&](Job& s) {
        workerThread = QThread::currentThreadId();
        s.ui.ClearLog();
        s.ui.AppendLine("первая");
        s.ui.SetProgressRange(0, 8);
        s.ui.SetProgressPosition(5);
        answer = s.ui.AskYesNo("Вопрос?", s.caption, MessageIcon::Question);
        asked = true;
        while (!release) QThread::msleep(5);
        s.ui.AppendLine("вторая");
    }));
    EXPECT_FALSE(w->RunCommand([](Job&) {}));  // one at a time
    ASSERT_TRUE(WaitFor([&] { return asked.load(); }));
    for (const char* name :
         {"BitBtnCompile", "BitBtnWrite", "BitBtnReadData", "BitBtnWriteData", "BitBtnRestart",
          "BitBtnProg", "BitBtnEnodeFiles", "BitBtnProshivkaVelmar", "Button1"})
        EXPECT_FALSE(Child<QWidget>(w.get(), name)->isEnabled()) << name;
    EXPECT_FALSE(settingsYes->isEnabled());
    EXPECT_TRUE(Child<QWidget>(w.get(), "BitBtnStop")->isEnabled());
    // Closing now would pull the port from under the command.
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());

    release = true;
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_NE(workerThread, QThread::currentThreadId());
    EXPECT_FALSE(answer);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].kind, QtFrontend::BoxKind::YesNo);
    EXPECT_EQ(rig.boxes.boxes[0].title, "Zentor MSC1210Y5");
    EXPECT_TRUE(rig.boxes.boxes[0].onGuiThread);
    EXPECT_EQ(LogLines(*w),
              QStringList(
                  {"первая",
                   QString::fromUtf8("Окно не закрыто: выполняется команда - дождитесь окончания"),
                   "вторая"}));
    auto* bar = Child<QProgressBar>(w.get(), "ProgressBar1");
    EXPECT_EQ(bar->maximum(), 8);
    EXPECT_EQ(bar->value(), 5);
    for (const char* name : kCommandButtons)
        EXPECT_TRUE(Child<QWidget>(w.get(), name)->isEnabled()) << name;
    EXPECT_TRUE(settingsYes->isEnabled());
}

TEST(MainWindowCommands, StopButtonWorksWhileACommandRuns) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    w->show();
    auto* stop = Child<QPushButton>(w.get(), "BitBtnStop");
    std::atomic<bool> stopped{false};
    ASSERT_TRUE(w->RunCommand([&](Job& s) {
        s.StopRequested = false;
        s.ui.ShowStopButton(true);
        for (int i = 0; i < 1000 && !s.StopRequested; ++i) QThread::msleep(5);
        stopped = s.StopRequested.load();
        s.ui.ShowStopButton(false);
    }));
    ASSERT_TRUE(WaitFor([&] { return stop->isVisible(); }));
    stop->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(stop->isVisible());
}

TEST(MainWindowCommands, UpdateBusyDisplay) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::UpdateFace);
    w->show();
    auto* button = Child<QPushButton>(w.get(), "BitBtnProshivkaVelmar");
    auto* info = Child<QWidget>(w.get(), "paInfo");
    std::atomic<bool> release{false};
    ASSERT_TRUE(w->RunCommand([&](Job& s) {
        s.ui.SetUpdateBusy(true);
        while (!release) QThread::msleep(5);
        s.ui.SetUpdateBusy(false);
        s.ui.SetUpdateBusy(true);  // left busy by the command: still disabled afterwards
    }));
    ASSERT_TRUE(WaitFor([&] { return info->isVisible(); }));
    EXPECT_EQ(info->geometry().topLeft(), QPoint(0, 0));
    EXPECT_FALSE(button->isEnabled());
    release = true;
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_TRUE(info->isVisible());
    EXPECT_FALSE(button->isEnabled());
    w->frontend().SetUpdateBusy(false);
    EXPECT_FALSE(info->isVisible());
    EXPECT_TRUE(button->isEnabled());
}

TEST(MainWindowCommands, ErrorEscapingACommandIsShown) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    ASSERT_TRUE(w->RunCommand([](Job&) { throw std::runtime_error("сбой"); }));
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "сбой");
    EXPECT_TRUE(Child<QWidget>(w.get(), "BitBtnReadData")->isEnabled());
}

// The buttons reach the commands with the panel's values.
// Each command button of the factory face starts its command against a silent port.
TEST(MainWindowButtons, FactoryButtonsStartTheirCommands) {
    const struct {
        const char* button;
        const char* logLine;  // a line the command leaves in the log
        bool writesToPort;
        const char* question;  // "" = none
    } cases[] = {
        {"BitBtnRestart", "Нет связи с устройством!", true, ""},
        {"BitBtnProg", "Prog - Wrong", true, ""},
        {"BitBtnReadData", "Чтение DATA FLASH ...", true, ""},
        {"BitBtnWriteData", "Невозможно открыть файл data.bin", false, ""},
        {"BitBtnWrite", "", false, "Произвести запись?"},
        {"BitBtnCompile", "Произошла ошибка компиляции", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        WindowRig rig;
        rig.boxes.answers = {false};
        auto w = rig.Make(WindowFace::FactoryFace);
        w->station().place().workDir = rig.Dir();
        w->show();
        auto* button = Child<QPushButton>(w.get(), c.button);
        button->setFocus(Qt::OtherFocusReason);
        button->click();
        EXPECT_EQ(w->focusWidget(), Child<QWidget>(w.get(), "ButtonPusto"));
        ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 30000));
        if (*c.logLine) {
            EXPECT_TRUE(LogLines(*w).contains(QString::fromUtf8(c.logLine)))
                << LogLines(*w).join(" | ").toStdString();
        }
        EXPECT_EQ(!rig.port.Writes().empty(), c.writesToPort);
        if (*c.question) {
            ASSERT_EQ(rig.boxes.boxes.size(), 1u);
            EXPECT_EQ(rig.boxes.boxes[0].text, c.question);
        } else {
            EXPECT_TRUE(rig.boxes.boxes.empty());
        }
    }
}

TEST(MainWindowButtons, UpdateButtonTakesThePanelLists) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::UpdateFace);
    w->station().place().workDir = rig.Dir();
    Child<QComboBox>(w.get(), "cbBaudRate")->setCurrentIndex(3);   // 19200
    Child<QComboBox>(w.get(), "cbAdrPribor")->setCurrentIndex(4);  // 5
    Child<QPushButton>(w.get(), "BitBtnProshivkaVelmar")->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_EQ(w->station().settings().BaudRate, 19200);
    EXPECT_EQ(w->station().settings().AdrPribor, 5);
    EXPECT_EQ(LogLines(*w).last(), QString::fromUtf8("Файл prog_c.bin не обнаружен!"));
    EXPECT_TRUE(rig.opener.opened.empty());
}

TEST(MainWindowButtons, EncodeButtonTakesTheSerialField) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::EncoderFace);
    w->station().place().workDir = rig.Dir();
    {
        std::ofstream(rig.Dir() / "prog.bin", std::ios::binary) << "PROG";
        std::ofstream(rig.Dir() / "data.bin", std::ios::binary) << "DATA";
    }
    Child<QLineEdit>(w.get(), "edSN")->setText("14v801510");
    Child<QPushButton>(w.get(), "BitBtnEnodeFiles")->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    for (const char* name : {"n.bin", "p.bin", "d.bin"})
        EXPECT_TRUE(fs::exists(rig.Dir() / name)) << name;
    EXPECT_EQ(fs::file_size(rig.Dir() / "p.bin"), 4u);
    EXPECT_TRUE(rig.opener.opened.empty());
}

}  // namespace
}  // namespace zentor::gui::test

#include "settings_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <limits>
#include <map>

#include "config/config_store.h"
#include "gui_test_support.h"
#include "widgets.h"

namespace zentor::gui::test {
namespace {

namespace fs = std::filesystem;

std::string Describe(const Settings& s) {
    return std::to_string(s.TypeController) + "|" + s.NamePort + "|" + std::to_string(s.BaudRate) +
           "|" + std::to_string(s.PauseRestart) + "|" + std::to_string(s.AdrPribor) + "|" +
           std::to_string(s.ControlWrite) + "|" + std::to_string(s.DopPause) + "|" +
           std::to_string(s.MaxKolReadings) + "|" + std::to_string(s.ShowStopButton) + "|" +
           std::to_string(s.SizeData) + "|" + s.HCR0Value + "|" + s.HCR1Value + "|" +
           s.HCR1FromFile + "|" + std::to_string(s.HCR1KeyPresent) + "|" + s.AsmFileName;
}

QComboBox* List(QWidget* d, const char* name) {
    return Child<QComboBox>(d, name);
}
QLineEdit* Edit(QWidget* d, const char* name) {
    return Child<QLineEdit>(d, name);
}

// Selected text of a list, "<none>" without a selection.
QString Selected(QWidget* d, const char* name) {
    QComboBox* list = List(d, name);
    return list->currentIndex() < 0 ? QStringLiteral("<none>") : list->currentText();
}

void PressEnter(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(target, &press);
}

void Leave(QLineEdit* edit, QWidget* next) {
    edit->setFocus(Qt::OtherFocusReason);
    next->setFocus(Qt::TabFocusReason);
    // Offscreen windows may not be active: deliver the focus change directly too.
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}

class SettingsDialogTest : public ::testing::Test {
protected:
    TfmSetings* Open(const std::function<void(Settings&)>& change = {}) {
        if (!window) {
            window = rig.Make(WindowFace::FactoryFace);
            window->show();
        }
        if (change) change(window->station().settings());
        window->BitBtnNasrtClick();
        TfmSetings* d = window->settingsDialog();
        EXPECT_NE(d, nullptr);
        return d;
    }

    WindowRig rig;
    std::unique_ptr<TFormZentorFrom_Halden> window;
};

TEST_F(SettingsDialogTest, ControlsAndCaptions) {
    TfmSetings* d = Open();
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8("Настройки"));
    EXPECT_FALSE(d->isModal());
    EXPECT_TRUE(d->isVisible());
    const std::map<const char*, QStringList> items = {
        {"cbTypeControllers", {"MSC1210Y2", "MSC1210Y3", "MSC1210Y4", "MSC1210Y5"}},
        {"cbBaudRate", {"2400", "4800", "9600", "19200", "38400"}},
        {"cbChangeHCR", {"", "Velmar M7", "Velmar M3, M5X"}},
        {"cbDopPause",
         {"0", "20", "50", "100", "150", "200", "250", "300", "400", "500", "600", "700", "800",
          "900", "1000"}},
        {"cbiMaxKolReadings", {"1", "2", "3", "4", "5"}},
        {"cbNamePort", {"COM1", "COM3"}},
    };
    for (const auto& [name, expected] : items) {
        QStringList got;
        for (int i = 0; i < List(d, name)->count(); ++i) got << List(d, name)->itemText(i);
        EXPECT_EQ(got, expected) << name;
    }
    EXPECT_EQ(List(d, "cbPauseRestart")->count(), 21);
    EXPECT_EQ(List(d, "cbPauseRestart")->itemText(20), "20");
    EXPECT_EQ(List(d, "cbAdrPribor")->count(), 63);
    EXPECT_EQ(List(d, "cbSizeData")->count(), 17);
    EXPECT_EQ(List(d, "cbSizeData")->itemText(16), "4096");
    EXPECT_EQ(Child<QCheckBox>(d, "CheckBoxControlWrite")->text(),
              QString::fromUtf8("контроль ответа при записи"));
    EXPECT_EQ(Child<QPushButton>(d, "sbAsmFileName")->toolTip(),
              QString::fromUtf8("Для изменения имени файла, нажмите даную кнопку"));
    EXPECT_EQ(Child<QWidget>(d, "ImageUpdatesNow")->geometry(),
              Child<QWidget>(d, "ImageUpdateCOMport")->geometry());
    EXPECT_EQ(Child<QWidget>(d, "ButtonPusto")->size(), QSize(0, 0));
    EXPECT_EQ(d->focusWidget(), Child<QWidget>(d, "ButtonPusto"));
    // Modeless: the main window still works, and each press makes a fresh dialog.
    window->BitBtnNasrtClick();
    EXPECT_NE(window->settingsDialog(), d);
}

TEST_F(SettingsDialogTest, SelectionsAtCreation) {
    const struct {
        const char* name;
        std::function<void(Settings&)> change;
        std::vector<std::pair<const char*, const char*>> expected;
    } cases[] = {
        {"defaults",
         {},
         {{"cbTypeControllers", "MSC1210Y5"},
          {"cbNamePort", "COM3"},
          {"cbBaudRate", "9600"},
          {"cbPauseRestart", "0"},
          {"cbDopPause", "300"},
          {"cbiMaxKolReadings", "2"},
          {"cbAdrPribor", "1"},
          {"cbSizeData", "2048"},
          {"cbChangeHCR", "Velmar M7"},
          {"edHCR0", "7D"},
          {"edHCR1", "A3"},
          {"sbAsmFileName", "1.asm"}}},
        {"values in the lists",
         [](Settings& s) {
             s.TypeController = 1;
             s.NamePort = "COM1";
             s.BaudRate = 38400;
             s.PauseRestart = 20;
             s.DopPause = 1000;
             s.MaxKolReadings = 5;
             s.AdrPribor = 63;
             s.SizeData = 4096;
             s.HCR1Value = "93";
             s.AsmFileName = "main.asm";
         },
         {{"cbTypeControllers", "MSC1210Y2"},
          {"cbNamePort", "COM1"},
          {"cbBaudRate", "38400"},
          {"cbPauseRestart", "20"},
          {"cbDopPause", "1000"},
          {"cbiMaxKolReadings", "5"},
          {"cbAdrPribor", "63"},
          {"cbSizeData", "4096"},
          {"cbChangeHCR", "Velmar M3, M5X"},
          {"sbAsmFileName", "main.asm"}}},
        {"extra pause not in the list keeps 200",
         [](Settings& s) { s.DopPause = 30; },
         {{"cbDopPause", "200"}}},
        {"data size not in the list",
         [](Settings& s) { s.SizeData = 2000; },
         {{"cbSizeData", "<none>"}}},
        {"lower-case HCR1 matches its preset but stays as written",
         [](Settings& s) { s.HCR1Value = "a3"; },
         {{"cbChangeHCR", "Velmar M7"}, {"edHCR1", "a3"}}},
        {"unknown HCR1 keeps the built-in preset row",
         [](Settings& s) { s.HCR1Value = "B3"; },
         {{"cbChangeHCR", "Velmar M3, M5X"}, {"edHCR1", "B3"}}},
        {"values outside the lists",
         [](Settings& s) {
             s.TypeController = 0;
             s.NamePort = "com3";
             s.BaudRate = 9601;
             s.AdrPribor = 64;
             s.MaxKolReadings = 6;
         },
         {{"cbTypeControllers", "<none>"},
          {"cbNamePort", "<none>"},
          {"cbBaudRate", "<none>"},
          {"cbAdrPribor", "<none>"},
          {"cbiMaxKolReadings", "<none>"}}},
        {"type 5 and no readings",
         [](Settings& s) {
             s.TypeController = 5;
             s.MaxKolReadings = 0;
         },
         {{"cbTypeControllers", "<none>"}, {"cbiMaxKolReadings", "<none>"}}},
        {"hand-edited lowest int",
         [](Settings& s) {
             s.TypeController = std::numeric_limits<int>::min();
             s.MaxKolReadings = std::numeric_limits<int>::min();
         },
         {{"cbTypeControllers", "<none>"}, {"cbiMaxKolReadings", "<none>"}}},
        {"hand-edited highest int",
         [](Settings& s) {
             s.TypeController = std::numeric_limits<int>::max();
             s.MaxKolReadings = std::numeric_limits<int>::max();
         },
         {{"cbTypeControllers", "<none>"}, {"cbiMaxKolReadings", "<none>"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TfmSetings* d = Open(c.change);
        for (const auto& [name, text] : c.expected) {
            QWidget* w = Child<QWidget>(d, name);
            QString got;
            if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                got = edit->text();
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                got = button->text();
            } else {
                got = Selected(d, name);
            }
            EXPECT_EQ(got, QString::fromUtf8(text)) << name;
        }
        d->close();
        window->station().settings() = Settings{};
    }
}

TEST_F(SettingsDialogTest, ControlWriteChecked) {
    TfmSetings* d = Open([](Settings& s) { s.ControlWrite = true; });
    EXPECT_TRUE(Child<QCheckBox>(d, "CheckBoxControlWrite")->isChecked());
}

TEST_F(SettingsDialogTest, LeavingHcr1AppliesItsRules) {
    const struct {
        const char* typed;
        const char* shown;
        const char* preset;
    } cases[] = {
        {"B3", "B3", "<none>"},
        {"a3", "A3", "Velmar M7"},
        {"93", "93", "Velmar M3, M5X"},
        {"", "", "<none>"},
    };
    for (const auto& c : cases) {
        TfmSetings* d = Open([](Settings& s) { s.HCR1Value = "B3"; });
        QLineEdit* hcr1 = Edit(d, "edHCR1");
        hcr1->setText(QString::fromUtf8(c.typed));
        Leave(hcr1, Child<QWidget>(d, "edHCR0"));
        EXPECT_EQ(hcr1->text(), QString::fromUtf8(c.shown)) << c.typed;
        EXPECT_EQ(Selected(d, "cbChangeHCR"), QString::fromUtf8(c.preset)) << c.typed;
        d->close();
    }
}

TEST_F(SettingsDialogTest, EnterInHcr1AppliesTheRulesAndKeepsTheDialogOpen) {
    TfmSetings* d = Open();
    QPointer<TfmSetings> alive(d);
    QLineEdit* hcr1 = Edit(d, "edHCR1");
    hcr1->setText("b3");
    PressEnter(hcr1);
    Spin(20);
    ASSERT_TRUE(alive);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(hcr1->text(), "B3");
    EXPECT_EQ(Selected(d, "cbChangeHCR"), "<none>");
    hcr1->setText("93");
    PressEnter(hcr1);
    EXPECT_EQ(Selected(d, "cbChangeHCR"), "Velmar M3, M5X");
    EXPECT_EQ(window->station().settings().HCR1Value, "A3");  // nothing taken over
}

TEST_F(SettingsDialogTest, LeavingHcr0OnlyRaisesTheCase) {
    TfmSetings* d = Open();
    QLineEdit* hcr0 = Edit(d, "edHCR0");
    hcr0->setText("7d");
    Leave(hcr0, Child<QWidget>(d, "edHCR1"));
    EXPECT_EQ(hcr0->text(), "7D");
    hcr0->setText("zz9");  // not checked here
    Leave(hcr0, Child<QWidget>(d, "edHCR1"));
    EXPECT_EQ(hcr0->text(), "ZZ9");
    EXPECT_EQ(Selected(d, "cbChangeHCR"), "Velmar M7");
}

TEST_F(SettingsDialogTest, PresetChangesOnlyHcr1) {
    TfmSetings* d = Open([](Settings& s) {
        s.HCR0Value = "5A";
        s.HCR1Value = "11";
    });
    QComboBox* preset = List(d, "cbChangeHCR");
    const struct {
        int row;
        const char* hcr1;
    } steps[] = {{1, "A3"}, {0, "A3"}, {2, "93"}, {0, "93"}};
    for (const auto& s : steps) {
        preset->setCurrentIndex(s.row);
        emit preset->activated(s.row);
        EXPECT_EQ(Edit(d, "edHCR1")->text(), s.hcr1) << s.row;
        EXPECT_EQ(Edit(d, "edHCR0")->text(), "5A");
    }
}

TEST_F(SettingsDialogTest, PortRefreshReselectsExactly) {
    const struct {
        const char* name;
        int pick;  // -1: no selection before the refresh
        std::vector<std::string> afterwards;
        const char* expected;
    } cases[] = {
        {"selected port gone", 0, {"COM3", "COM4"}, "<none>"},
        {"selected port still there", 1, {"COM2", "COM3"}, "COM3"},
        {"no selection uses the configured name", -1, {"COM1", "COM3"}, "COM3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rig.opener.present = {"COM1", "COM3"};
        TfmSetings* d = Open();
        QComboBox* ports = List(d, "cbNamePort");
        ports->setCurrentIndex(c.pick);
        rig.opener.present = c.afterwards;
        auto* idle = Child<ClickableImage>(d, "ImageUpdateCOMport");
        auto* busy = Child<ClickableImage>(d, "ImageUpdatesNow");
        emit idle->clicked();
        EXPECT_EQ(ports->count(), static_cast<int>(c.afterwards.size()));
        EXPECT_EQ(Selected(d, "cbNamePort"), c.expected);
        EXPECT_TRUE(busy->isVisible());
        EXPECT_TRUE(WaitFor([&] { return idle->isVisible() && !busy->isVisible(); }, 2000));
        d->close();
    }
}

TEST_F(SettingsDialogTest, AssemblerFileChosenAtOnce) {
    { std::ofstream(rig.Dir() / "main.asm") << "; source\n"; }
    TfmSetings* d = Open();
    auto* chooser = Child<QPushButton>(d, "sbAsmFileName");
    EXPECT_EQ(chooser->text(), "1.asm");
    // The file dialog is modal: answer it from inside its loop.
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QFileDialog* dialog = window->openDialog();
        if (!dialog->isVisible()) return;
        answer.stop();
        // Typed into the file name field, as a user would.
        Child<QLineEdit>(dialog, "fileNameEdit")->setText("main.asm");
        static_cast<QDialog*>(dialog)->accept();
    });
    answer.start();
    chooser->click();
    EXPECT_EQ(chooser->text(), "main.asm");
    EXPECT_EQ(window->station().settings().AsmFileName, "main.asm");
    // "Нет" keeps it in memory; nothing is saved.
    Child<QPushButton>(d, "BitBtnNo")->click();
    EXPECT_EQ(window->station().settings().AsmFileName, "main.asm");
    EXPECT_FALSE(fs::exists(rig.ConfigPath()));
}

TEST_F(SettingsDialogTest, InvalidFieldRefusedAndNothingChanges) {
    const struct {
        const char* name;
        std::function<void(TfmSetings*)> spoil;
        const char* field;
    } cases[] = {
        {"no bit rate", [](TfmSetings* d) { List(d, "cbBaudRate")->setCurrentIndex(-1); },
         "Скорость порта"},
        {"no port", [](TfmSetings* d) { List(d, "cbNamePort")->setCurrentIndex(-1); },
         "Выбор порта"},
        {"no address", [](TfmSetings* d) { List(d, "cbAdrPribor")->setCurrentIndex(-1); },
         "Адрес устройства"},
        {"no data size", [](TfmSetings* d) { List(d, "cbSizeData")->setCurrentIndex(-1); },
         "Размер данных"},
        {"HCR0 one digit", [](TfmSetings* d) { Edit(d, "edHCR0")->setText("7"); }, "HCR0"},
        {"HCR0 empty", [](TfmSetings* d) { Edit(d, "edHCR0")->setText(""); }, "HCR0"},
        {"HCR1 not hexadecimal", [](TfmSetings* d) { Edit(d, "edHCR1")->setText("G3"); }, "HCR1"},
        {"HCR1 three digits", [](TfmSetings* d) { Edit(d, "edHCR1")->setText("A30"); }, "HCR1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TfmSetings* d = Open();
        const std::string before = Describe(window->station().settings());
        const std::string file = FileText(rig.ConfigPath());
        const int opens = rig.opener.openCount;
        const std::size_t boxes = rig.boxes.boxes.size();
        // Something valid changed too: it must not be taken over either.
        List(d, "cbTypeControllers")->setCurrentIndex(0);
        List(d, "cbDopPause")->setCurrentIndex(0);
        c.spoil(d);
        Child<QPushButton>(d, "BitBtnYes")->click();
        ASSERT_EQ(rig.boxes.boxes.size(), boxes + 1);
        EXPECT_NE(rig.boxes.boxes.back().text.find(c.field), std::string::npos)
            << rig.boxes.boxes.back().text;
        EXPECT_EQ(Describe(window->station().settings()), before);
        EXPECT_EQ(FileText(rig.ConfigPath()), file);
        EXPECT_EQ(rig.opener.openCount, opens);
        EXPECT_NE(window->station().port, nullptr);
        EXPECT_EQ(window->windowTitle(), "Zentor MSC1210Y5");
        EXPECT_TRUE(d->isVisible());
        d->close();
    }
}

TEST_F(SettingsDialogTest, NoChipTypeMeansTheProgrammerLink) {
    TfmSetings* d = Open();
    List(d, "cbTypeControllers")->setCurrentIndex(-1);
    Child<QPushButton>(d, "BitBtnYes")->click();
    EXPECT_EQ(window->station().settings().TypeController, 0);
    EXPECT_EQ(window->windowTitle(), "Zentor MSC1210Y5");  // caption unchanged
    Settings s;
    WindowPosition p;
    LoadConfig(rig.ConfigPath(), s, p);
    EXPECT_EQ(s.TypeController, 0);
}

TEST_F(SettingsDialogTest, RefusedWhileACommandUsesThePort) {
    TfmSetings* d = Open();
    auto* yes = Child<QPushButton>(d, "BitBtnYes");
    std::atomic<bool> release{false};
    ASSERT_TRUE(window->RunCommand([&](Job&) {
        while (!release) QThread::msleep(5);
    }));
    EXPECT_FALSE(yes->isEnabled());
    // The port-list refresh is off too: a scan would probe the ports.
    auto* refresh = Child<QWidget>(d, "ImageUpdateCOMport");
    EXPECT_FALSE(refresh->isEnabled());
    EXPECT_FALSE(Child<QWidget>(d, "ImageUpdatesNow")->isEnabled());
    rig.opener.present = {"COM7"};
    d->ImageUpdateCOMportClick();
    EXPECT_EQ(List(d, "cbNamePort")->findText("COM7"), -1);
    const int opens = rig.opener.openCount;
    List(d, "cbTypeControllers")->setCurrentIndex(0);
    d->BitBtnYesClick();
    EXPECT_EQ(rig.opener.openCount, opens);
    EXPECT_EQ(window->station().settings().TypeController, 4);
    EXPECT_FALSE(fs::exists(rig.ConfigPath()));
    release = true;
    ASSERT_TRUE(WaitFor([&] { return !window->runner().Busy(); }));
    EXPECT_TRUE(yes->isEnabled());
    EXPECT_TRUE(refresh->isEnabled());
}

TEST_F(SettingsDialogTest, SaveFailureIsReportedAndTheDialogStays) {
    fs::create_directory(rig.ConfigPath());  // a folder where the file should be
    TfmSetings* d = Open();
    List(d, "cbTypeControllers")->setCurrentIndex(0);
    Child<QPushButton>(d, "BitBtnYes")->click();
    ASSERT_FALSE(rig.boxes.boxes.empty());
    EXPECT_EQ(rig.boxes.boxes.back().text.rfind("Unable to write to ", 0), 0u)
        << rig.boxes.boxes.back().text;
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(window->windowTitle(), "Zentor MSC1210Y5");
}

// Without a main window: the dialog shows the settings and ports it is given and
// hands "Да" the chosen settings, the fields it does not show left as they were.
TEST(SettingsDialogAloneTest, HandsTheChosenSettingsToItsOwner) {
    zentor::test::ScriptedPort port;
    zentor::test::ScriptedOpener opener{port};
    opener.present = {"COM2", "COM5"};
    Settings settings;
    settings.NamePort = "COM5";
    settings.ShowStopButton = false;
    settings.AsmFileName = "main.asm";
    std::vector<Settings> offered;
    std::vector<std::string> refused;
    bool mayClose = false;
    QWidget owner;
    QPointer<TfmSetings> d =
        new TfmSetings(owner, settings, opener,
                       {.busy = [] { return false; },
                        .fileDialog = []() -> QFileDialog* { return nullptr; },
                        .chooseAsmFile = [](const std::string&) {},
                        .refuse = [&](const std::string& problem) { refused.push_back(problem); },
                        .accept =
                            [&](const Settings& chosen) {
                                offered.push_back(chosen);
                                return mayClose;
                            }});
    d->show();
    EXPECT_EQ(Selected(d, "cbNamePort"), "COM5");
    List(d, "cbNamePort")->setCurrentIndex(0);  // COM2
    List(d, "cbBaudRate")->setCurrentIndex(4);  // 38400
    Edit(d, "edHCR0")->setText("7");
    Child<QPushButton>(d, "BitBtnYes")->click();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("HCR0"), std::string::npos) << refused[0];
    EXPECT_TRUE(offered.empty());

    Edit(d, "edHCR0")->setText("7D");
    Child<QPushButton>(d, "BitBtnYes")->click();
    ASSERT_EQ(offered.size(), 1u);
    Settings expected = settings;
    expected.NamePort = "COM2";
    expected.BaudRate = 38400;
    EXPECT_EQ(Describe(offered[0]), Describe(expected));
    EXPECT_TRUE(d->isVisible());  // the owner kept it open

    mayClose = true;
    Child<QPushButton>(d, "BitBtnYes")->click();
    EXPECT_EQ(offered.size(), 2u);
    EXPECT_TRUE(WaitFor([&] { return !d; }, 2000));
    EXPECT_EQ(opener.openCount, 0);
}

// "Да" against real serial devices: pseudo-terminals named by their paths.
class SettingsDialogPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(oldPort.path.empty());
        ASSERT_FALSE(newPort.path.empty());
        Settings s;
        s.NamePort = oldPort.path;
        s.BaudRate = 9600;
        rig.WriteConfig(s);
        window = rig.Make(WindowFace::FactoryFace, /*systemPorts=*/true);
        window->show();
        ASSERT_NE(window->station().port, nullptr);
        window->BitBtnNasrtClick();
        dialog = window->settingsDialog();
    }

    void ChoosePort(const std::string& name) {
        QComboBox* ports = List(dialog, "cbNamePort");
        ports->addItem(QString::fromStdString(name));
        ports->setCurrentIndex(ports->count() - 1);
    }

    // Whether bytes written through the session's port arrive at this terminal.
    bool ConnectedTo(Pty& pty) {
        const std::uint8_t probe[] = {'Z', '7'};
        if (!window->station().port) return false;
        window->station().port->Write(probe, sizeof probe);
        return pty.ReadMaster(2, 1000) == "Z7";
    }

    Pty oldPort;
    Pty newPort;
    WindowRig rig;
    std::unique_ptr<TFormZentorFrom_Halden> window;
    TfmSetings* dialog = nullptr;
};

TEST_F(SettingsDialogPortTest, YesTakesOverReopensSavesAndSetsTheCaption) {
    QPointer<TfmSetings> alive(dialog);
    List(dialog, "cbTypeControllers")->setCurrentIndex(0);  // MSC1210Y2
    ChoosePort(newPort.path);
    List(dialog, "cbBaudRate")->setCurrentIndex(3);  // 19200
    List(dialog, "cbDopPause")->setCurrentIndex(1);  // 20
    Edit(dialog, "edHCR1")->setText("93");
    Child<QPushButton>(dialog, "BitBtnYes")->click();
    EXPECT_TRUE(rig.boxes.boxes.empty());
    EXPECT_TRUE(WaitFor([&] { return !alive; }, 2000));  // closed and gone

    const Settings& now = window->station().settings();
    EXPECT_EQ(now.TypeController, 1);
    EXPECT_EQ(now.NamePort, newPort.path);
    EXPECT_EQ(now.BaudRate, 19200);
    EXPECT_EQ(window->windowTitle(), "Zentor MSC1210Y2");
    EXPECT_EQ(window->station().place().caption, "Zentor MSC1210Y2");
    EXPECT_TRUE(ConnectedTo(newPort));

    Settings stored;
    WindowPosition p;
    LoadConfig(rig.ConfigPath(), stored, p);
    EXPECT_EQ(stored.TypeController, 1);
    EXPECT_EQ(stored.NamePort, newPort.path);
    EXPECT_EQ(stored.BaudRate, 19200);
    EXPECT_EQ(stored.DopPause, 20);
    EXPECT_EQ(stored.HCR1Value, "93");
}

TEST_F(SettingsDialogPortTest, FailingPortPutsTheOldOneBack) {
    const std::string before = FileText(rig.ConfigPath());
    List(dialog, "cbTypeControllers")->setCurrentIndex(0);
    ChoosePort("/nonexistent/ttyZ9");
    List(dialog, "cbBaudRate")->setCurrentIndex(4);  // 38400
    Child<QPushButton>(dialog, "BitBtnYes")->click();

    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text,
              "Не могу открыть \"/nonexistent/ttyZ9\",\nтакого порта не существует.");
    EXPECT_EQ(rig.boxes.boxes[0].title, "Zentor MSC1210Y5");
    EXPECT_TRUE(dialog->isVisible());
    const Settings& now = window->station().settings();
    EXPECT_EQ(now.NamePort, oldPort.path);
    EXPECT_EQ(now.BaudRate, 9600);
    EXPECT_EQ(now.TypeController, 1);  // taken over, not saved
    EXPECT_EQ(window->windowTitle(), "Zentor MSC1210Y5");
    EXPECT_TRUE(ConnectedTo(oldPort));
    EXPECT_EQ(FileText(rig.ConfigPath()), before);
}

}  // namespace
}  // namespace zentor::gui::test

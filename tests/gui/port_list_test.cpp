// The port lists of the update face and the settings dialog: what each port is
// (as its tooltip), the usb: entries of adapters with a unique serial number, and
// a configured stable name kept, selected and saved as it was chosen.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <map>

#include "config/config_store.h"
#include "gui_test_support.h"
#include "port_watch.h"
#include "settings_dialog.h"
#include "widgets.h"

namespace zentor::gui::test {
namespace {

const char* const kById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0";

// Ports as a table; a stable name leads where `links` says.
class TableLookup final : public PortLookup {
public:
    std::map<std::string, PortDetails> ports;
    std::map<std::string, std::string> links;  // stable name -> COM name
    std::optional<PortDetails> Describe(const std::string& name) override {
        auto link = links.find(name);
        auto it = ports.find(link != links.end() ? link->second : name);
        if (it == ports.end()) return std::nullopt;
        return it->second;
    }
    std::vector<std::string> DevicesWithSerial(const std::string&) override { return {}; }
};

PortDetails Usb(const std::string& device, const std::string& serial) {
    PortDetails d;
    d.device = device;
    d.usb = true;
    d.vendorId = "0403";
    d.productId = "6001";
    d.manufacturer = "FTDI";
    d.serial = serial;
    return d;
}

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

QString Tip(const QComboBox* list, const QString& item) {
    return list->itemData(list->findText(item), Qt::ToolTipRole).toString();
}

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.opener.present = {"COM1", "COM33", "COM34", "COM35"};
        PortDetails plain;
        plain.device = "/dev/ttyS0";
        lookup.ports["COM1"] = plain;
        lookup.ports["COM33"] = Usb("/dev/ttyUSB0", "A5");
        lookup.ports["COM34"] = Usb("/dev/ttyUSB1", "DUP");
        lookup.ports["COM35"] = Usb("/dev/ttyUSB2", "DUP");
        lookup.links["usb:A5"] = "COM33";
        lookup.links[kById] = "COM33";
        rig.lookup = &lookup;
    }
    std::unique_ptr<TFormZentorFrom_Halden> Make(const std::string& namePort, WindowFace face) {
        Settings s;
        s.NamePort = namePort;
        rig.WriteConfig(s);
        return rig.Make(face);
    }

    TableLookup lookup;
    WindowRig rig;
};

TEST_F(PortListTest, EachPortTellsWhatItIsAndUniqueAdaptersGetAUsbEntry) {
    auto w = Make("COM33", WindowFace::UpdateFace);
    const int width = w->width();
    auto* ports = Child<QComboBox>(w.get(), "cbNamePort");
    EXPECT_EQ(Items(ports), QStringList({"COM1", "COM33", "usb:A5", "COM34", "COM35"}));
    EXPECT_EQ(ports->currentText(), "COM33");
    EXPECT_EQ(Tip(ports, "COM1"), "устройство: /dev/ttyS0");
    EXPECT_EQ(Tip(ports, "COM33"),
              "устройство: /dev/ttyUSB0\nUSB 0403:6001, FTDI\nсерийный номер: A5 (usb:A5)");
    EXPECT_EQ(Tip(ports, "usb:A5"),
              "сейчас: COM33\nустройство: /dev/ttyUSB0\nUSB 0403:6001, "
              "FTDI\nсерийный номер: A5 (usb:A5)");
    EXPECT_EQ(Tip(ports, "COM34"),
              "устройство: /dev/ttyUSB1\nUSB 0403:6001, FTDI\nсерийный "
              "номер: DUP (есть и у другого адаптера)");
    // The window keeps its fixed width; the drop-down may be wider than the list.
    w->show();
    EXPECT_EQ(w->width(), width);
    EXPECT_EQ(w->minimumWidth(), w->maximumWidth());
    EXPECT_GE(ports->view()->minimumWidth(), ports->width());
}

TEST_F(PortListTest, ConfiguredStableNameIsListedAfterItsPortAndSelected) {
    const struct {
        std::string namePort;
        QStringList items;
        QString selected;
    } cases[] = {
        {"usb:A5", {"COM1", "COM33", "usb:A5", "COM34", "COM35"}, "usb:A5"},
        {kById, {"COM1", "COM33", "usb:A5", kById, "COM34", "COM35"}, kById},
        // An adapter that is not plugged in: the name is not offered (first entry).
        {"usb:GONE", {"COM1", "COM33", "usb:A5", "COM34", "COM35"}, "COM1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.namePort);
        auto w = Make(c.namePort, WindowFace::UpdateFace);
        auto* ports = Child<QComboBox>(w.get(), "cbNamePort");
        EXPECT_EQ(Items(ports), c.items);
        EXPECT_EQ(ports->currentText(), c.selected);
        if (c.namePort == kById) {
            EXPECT_TRUE(Tip(ports, kById).startsWith("сейчас: COM33\n"));
        }
    }
}

TEST_F(PortListTest, RefreshKeepsAStableChoiceWhenTheAdapterMoves) {
    auto w = Make("COM1", WindowFace::UpdateFace);
    w->show();
    auto* ports = Child<QComboBox>(w.get(), "cbNamePort");
    ports->setCurrentIndex(ports->findText("usb:A5"));
    // Plugged in again, the adapter comes back as COM36.
    rig.opener.present = {"COM1", "COM36"};
    lookup.ports.erase("COM33");
    lookup.ports["COM36"] = Usb("/dev/ttyUSB3", "A5");
    lookup.links["usb:A5"] = "COM36";
    emit Child<ClickableImage>(w.get(), "ImageUpdateCOMport")->clicked();
    EXPECT_EQ(Items(ports), QStringList({"COM1", "COM36", "usb:A5"}));
    EXPECT_EQ(ports->currentText(), "usb:A5");
    EXPECT_TRUE(Tip(ports, "usb:A5").startsWith("сейчас: COM36\n"));
}

TEST_F(PortListTest, SettingsDialogSavesTheStableNameAsChosen) {
    auto w = Make("COM1", WindowFace::FactoryFace);
    w->show();
    w->BitBtnNasrtClick();
    TfmSetings* d = w->settingsDialog();
    ASSERT_NE(d, nullptr);
    auto* ports = Child<QComboBox>(d, "cbNamePort");
    EXPECT_EQ(Items(ports), QStringList({"COM1", "COM33", "usb:A5", "COM34", "COM35"}));
    EXPECT_FALSE(Tip(ports, "COM33").isEmpty());
    ports->setCurrentIndex(ports->findText("usb:A5"));
    Child<QComboBox>(d, "cbTypeControllers")->setCurrentIndex(0);
    Child<QPushButton>(d, "BitBtnYes")->click();
    // The port is opened by the name chosen, which the configuration keeps.
    ASSERT_FALSE(rig.opener.opened.empty());
    EXPECT_EQ(rig.opener.opened.back().rfind("usb:A5@", 0), 0u) << rig.opener.opened.back();
    Settings stored;
    WindowPosition p;
    LoadConfig(rig.ConfigPath(), stored, p);
    EXPECT_EQ(stored.NamePort, "usb:A5");
    EXPECT_EQ(w->station().settings().NamePort, "usb:A5");
}

// Adapters plugged in and out while the window is idle: the list follows the scan
// and the chosen entry stays chosen, listed under its name while its port is gone.
TEST_F(PortListTest, WatchFollowsAdaptersAndKeepsTheChoice) {
    auto w = Make("usb:A5", WindowFace::UpdateFace);
    w->show();
    auto* ports = Child<QComboBox>(w.get(), "cbNamePort");
    ASSERT_NE(w->portWatch(), nullptr);
    EXPECT_TRUE(w->portWatch()->timer()->isActive());
    EXPECT_EQ(w->portWatch()->timer()->interval(), kPortWatchMs);
    int changes = 0;
    QObject::connect(ports, &QComboBox::currentIndexChanged, [&] { ++changes; });

    const struct {
        const char* what;
        std::vector<std::string> present;
        QStringList items;
    } steps[] = {
        {"nothing new",
         {"COM1", "COM33", "COM34", "COM35"},
         {"COM1", "COM33", "usb:A5", "COM34", "COM35"}},
        {"an adapter appears",
         {"COM1", "COM33", "COM34", "COM35", "COM40"},
         {"COM1", "COM33", "usb:A5", "COM34", "COM35", "COM40", "usb:B7"}},
        {"the chosen adapter goes",
         {"COM1", "COM34", "COM35", "COM40"},
         {"COM1", "COM34", "COM35", "COM40", "usb:B7", "usb:A5"}},
        {"and comes back",
         {"COM1", "COM33", "COM34", "COM35"},
         {"COM1", "COM33", "usb:A5", "COM34", "COM35"}},
    };
    lookup.ports["COM40"] = Usb("/dev/ttyUSB4", "B7");
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        rig.opener.present = step.present;
        const QStringList before = Items(ports);
        EXPECT_EQ(w->portWatch()->Rescan(), before != step.items);
        EXPECT_EQ(Items(ports), step.items);
        EXPECT_EQ(ports->currentText(), "usb:A5");
        EXPECT_EQ(ports->currentData().toString(), "COM33");
    }
    EXPECT_EQ(changes, 0);
}

// No rescan while a command runs (the scan opens ports) or the drop-down is open;
// the settings dialog's list is watched the same way.
TEST_F(PortListTest, WatchWaitsForIdle) {
    zentor::test::ScriptedPort port;
    zentor::test::ScriptedOpener opener{port};
    opener.present = {"COM2", "COM5"};
    Settings settings;
    settings.NamePort = "COM5";
    bool busy = true;
    QWidget owner;
    QPointer<TfmSetings> d = new TfmSetings(owner, settings, opener,
                                            {.busy = [&] { return busy; },
                                             .fileDialog = []() -> QFileDialog* { return nullptr; },
                                             .chooseAsmFile = [](const std::string&) {},
                                             .refuse = [](const std::string&) {},
                                             .accept = [](const Settings&) { return false; }});
    d->show();
    auto* ports = Child<QComboBox>(d.data(), "cbNamePort");
    ASSERT_EQ(Items(ports), QStringList({"COM2", "COM5"}));
    ASSERT_NE(d->portWatch(), nullptr);
    opener.present = {"COM2", "COM5", "COM7"};
    EXPECT_FALSE(d->portWatch()->Rescan());
    EXPECT_EQ(Items(ports), QStringList({"COM2", "COM5"}));

    busy = false;
    ports->showPopup();
    EXPECT_FALSE(d->portWatch()->Rescan());
    ports->hidePopup();
    EXPECT_TRUE(WaitFor([&] { return Items(ports).size() == 3; }, 3 * kPortWatchMs));
    EXPECT_EQ(Items(ports), QStringList({"COM2", "COM5", "COM7"}));
    EXPECT_EQ(ports->currentText(), "COM5");
    delete d;
}

}  // namespace
}  // namespace zentor::gui::test

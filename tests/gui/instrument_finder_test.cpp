// The update panel's search button against simulated instruments linked as COM
// ports beside the window's executable: cancel, then a full search that selects
// the port, rate and address found and names the port held by another user.
#include "instrument_finder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include "gui_test_support.h"
#include "support/sim_process.h"

namespace zentor::gui::test {
namespace {

QStringList Log(TFormZentorFrom_Halden& w) {
    return Child<QPlainTextEdit>(&w, "MemoZentor")->toPlainText().split(QLatin1Char('\n'));
}

TEST(InstrumentFinder, CancelThenFindSelectsPortRateAndAddress) {
    WindowRig rig;
    Settings st;
    st.NamePort = "COM1";
    st.BaudRate = 9600;
    st.AdrPribor = 1;
    rig.WriteConfig(st);
    const std::string dir = rig.Dir().string();
    zentor::test::SimProcess held({"--link", dir, "--com", "1"});
    const int lockFd = ::open(held.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(lockFd, 0);
    ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
    zentor::test::SimProcess sim({"--link", dir, "--com", "2", "--baud", "19200", "--match-baud",
                                  "--address", "4", "--identity", "5,120,3,200"});
    auto w = rig.Make(WindowFace::UpdateFace, /*systemPorts=*/true);
    auto* port = Child<QComboBox>(w.get(), "cbNamePort");
    auto* baud = Child<QComboBox>(w.get(), "cbBaudRate");
    auto* address = Child<QComboBox>(w.get(), "cbAdrPribor");
    auto* button = Child<QToolButton>(w.get(), "BitBtnPoisk");
    auto* bar = Child<QProgressBar>(w.get(), "pbPoisk");
    ASSERT_EQ(port->currentText(), "COM1");
    ASSERT_EQ(baud->currentText(), "9600");
    EXPECT_EQ(button->parentWidget()->objectName(), "paProshivkaVelmar");
    EXPECT_FALSE(bar->isVisibleTo(w.get()));
    auto* all = Child<QCheckBox>(w.get(), "chbVseAdresa");
    EXPECT_EQ(all->parentWidget()->objectName(), "paProshivkaVelmar");
    EXPECT_FALSE(all->isChecked());

    // The quick search asks addresses 1 only: the instrument at 4 is not found.
    button->click();
    ASSERT_TRUE(w->finder()->Running());
    ASSERT_TRUE(WaitFor([&] { return !w->finder()->Running() && !w->runner().Busy(); }, 20000));
    EXPECT_EQ(Log(*w), (QStringList{QString::fromUtf8("Поиск устройства..."),
                                    QString::fromUtf8("Не могу открыть \"COM1\", порт занят."),
                                    QString::fromUtf8("Устройство не найдено")}));
    EXPECT_EQ(port->currentText(), "COM1");

    // Every address from here on.
    all->setChecked(true);
    // Cancelled: the panel keeps its choices, the update button comes back.
    button->click();
    ASSERT_TRUE(w->finder()->Running());
    EXPECT_TRUE(bar->isVisibleTo(w.get()));
    EXPECT_FALSE(all->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(w.get(), "BitBtnProshivkaVelmar")->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return bar->value() > 0; }));
    button->click();
    ASSERT_TRUE(WaitFor([&] { return !w->finder()->Running() && !w->runner().Busy(); }));
    EXPECT_TRUE(Log(*w).contains(QString::fromUtf8("Поиск остановлен")))
        << Log(*w).join("|").toStdString();
    EXPECT_EQ(port->currentText(), "COM1");
    EXPECT_FALSE(bar->isVisibleTo(w.get()));
    EXPECT_TRUE(Child<QPushButton>(w.get(), "BitBtnProshivkaVelmar")->isEnabled());

    // The whole search: 9600 is silent, 19200 answers at address 4 on COM2.
    button->click();
    ASSERT_TRUE(WaitFor([&] { return !w->finder()->Running(); }, 20000));
    EXPECT_EQ(port->currentText(), "COM2");
    EXPECT_EQ(baud->currentText(), "19200");
    EXPECT_EQ(address->currentText(), "4");
    EXPECT_EQ(Log(*w), (QStringList{QString::fromUtf8("Поиск устройства..."),
                                    QString::fromUtf8("COM2: 19200 бит/с, адрес 4, Velmar 120, "
                                                      "серийный № 05v12003200, версия 120"),
                                    QString::fromUtf8("Не могу открыть \"COM1\", порт занят.")}));
    ::close(lockFd);
}

// The adapter's usb: entry chosen on the panel stays chosen when the search finds
// the instrument on that adapter's COM port; an instrument on another port (the
// adapter's line held by another program) replaces it.
TEST(InstrumentFinder, KeepsTheStableEntryOfThePortFound) {
    class OneAdapter final : public PortLookup {
    public:
        std::optional<PortDetails> Describe(const std::string& name) override {
            if (name != "COM2" && name != "usb:SIM2") return std::nullopt;
            PortDetails d;
            d.device = "/dev/ttyUSB1";
            d.usb = true;
            d.vendorId = "0403";
            d.productId = "6001";
            d.serial = "SIM2";
            return d;
        }
        std::vector<std::string> DevicesWithSerial(const std::string&) override { return {}; }
    } lookup;
    for (const bool onAdapter : {true, false}) {
        SCOPED_TRACE(onAdapter ? "found on the adapter" : "found elsewhere");
        WindowRig rig;
        rig.lookup = &lookup;
        Settings st;
        st.NamePort = "usb:SIM2";
        rig.WriteConfig(st);
        const std::string dir = rig.Dir().string();
        // No machine's own COM1 in the search (it would be probed at every rate).
        std::filesystem::create_directories(rig.Dir() / "dosdevices");
        std::filesystem::create_symlink(rig.Dir() / "absent", rig.Dir() / "dosdevices" / "com1");
        zentor::test::SimProcess sim({"--link", dir, "--com", onAdapter ? "2" : "3"});
        // Elsewhere: the adapter's line is held by another program.
        std::optional<zentor::test::SimProcess> held;
        int lockFd = -1;
        if (!onAdapter) {
            held.emplace(std::vector<std::string>{"--link", dir, "--com", "2"});
            lockFd = ::open(held->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ASSERT_GE(lockFd, 0);
            ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
        }
        auto w = rig.Make(WindowFace::UpdateFace, /*systemPorts=*/true);
        auto* port = Child<QComboBox>(w.get(), "cbNamePort");
        ASSERT_EQ(port->currentText(), "usb:SIM2");
        Child<QComboBox>(w.get(), "cbAdrPribor")->setCurrentIndex(0);  // address 1 first
        Child<QToolButton>(w.get(), "BitBtnPoisk")->click();
        ASSERT_TRUE(WaitFor([&] { return !w->finder()->Running(); }, 30000));
        EXPECT_EQ(port->currentText(), onAdapter ? "usb:SIM2" : "COM3")
            << Log(*w).join("|").toStdString();
        if (lockFd >= 0) ::close(lockFd);
    }
}

}  // namespace
}  // namespace zentor::gui::test

// OpenComPort, CloseComPort, ScanComPorts and the texts, against scripted openers.
#include "station/com_port.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/session_rig.h"

namespace zentor {
namespace {

struct Rig : test::SessionRig {
    Rig() : test::SessionRig("com") { station.place.caption = "Zentor MSC1210Y5"; }
};

TEST(OpenComPort, EmptyNameMakesNoAttemptAndLeavesThePortAlone) {
    Rig r;
    r.station.settings.NamePort = "COM4";
    ASSERT_TRUE(OpenComPort(r.s));
    Port* held = r.s.port.get();
    r.station.settings.NamePort = "";
    EXPECT_FALSE(OpenComPort(r.s));
    EXPECT_EQ(r.opener.opened, std::vector<std::string>{"COM4@9600"});
    EXPECT_EQ(r.s.port.get(), held);
    ASSERT_EQ(r.ui.boxes.size(), 1u);
    EXPECT_EQ(r.ui.boxes[0].kind, "message");
    EXPECT_EQ(r.ui.boxes[0].text, "COM-порт не задан.");
    EXPECT_EQ(r.ui.boxes[0].title, "Zentor MSC1210Y5");
    EXPECT_EQ(r.ui.boxes[0].icon, MessageIcon::Information);
}

TEST(OpenComPort, FailuresShowOneMessageAndLeaveNoPort) {
    struct Case {
        OpenStatus status;
        int code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {OpenStatus::NotFound, 0, "Не могу открыть \"COM12\",\nтакого порта не существует."},
        {OpenStatus::Busy, 0, "Не могу открыть \"COM12\", порт занят."},
        {OpenStatus::OtherError, 31, "Не могу открыть \"COM12\", код ошибки: 31"},
        {OpenStatus::OtherError, -2147024891, "Не могу открыть \"COM12\", код ошибки: -2147024891"},
        {OpenStatus::ConfigFailed, 0, "Необходимые параметры порта \"COM12\" не установлены"},
    };
    for (const Case& c : cases) {
        Rig r;
        r.station.settings.NamePort = "COM12";
        r.station.settings.BaudRate = 38400;
        r.opener.nextStatus = c.status;
        r.opener.errorCode = c.code;
        EXPECT_FALSE(OpenComPort(r.s)) << c.text;
        EXPECT_EQ(r.opener.opened, std::vector<std::string>{"COM12@38400"});
        EXPECT_EQ(r.s.port, nullptr) << c.text;
        ASSERT_EQ(r.ui.boxes.size(), 1u) << c.text;
        EXPECT_EQ(r.ui.boxes[0].text, c.text);
        EXPECT_EQ(r.ui.boxes[0].title, "Zentor MSC1210Y5");
        EXPECT_EQ(r.ui.boxes[0].icon, MessageIcon::Information);
        EXPECT_EQ(OpenFailureText("COM12", c.status, c.code), c.text);
    }
}

TEST(OpenComPort, SuccessKeepsThePortAndItsTimeouts) {
    Rig r;
    r.port.timeouts = {7, 0, 1000, 0, 0xFFFFFFFFu};
    r.station.settings.NamePort = "COM200";
    ASSERT_TRUE(OpenComPort(r.s));
    ASSERT_NE(r.s.port, nullptr);
    EXPECT_TRUE(r.ui.boxes.empty());
    EXPECT_EQ(r.s.timeouts.ReadIntervalTimeout, 7u);
    EXPECT_EQ(r.s.timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(r.s.timeouts.WriteTotalTimeoutConstant, 0xFFFFFFFFu);
    // Opening sends, purges and reads nothing.
    EXPECT_TRUE(r.port.events.empty());
}

TEST(OpenComPort, AFailedReopenReleasesThePreviousPort) {
    Rig r;
    r.station.settings.NamePort = "COM1";
    ASSERT_TRUE(OpenComPort(r.s));
    r.opener.nextStatus = OpenStatus::Busy;
    EXPECT_FALSE(OpenComPort(r.s));
    EXPECT_EQ(r.s.port, nullptr);
    EXPECT_EQ(r.opener.closeCount, 1);
}

TEST(CloseComPort, IsHarmlessWhenRepeated) {
    Rig r;
    CloseComPort(r.s);
    EXPECT_EQ(r.s.port, nullptr);
    r.station.settings.NamePort = "COM1";
    ASSERT_TRUE(OpenComPort(r.s));
    CloseComPort(r.s);
    CloseComPort(r.s);
    EXPECT_EQ(r.s.port, nullptr);
    EXPECT_EQ(r.opener.closeCount, 1);
}

class TableOpener : public PortOpener {
public:
    std::map<std::string, OpenStatus> table;
    std::vector<std::string> probed;
    OpenResult Open(const std::string&, int) override { return OpenFailure(OpenStatus::NotFound); }
    OpenStatus Probe(const std::string& name) override {
        probed.push_back(name);
        auto it = table.find(name);
        return it == table.end() ? OpenStatus::NotFound : it->second;
    }
};

TEST(ScanComPorts, ListsFreeAndBusyPortsOneToTwoHundredFiftySix) {
    TableOpener opener;
    opener.table = {{"COM1", OpenStatus::Ok},
                    {"COM2", OpenStatus::Busy},
                    {"COM3", OpenStatus::NotFound},
                    {"COM4", OpenStatus::OtherError},
                    {"COM5", OpenStatus::ConfigFailed},
                    {"COM10", OpenStatus::Busy},
                    {"COM256", OpenStatus::Ok},
                    {"COM257", OpenStatus::Ok},
                    {"COM0", OpenStatus::Ok}};
    EXPECT_EQ(ScanComPorts(opener), (std::vector<std::string>{"COM1", "COM2", "COM10", "COM256"}));
    ASSERT_EQ(opener.probed.size(), 256u);
    for (int n = 1; n <= 256; ++n) EXPECT_EQ(opener.probed[n - 1], "COM" + std::to_string(n));

    TableOpener none;
    EXPECT_TRUE(ScanComPorts(none).empty());
}

TEST(TimeoutsReadout, SevenLinesInReadoutOrder) {
    ComTimeouts t;
    t.ReadIntervalTimeout = 0xFFFFFFFFu;
    t.ReadTotalTimeoutMultiplier = 2;
    t.ReadTotalTimeoutConstant = 1000;
    t.WriteTotalTimeoutMultiplier = 0x80000000u;
    t.WriteTotalTimeoutConstant = 5;
    EXPECT_EQ(TimeoutsReadoutLines(t), (std::vector<std::string>{
                                           "",
                                           "ReadTotalTimeoutConstant = 1000",
                                           "ReadIntervalTimeout = -1",
                                           "ReadTotalTimeoutMultiplier = 2",
                                           "WriteTotalTimeoutMultiplier = -2147483648",
                                           "WriteTotalTimeoutConstant = 5",
                                           "",
                                       }));
    EXPECT_EQ(TimeoutsReadoutLines(ComTimeouts{})[1], "ReadTotalTimeoutConstant = 0");
}

}  // namespace
}  // namespace zentor

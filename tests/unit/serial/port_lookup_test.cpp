// What the port lookup's findings become: the stable names, the description
// lines of a port list and the messages of opens that the lookup or the system
// refused. Against a table lookup: no system is read.
#include "serial/port_lookup.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "serial/system_port.h"

namespace zentor {
namespace {

class TableLookup final : public PortLookup {
public:
    std::map<std::string, PortDetails> ports;
    std::optional<PortDetails> Describe(const std::string& name) override {
        auto it = ports.find(name);
        if (it == ports.end()) return std::nullopt;
        return it->second;
    }
    std::vector<std::string> DevicesWithSerial(const std::string&) override { return {}; }
};

PortDetails Ftdi(const std::string& device, const std::string& serial) {
    PortDetails d;
    d.device = device;
    d.stableNames = {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0",
                     "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"};
    d.usb = true;
    d.vendorId = "0403";
    d.productId = "6001";
    d.manufacturer = "FTDI";
    d.product = "FT232R USB UART";
    d.serial = serial;
    return d;
}

TEST(PortNames, StableNamesAndUsbSerials) {
    struct Case {
        std::string name;
        bool stable;
        std::optional<std::string> serial;
    };
    const std::vector<Case> cases = {
        {"COM33", false, std::nullopt},
        {"/dev/ttyUSB0", false, std::nullopt},
        {"usb:A50285BI", true, "A50285BI"},
        {"usb:", true, ""},
        {"USB:A5", false, std::nullopt},
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", true, std::nullopt},
        {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", true, std::nullopt},
        {"/dev/serial/by-id/", false, std::nullopt},
        {"/tmp/x/dev/serial/by-id/usb-X", true, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsStableName(c.name), c.stable) << c.name;
        EXPECT_EQ(UsbSerialOf(c.name), c.serial) << c.name;
    }
}

TEST(DescribePorts, LinesPerPortWithUsbNamesOnlyWhereUnique) {
    TableLookup lookup;
    lookup.ports["COM33"] = Ftdi("/dev/ttyUSB0", "A50285BI");
    lookup.ports["COM34"] = Ftdi("/dev/ttyUSB1", "DUP");
    lookup.ports["COM35"] = Ftdi("/dev/ttyUSB2", "DUP");
    PortDetails plain;
    plain.device = "/dev/ttyS0";
    lookup.ports["COM1"] = plain;
    PortDetails bare;  // a USB device that tells only its ids
    bare.device = "/dev/ttyACM0";
    bare.usb = true;
    bare.vendorId = "2341";
    bare.productId = "0043";
    lookup.ports["COM65"] = bare;
    PortDetails windows;  // the device is the COM name itself
    windows.device = "COM7";
    windows.usb = true;
    windows.vendorId = "067b";
    windows.productId = "2303";
    windows.manufacturer = "Prolific";
    windows.serial = "P7";
    lookup.ports["COM7"] = windows;

    const std::vector<DescribedPort> ports =
        DescribePorts(lookup, {"COM1", "COM7", "COM33", "COM34", "COM35", "COM65", "COM99"});
    ASSERT_EQ(ports.size(), 7u);
    const std::map<std::string, std::vector<std::string>> expected = {
        {"COM1", {"устройство: /dev/ttyS0"}},
        {"COM7", {"USB 067b:2303, Prolific", "серийный номер: P7 (usb:P7)"}},
        {"COM33",
         {"устройство: /dev/ttyUSB0",
          "by-id: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
          "by-path: /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
          "USB 0403:6001, FTDI, FT232R USB UART", "серийный номер: A50285BI (usb:A50285BI)"}},
        {"COM34",
         {"устройство: /dev/ttyUSB1",
          "by-id: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_DUP-if00-port0",
          "by-path: /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
          "USB 0403:6001, FTDI, FT232R USB UART",
          "серийный номер: DUP (есть и у другого адаптера)"}},
        {"COM65", {"устройство: /dev/ttyACM0", "USB 2341:0043"}},
        {"COM99", {}},
    };
    for (const DescribedPort& port : ports) {
        auto it = expected.find(port.name);
        if (it == expected.end()) continue;
        EXPECT_EQ(PortDetailLines(port), it->second) << port.name;
    }
    EXPECT_EQ(ports[1].usbName, "usb:P7");
    EXPECT_EQ(ports[2].usbName, "usb:A50285BI");
    EXPECT_EQ(ports[3].usbName, "");
    EXPECT_EQ(ports[4].usbName, "");
    EXPECT_EQ(ports[5].usbName, "");  // no serial number
    EXPECT_FALSE(ports[6].details);
}

TEST(OpenFailureText, RefusedAndUnresolvedOpensNameWhatWasLookedFor) {
    struct Case {
        std::string name;
        OpenResult failure;
        std::string text;
    };
    std::vector<Case> cases;
    auto add = [&](std::string name, OpenStatus status, std::string device, std::string group,
                   std::vector<std::string> matches, std::string text) {
        OpenResult r = OpenFailure(status);
        r.device = std::move(device);
        r.group = std::move(group);
        r.matches = std::move(matches);
        cases.push_back({std::move(name), std::move(r), std::move(text)});
    };
    add("COM33", OpenStatus::AccessDenied, "/dev/ttyUSB0", "dialout", {},
        "Не могу открыть \"COM33\", нет прав на доступ к /dev/ttyUSB0.\n"
        "Порт открывают участники группы dialout. Добавьте себя в неё командой\n"
        "sudo usermod -aG dialout $USER\nи войдите в систему заново.");
    add("usb:A5", OpenStatus::AccessDenied, "/dev/ttyUSB3", "uucp", {},
        "Не могу открыть \"usb:A5\", нет прав на доступ к /dev/ttyUSB3.\n"
        "Порт открывают участники группы uucp. Добавьте себя в неё командой\n"
        "sudo usermod -aG uucp $USER\nи войдите в систему заново.");
    add("COM1", OpenStatus::AccessDenied, "/dev/ttyS0", "", {},
        "Не могу открыть \"COM1\", нет прав на доступ к /dev/ttyS0.\n"
        "Права устройства не дают его открыть; их даёт администратор системы "
        "(например, правилом udev).");
    add("usb:A50285BI", OpenStatus::NoSuchAdapter, "", "", {},
        "Не могу открыть \"usb:A50285BI\",\n"
        "USB-адаптер с серийным номером \"A50285BI\" не найден.");
    add("usb:DUP", OpenStatus::AmbiguousAdapter, "", "", {"/dev/ttyUSB1", "/dev/ttyUSB2"},
        "Не могу открыть \"usb:DUP\",\n"
        "USB-адаптеров с серийным номером \"DUP\" несколько: /dev/ttyUSB1, /dev/ttyUSB2.\n"
        "Укажите вместо \"usb:DUP\" один из них.");
    // The texts of the other failures stay as they were.
    add("COM12", OpenStatus::NotFound, "", "", {},
        "Не могу открыть \"COM12\",\nтакого порта не существует.");
    add("COM12", OpenStatus::Busy, "", "", {}, "Не могу открыть \"COM12\", порт занят.");
    add("COM12", OpenStatus::ConfigFailed, "", "", {},
        "Необходимые параметры порта \"COM12\" не установлены");
    for (const Case& c : cases) EXPECT_EQ(OpenFailureText(c.name, c.failure), c.text) << c.name;

    OpenResult other = OpenFailure(OpenStatus::OtherError, 21);
    EXPECT_EQ(OpenFailureText("/x", other), "Не могу открыть \"/x\", код ошибки: 21");
}

}  // namespace
}  // namespace zentor

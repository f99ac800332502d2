// The Linux port lookup on a fake sysfs and /dev tree in a scratch folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_sysfs.h"
#include "serial/sysfs_lookup.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {
namespace fs = std::filesystem;

class SysfsLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.AddUsbTty("1-2", "ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
        tree_.AddUsbTty("1-3", "ttyACM0", "2341", "0043", "Arduino (www.arduino.cc)", "",
                        "85735313233351F0F0E1");
        tree_.AddUsbTty("1-4", "ttyUSB1", "067b", "2303", "", "", std::nullopt);
        tree_.AddUsbTty("1-5", "ttyUSB2", "1a86", "7523", "", "USB Serial", "DUP");
        tree_.AddUsbTty("1-6", "ttyUSB3", "1a86", "7523", "", "USB Serial", "DUP");
        // An adapter that sysfs knows but whose node is missing from dev.
        tree_.AddUsbTty("1-7", "ttyUSB9", "0403", "6015", "FTDI", "", "NODE");
        tree_.AddTty("ttyS0", tree_.Sys() / "devices" / "platform" / "serial8250");
        for (const char* tty : {"ttyUSB0", "ttyACM0", "ttyUSB1", "ttyUSB2", "ttyUSB3", "ttyS0"})
            tree_.AddNode(tty);
        byId_ = tree_.AddLink("by-id", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
        byPath_ = tree_.AddLink("by-path", "pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB0");
        tree_.AddLink("by-id", "usb-Arduino_85735313233351F0F0E1-if00", "ttyACM0");
        // Ids above the sysfs root must never be taken for the serial port's.
        std::ofstream(scratch_ / "idVendor") << "dead\n";
        std::ofstream(scratch_ / "idProduct") << "beef\n";
        lookup_ = MakeSysfsPortLookup(scratch_ / "exe", tree_.Roots());
    }

    std::string Dev(const std::string& name) const {
        return fs::canonical(tree_.Dev() / name).string();
    }

    const test::ScratchDir scratch_{"sysfs"};
    test::FakeSysfs tree_{scratch_.path()};
    fs::path byId_, byPath_;
    std::unique_ptr<PortLookup> lookup_;
};

TEST_F(SysfsLookupTest, DescribesEachKindOfPortByEveryName) {
    struct Case {
        std::string name;
        std::string device;
        std::vector<std::string> stable;
        bool usb;
        std::string vid, pid, manufacturer, product, serial;
    };
    const std::string ftdiDevice = Dev("ttyUSB0");
    const std::vector<std::string> ftdiLinks = {byId_.string(), byPath_.string()};
    const std::vector<Case> cases = {
        {"COM33", ftdiDevice, ftdiLinks, true, "0403", "6001", "FTDI", "FT232R USB UART",
         "A50285BI"},
        // Every other name of the same adapter describes the same port.
        {"usb:A50285BI", ftdiDevice, ftdiLinks, true, "0403", "6001", "FTDI", "FT232R USB UART",
         "A50285BI"},
        {byId_.string(), ftdiDevice, ftdiLinks, true, "0403", "6001", "FTDI", "FT232R USB UART",
         "A50285BI"},
        {(tree_.Dev() / "ttyUSB0").string(), ftdiDevice, ftdiLinks, true, "0403", "6001", "FTDI",
         "FT232R USB UART", "A50285BI"},
        // CDC ACM: the USB device is the interface's parent; no product file.
        {"COM65",
         Dev("ttyACM0"),
         {(tree_.Dev() / "serial" / "by-id" / "usb-Arduino_85735313233351F0F0E1-if00").string()},
         true,
         "2341",
         "0043",
         "Arduino (www.arduino.cc)",
         "",
         "85735313233351F0F0E1"},
        // No serial number, no names, no strings: only the ids.
        {"COM34", Dev("ttyUSB1"), {}, true, "067b", "2303", "", "", ""},
        // A platform UART: nothing USB, however far up the tree is looked at.
        {"COM1", Dev("ttyS0"), {}, false, "", "", "", "", ""},
    };
    for (const Case& c : cases) {
        const std::optional<PortDetails> d = lookup_->Describe(c.name);
        ASSERT_TRUE(d) << c.name;
        EXPECT_EQ(d->device, c.device) << c.name;
        EXPECT_EQ(d->stableNames, c.stable) << c.name;
        EXPECT_EQ(d->usb, c.usb) << c.name;
        EXPECT_EQ(d->vendorId, c.vid) << c.name;
        EXPECT_EQ(d->productId, c.pid) << c.name;
        EXPECT_EQ(d->manufacturer, c.manufacturer) << c.name;
        EXPECT_EQ(d->product, c.product) << c.name;
        EXPECT_EQ(d->serial, c.serial) << c.name;
    }
}

TEST_F(SysfsLookupTest, NamesThatLeadToNoSinglePortDescribeNothing) {
    for (const std::string name : {"COM40", "COM300", "LPT1", "usb:", "usb:DUP", "usb:NOPE",
                                   "usb:a50285bi", "usb:NODE", "/nowhere/ttyUSB0"})
        EXPECT_FALSE(lookup_->Describe(name)) << name;
}

TEST_F(SysfsLookupTest, DevicesWithSerialMatchExactlyAndOnlyPresentNodes) {
    struct Case {
        std::string serial;
        std::vector<std::string> devices;
    };
    const std::vector<Case> cases = {
        {"A50285BI", {(tree_.Dev() / "ttyUSB0").string()}},
        {"DUP", {(tree_.Dev() / "ttyUSB2").string(), (tree_.Dev() / "ttyUSB3").string()}},
        {"a50285bi", {}},
        {"A50285B", {}},
        {"", {}},  // the adapter without a serial file is not matched by an empty one
        {"NODE", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lookup_->DevicesWithSerial(c.serial), c.devices) << c.serial;
}

TEST(SysfsLookup, MissingTreesDescribeDevicesOnly) {
    const test::ScratchDir scratch{"nosysfs"};
    fs::create_directories(scratch / "dev");
    std::ofstream(scratch / "dev" / "ttyUSB0").flush();
    auto lookup = MakeSysfsPortLookup(scratch / "exe", {scratch / "sys", scratch / "dev"});
    const std::optional<PortDetails> d = lookup->Describe("COM33");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->device, fs::canonical(scratch / "dev" / "ttyUSB0").string());
    EXPECT_TRUE(d->stableNames.empty());
    EXPECT_FALSE(d->usb);
    EXPECT_TRUE(lookup->DevicesWithSerial("A50285BI").empty());
}

}  // namespace
}  // namespace zentor

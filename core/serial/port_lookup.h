// What the system knows about a serial port: the device a name leads to, the
// stable names that lead there too, and what the adapter behind it is. Linux reads
// /dev/serial and sysfs; Windows asks the SetupAPI. Every call reads the system
// afresh and returns at once (no waiting, no device is opened); a name the system
// does not know, or a detail it does not give, is simply missing, never an error.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zentor {

// Names that stay with one adapter: "usb:" followed by its USB serial number.
inline constexpr const char* kUsbSerialPrefix = "usb:";

struct PortDetails {
    // The device the name leads to, links followed ("/dev/ttyUSB0"; on Windows the
    // COM name): two names of one port give the same text.
    std::string device;
    // Links under /dev/serial/by-id, then /dev/serial/by-path, that lead to it.
    std::vector<std::string> stableNames;
    // The USB device behind the port, when there is one.
    bool usb = false;
    std::string vendorId;   // four hexadecimal digits, as the device reports them
    std::string productId;  // four hexadecimal digits
    std::string manufacturer;
    std::string product;
    std::string serial;  // the adapter's serial number; empty when it has none
};

class PortLookup {
public:
    virtual ~PortLookup() = default;
    // The port a name leads to ("COM33", a device path, a by-id link, "usb:SERIAL"
    // when exactly one adapter has the number); nullopt when it leads to no device.
    virtual std::optional<PortDetails> Describe(const std::string& name) = 0;
    // The devices (COM names on Windows) of the USB adapters whose serial number
    // is exactly `serial`, in name order.
    virtual std::vector<std::string> DevicesWithSerial(const std::string& serial) = 0;
};

// A lookup that knows nothing: for ports that are not the system's (tests, training).
class NoPortLookup final : public PortLookup {
public:
    std::optional<PortDetails> Describe(const std::string&) override { return std::nullopt; }
    std::vector<std::string> DevicesWithSerial(const std::string&) override { return {}; }
};

// The system's lookup; `exeDir` as for MakeSystemPortOpener (its dosdevices links).
std::unique_ptr<PortLookup> MakeSystemPortLookup(const std::filesystem::path& exeDir);

// The serial number of a "usb:SERIAL" name; nullopt for any other name.
std::optional<std::string> UsbSerialOf(const std::string& name);
// True for a name that stays with one adapter: "usb:...", or a link under a
// /dev/serial/by-id or /dev/serial/by-path folder.
bool IsStableName(const std::string& name);

// One scanned port and what the lookup told about it.
struct DescribedPort {
    std::string name;  // the COM name of the scan
    std::optional<PortDetails> details;
    // "usb:SERIAL" when the adapter has a serial number no other listed port shares.
    std::string usbName;
};
std::vector<DescribedPort> DescribePorts(PortLookup& lookup, const std::vector<std::string>& names);

// The lines that tell what a port is, each a "label: value" text, in this order:
// the device, its by-id and by-path names, then for a USB adapter the line
// "USB vvvv:pppp, manufacturer, product" and "серийный номер ..." (with its
// "usb:" name when that is unique). Empty when nothing is known.
std::vector<std::string> PortDetailLines(const DescribedPort& port);

}  // namespace zentor

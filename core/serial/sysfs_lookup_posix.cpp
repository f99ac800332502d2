#include <algorithm>
#include <fstream>
#include <system_error>
#include <utility>

#include "serial/serial_posix.h"
#include "serial/sysfs_lookup.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

// Levels above a tty's device at which its USB device may lie: the interface
// (ttyACM) or the usb-serial port and then the interface (ttyUSB) come first.
constexpr int kUsbLevels = 4;

// The first line of a sysfs attribute, without its line end; "" when unreadable.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool IsRegularFile(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

class SysfsPortLookup final : public PortLookup {
public:
    SysfsPortLookup(fs::path exeDir, SystemRoots roots)
        : exeDir_(std::move(exeDir)), roots_(std::move(roots)) {}

    std::optional<PortDetails> Describe(const std::string& name) override {
        std::optional<fs::path> device;
        if (const std::optional<std::string> serial = UsbSerialOf(name)) {
            const std::vector<std::string> devices = DevicesWithSerial(*serial);
            if (devices.size() == 1) device = devices.front();
        } else {
            device = PosixDevicePath(exeDir_, name, roots_.dev);
        }
        if (!device) return std::nullopt;
        std::error_code ec;
        const fs::path real = fs::canonical(*device, ec);
        if (ec) return std::nullopt;
        PortDetails details;
        details.device = real.string();
        for (const char* folder : {"by-id", "by-path"}) {
            for (std::string& link : LinksTo(real, folder))
                details.stableNames.push_back(std::move(link));
        }
        if (const std::optional<fs::path> usb = UsbDeviceOf(real.filename().string())) {
            details.usb = true;
            details.vendorId = Attribute(*usb / "idVendor");
            details.productId = Attribute(*usb / "idProduct");
            details.manufacturer = Attribute(*usb / "manufacturer");
            details.product = Attribute(*usb / "product");
            details.serial = Attribute(*usb / "serial");
        }
        return details;
    }

    std::vector<std::string> DevicesWithSerial(const std::string& serial) override {
        std::vector<std::string> devices;
        if (serial.empty()) return devices;
        std::error_code ec;
        for (fs::directory_iterator it(roots_.sys / "class" / "tty", ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string tty = it->path().filename().string();
            const std::optional<fs::path> usb = UsbDeviceOf(tty);
            if (!usb || Attribute(*usb / "serial") != serial) continue;
            const fs::path device = roots_.dev / tty;
            std::error_code exists;
            if (fs::exists(device, exists)) devices.push_back(device.string());
        }
        std::sort(devices.begin(), devices.end());
        return devices;
    }

private:
    // The USB device folder (the one with idVendor and idProduct) of the tty
    // `name`; nullopt for a port with no USB device behind it.
    std::optional<fs::path> UsbDeviceOf(const std::string& name) const {
        if (name.empty()) return std::nullopt;
        std::error_code ec;
        const fs::path sys = fs::canonical(roots_.sys, ec);
        if (ec) return std::nullopt;
        fs::path at = fs::canonical(roots_.sys / "class" / "tty" / name / "device", ec);
        if (ec) return std::nullopt;
        for (int level = 0; level <= kUsbLevels; ++level) {
            if (IsRegularFile(at / "idVendor") && IsRegularFile(at / "idProduct")) return at;
            const fs::path up = at.parent_path();
            // Never up to the sysfs root or out of it.
            const fs::path inside = up.lexically_relative(sys);
            if (up == at || inside.empty() || inside == "." || *inside.begin() == "..")
                return std::nullopt;
            at = up;
        }
        return std::nullopt;
    }

    // The links in <dev>/serial/<folder> that lead to `real`, in name order.
    std::vector<std::string> LinksTo(const fs::path& real, const char* folder) const {
        std::vector<std::string> links;
        std::error_code ec;
        for (fs::directory_iterator it(roots_.dev / "serial" / folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code own;
            if (!fs::is_symlink(it->symlink_status(own))) continue;
            const fs::path target = fs::canonical(it->path(), own);
            if (!own && target == real) links.push_back(it->path().string());
        }
        std::sort(links.begin(), links.end());
        return links;
    }

    fs::path exeDir_;
    SystemRoots roots_;
};

}  // namespace

std::unique_ptr<PortLookup> MakeSysfsPortLookup(const fs::path& exeDir, SystemRoots roots) {
    return std::make_unique<SysfsPortLookup>(exeDir, std::move(roots));
}

}  // namespace zentor

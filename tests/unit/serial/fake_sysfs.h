// A small Linux device tree in a scratch folder, laid out as the kernel lays out
// /sys and /dev for serial ports: sys/devices/... with the USB device folders
// (idVendor, idProduct, manufacturer, product, serial), sys/class/tty/<name>
// linked to the tty's class folder whose `device` link leads to the port's
// device, and dev/<name> with dev/serial/by-id and dev/serial/by-path links.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "serial/sysfs_lookup.h"

namespace zentor::test {

class FakeSysfs {
public:
    explicit FakeSysfs(std::filesystem::path root) : root_(std::move(root)) {
        std::filesystem::create_directories(Sys() / "class" / "tty");
        std::filesystem::create_directories(Dev() / "serial" / "by-id");
        std::filesystem::create_directories(Dev() / "serial" / "by-path");
        // A root hub, which has ids too: the adapter nearer the tty must win.
        Attributes(Usb("usb1"), "1d6b", "0002", "Linux Foundation", "xHCI Host Controller", "");
    }

    std::filesystem::path Sys() const { return root_ / "sys"; }
    std::filesystem::path Dev() const { return root_ / "dev"; }
    SystemRoots Roots() const { return {Sys(), Dev()}; }

    // The folder of the USB device `name` ("1-2") under the root hub.
    std::filesystem::path Usb(const std::string& name) const {
        const auto hub = Sys() / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
        return name == "usb1" ? hub : hub / name;
    }

    // A USB adapter at `usb` ("1-2") with a tty `tty` ("ttyUSB0") behind its
    // interface; `serial` nullopt: the device has no serial file. Usb-serial
    // drivers put a port device between interface and tty; CDC ACM does not.
    void AddUsbTty(const std::string& usb, const std::string& tty, const std::string& vid,
                   const std::string& pid, const std::string& manufacturer,
                   const std::string& product, std::optional<std::string> serial) {
        const auto device = Usb(usb);
        Attributes(device, vid, pid, manufacturer, product, serial);
        auto port = device / (usb + ":1.0");
        if (tty.rfind("ttyUSB", 0) == 0) port /= tty;
        AddTty(tty, port);
    }

    // A tty whose `device` link leads to `device` (any folder under sys).
    void AddTty(const std::string& tty, const std::filesystem::path& device) {
        const auto classDir = device / "tty" / tty;
        std::filesystem::create_directories(classDir);
        std::filesystem::create_symlink(std::filesystem::relative(device, classDir),
                                        classDir / "device");
        std::filesystem::create_symlink(
            std::filesystem::relative(classDir, Sys() / "class" / "tty"),
            Sys() / "class" / "tty" / tty);
    }

    // dev/<tty>: a symbolic link to `target` (a pseudo-terminal), or an empty
    // regular file when `target` is empty.
    void AddNode(const std::string& tty, const std::string& target = "") const {
        if (target.empty())
            std::ofstream(Dev() / tty).flush();
        else
            std::filesystem::create_symlink(target, Dev() / tty);
    }

    // dev/serial/<folder>/<name> -> ../../<tty>, as udev makes them.
    std::filesystem::path AddLink(const std::string& folder, const std::string& name,
                                  const std::string& tty) const {
        const auto link = Dev() / "serial" / folder / name;
        std::filesystem::create_symlink(std::filesystem::path("../..") / tty, link);
        return link;
    }

private:
    static void Attributes(const std::filesystem::path& dir, const std::string& vid,
                           const std::string& pid, const std::string& manufacturer,
                           const std::string& product, std::optional<std::string> serial) {
        std::filesystem::create_directories(dir);
        auto put = [&](const char* name, const std::string& value) {
            std::ofstream(dir / name) << value << "\n";
        };
        put("idVendor", vid);
        put("idProduct", pid);
        if (!manufacturer.empty()) put("manufacturer", manufacturer);
        if (!product.empty()) put("product", product);
        if (serial) put("serial", *serial);
    }

    std::filesystem::path root_;
};

}  // namespace zentor::test

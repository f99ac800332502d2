// Linux port lookup: the device a name leads to, the links under <dev>/serial/by-id
// and <dev>/serial/by-path that lead to it, and the USB device behind it, read
// from <sys>/class/tty/<name>/device and its parents up to the one with idVendor
// (idVendor, idProduct, manufacturer, product, serial). No libudev; every call
// reads afresh and returns at once. Tests give both roots as scratch folders.
#pragma once

#include <filesystem>
#include <memory>

#include "serial/port_lookup.h"

namespace zentor {

struct SystemRoots {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";
};

// `exeDir` as for PosixDevicePath (its dosdevices links).
std::unique_ptr<PortLookup> MakeSysfsPortLookup(const std::filesystem::path& exeDir,
                                                SystemRoots roots = {});

}  // namespace zentor

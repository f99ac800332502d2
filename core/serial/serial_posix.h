// POSIX serial backend: how port names map to devices, and the opener with the
// system it reaches, which tests point at a scratch tree. Resolving a name reads
// the file system only and returns at once.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/clock.h"
#include "serial/port.h"
#include "serial/sysfs_lookup.h"

namespace zentor {

// The device opened for `name`: a path starting with "/" as it stands; "COMn"
// (n = 1..256, "com" in any letter case) through the link exeDir/dosdevices/comN
// when it exists, else COM1..32 = <dev>/ttyS0..31, COM33..64 = <dev>/ttyUSB0..31,
// COM65..96 = <dev>/ttyACM0..31. nullopt for any other name or number ("usb:"
// names are the opener's to resolve).
std::optional<std::filesystem::path> PosixDevicePath(const std::filesystem::path& exeDir,
                                                     const std::string& name,
                                                     const std::filesystem::path& dev = "/dev");

// What the opener reaches of the system.
struct PosixSystem {
    SystemRoots roots;
    // open(2) of the device (path, flags); empty: ::open. Tests make it refuse as
    // the kernel refuses a user without the rights, which root never meets.
    std::function<int(const char*, int)> open;
};

// The opener of MakeSystemPortOpener, reaching `system`. `clock` must outlive it.
std::unique_ptr<PortOpener> MakePosixPortOpener(const std::filesystem::path& exeDir, Clock& clock,
                                                PosixSystem system);

// The user-visible group of a device that refused to open: the name of the group
// that owns `device` when its members may read and write it, else "" (the group
// has no such rights, is root's, or has no name).
std::string DeviceGroupToJoin(const std::filesystem::path& device);

}  // namespace zentor

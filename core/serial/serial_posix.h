// POSIX serial backend: how port names map to devices.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zentor {

// The device opened for `name`: a path starting with "/" as it stands; "COMn"
// (n = 1..256, "com" in any letter case) through the link exeDir/dosdevices/comN
// when it exists, else COM1..32 = /dev/ttyS0..31, COM33..64 = /dev/ttyUSB0..31,
// COM65..96 = /dev/ttyACM0..31. nullopt for any other name or number.
std::optional<std::filesystem::path> PosixDevicePath(const std::filesystem::path& exeDir,
                                                     const std::string& name);

}  // namespace zentor

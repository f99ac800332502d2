// What a search tries, in which order: the ports of the scan, the bit rates of the
// settings dialog's list and the instrument addresses, most likely first.
// Pure functions apart from ScanForSearch, which makes the scan's open attempts
// (no bytes sent) and returns at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/port.h"

namespace zentor {

// The bit rates the settings dialog offers.
inline constexpr int kDialogBaudRates[] = {2400, 4800, 9600, 19200, 38400};

// `only` alone when given; else `configured` (when positive) first, then 9600,
// 19200, 38400, then the rest of the dialog's list, each rate once.
std::vector<int> BaudOrder(int configured, std::optional<int> only = std::nullopt);
// Which addresses a search asks: the quick search only the configured one and 1
// (the two an instrument is set to almost always), the full one every address.
enum class AddressScope { Quick, All };
// `only` alone when given; else `configured` (when 1..63) first, then 1 (Quick) or
// 1..63 (All), each once.
std::vector<int> AddressOrder(int configured, AddressScope scope,
                              std::optional<int> only = std::nullopt);

// The ports of the scan (COM1..COM256) split into those free to probe and those
// held by another program (or by this one).
struct ScannedPorts {
    std::vector<std::string> free;
    std::vector<std::string> busy;
};
ScannedPorts ScanForSearch(PortOpener& opener);

}  // namespace zentor

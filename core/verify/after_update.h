// What a verification after a field update compares against, taken from the
// session the update ran in. Reads files only; no port, no waits.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "station/job.h"

namespace zentor {

struct UpdateCheck {
    std::vector<std::uint8_t> expected;  // the DATA FLASH image the update wrote
    std::filesystem::path source;        // the file it came from
    std::string serial;                  // the instrument updated; empty on the jumper path
    // What brings the calibration back after a failed check: this run's backup
    // in keep mode, otherwise the image written. Empty when none is found.
    std::filesystem::path restoreFile;
};

// `dataFrom` when not empty; else the backup the update recorded in s.run (what
// it wrote in keep mode, or on the jumper path with a named image); else keep
// mode: data_rd.bin; factory mode and the jumper path: data.bin. Logs and returns nullopt when the
// file cannot be read.
std::optional<UpdateCheck> CheckAfterUpdate(Job& s, const std::filesystem::path& dataFrom = {});

}  // namespace zentor

// The runs of zentor-cli whose output is kept as golden transcripts in
// tests/golden/cli: one case per file, each a folder of its own with images,
// configuration and, for the instrument commands, a paced simulator.
//
// Placeholders in the options, filled in when a case runs:
//   {root}      the case's folder        {work}     {root}/work, the --dir folder
//   {ini}       {root}/z.ini             {port}     the simulator's device path
//   {standins}  the assembler and linker stand-ins' folder
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"

namespace zentor::test {

// The settings of the quick runs: MSC1210Y5 through its boot ROM at 115200
// bit/s, DopPause 0, one reading, 512 bytes of DATA FLASH.
Settings QuickSettings();

struct GoldenCase {
    std::string name = "";                // file name without ".txt"
    std::string about = "";               // one line at the head of the file
    Settings settings = QuickSettings();  // written to {ini}
    // The simulator's options after the common ones (115200 bit/s, 512 bytes of
    // DATA FLASH holding {root}/cal.bin, CODE FLASH from {root}/old.bin); none
    // when the case needs no simulator.
    std::optional<std::vector<std::string>> sim = std::nullopt;
    // Run a copy of zentor-cli in {root}/bin whose dosdevices folder has COM1 for
    // the simulator (sim options "--link {root}/bin --com 1") and COM2..COM96
    // pointing nowhere, so that a port scan sees this case's instrument alone.
    bool ownCopy = false;
    // Files beyond the common ones ({work}/prog.bin, prog_c.bin, data.bin).
    std::function<void(const std::filesystem::path& root)> prepare = nullptr;
    // NAME=value for the runs; PATH=... replaces the test's PATH.
    std::vector<std::string> env = {};
    // One run of zentor-cli per step, in order, on the same simulator.
    std::vector<std::vector<std::string>> steps = {};
};

std::vector<GoldenCase> CliGoldenCases();

}  // namespace zentor::test

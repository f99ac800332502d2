// The tool's side of each transcript: the action a transcript's "run" line names,
// run on a session whose port plays the device. Images are Pattern(size, seed).
//   instrument-read  size= seed=                DATA FLASH read of `size` bytes, one reading
//   instrument-write size= seed=                DATA FLASH write of `size` bytes, then restart
//   bootrom-program  type= program= data=       boot-ROM programming (controller type 1..4)
//   programmer-program program= data=           hardware-programmer programming
// Program images take seed 1, DATA FLASH images seed 2 unless seed= says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "station/job.h"
#include "support/bytes.h"
#include "support/transcript.h"

namespace zentor::test {

// Puts the case's files into the station's folder, runs its action and returns
// an empty text on success, or what went wrong.
inline std::string RunTranscriptCase(Station& station, Job& s, const Transcript& t) {
    const auto size = [&](const char* key) { return static_cast<std::size_t>(t.Number(key, 256)); };
    const auto seed = static_cast<unsigned>(t.Number("seed", 2));
    const auto put = [&](const char* name, const Bytes& bytes) {
        return WriteFileAtomic(station.place.workDir / name, bytes);
    };
    station.settings.AdrPribor = static_cast<int>(t.Number("address", 1));
    if (t.action == "instrument-read") {
        station.settings.MaxKolReadings = 1;
        std::vector<std::uint8_t> image;
        if (!ReadDataFlashImage(s, static_cast<int>(size("size")), image)) return "read failed";
        return image == Pattern(size("size"), seed) ? "" : "the image read differs";
    }
    if (t.action == "instrument-write")
        return WriteDataFlashImage(s, Pattern(size("size"), seed)) ? "" : "write failed";
    if (t.action == "bootrom-program" || t.action == "programmer-program") {
        const bool programmer = t.action == "programmer-program";
        station.settings.TypeController = programmer ? 0 : static_cast<int>(t.Number("type", 4));
        station.settings.ControlWrite = true;
        if (!put("prog.bin", Pattern(size("program"), 1)) ||
            !put("data.bin", Pattern(size("data"), seed)))
            return "cannot write the images";
        ProgramOptions options = FactoryProgramOptions();
        options.askFirst = false;
        return ProgramChip(s, options).Ok() ? "" : "programming failed";
    }
    return "unknown action " + t.action;
}

}  // namespace zentor::test

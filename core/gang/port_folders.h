// Many ports at once, what every front end shares: the port names and folders,
// the work folder's images read once, and the station each port's run is given.
//
// Port P works in <work folder>/ports/<PortFolderName(P)> (its data_rd.bin,
// backups and folder lock stay there); every run is journaled in the one
// journal of the base station. No waiting; file errors come back as text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "station/station.h"

namespace zentor {

// A port to run on, with the bit rate and address a search found there (0: the
// configured ones).
struct PortTarget {
    std::string port;
    int baud = 0;
    int address = 0;
};

// The folder name of a port: its name with every character outside [A-Za-z0-9._-]
// made '_', leading '_' dropped (e.g. "/dev/ttyUSB0" -> "dev_ttyUSB0"); "port"
// when nothing usable is left.
std::string PortFolderName(const std::string& port);

// "COM3,COM4, /dev/ttyUSB0": the names, trimmed, empty ones and repeats left out.
std::vector<std::string> SplitPortList(const std::string& list);

// The image files of a folder (prog.bin, prog_c.bin, data.bin, any case), each
// read once; an unreadable one is left out.
struct FolderImage {
    std::filesystem::path name;
    std::vector<std::uint8_t> bytes;
};
std::vector<FolderImage> ReadFolderImages(const std::filesystem::path& folder);

// Creates the port's folder and puts the images into it; image files already
// there (any case, also ones the work folder no longer has) are removed first,
// so the run finds exactly these bytes. A port folder, or the ports folder
// above it, that is a symbolic link is refused before anything in it changes
// (it could lead into another work folder). Empty on success, else what failed.
std::string PreparePortFolder(const std::filesystem::path& folder,
                              const std::vector<FolderImage>& images);

// The base station's journal: its journal path, or journal.csv of its work folder.
std::filesystem::path SharedJournalPath(const Place& base);

// The station of one port: the base one answering through `ui`, with the port's
// name, its bit rate and address where found (else the configured ones), the
// work folder <base>/ports/<PortFolderName> and the journal `journal`.
Station PortStation(const Station& base, Frontend& ui, const PortTarget& target,
                    const std::filesystem::path& journal);

}  // namespace zentor

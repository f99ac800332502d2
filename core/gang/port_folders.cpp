#include "gang/port_folders.h"

#include <algorithm>
#include <cctype>

#include "common/files.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

bool IsImageName(const fs::path& name) {
    std::string lower = name.string();
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "prog.bin" || lower == "prog_c.bin" || lower == "data.bin";
}

}  // namespace

std::string PortFolderName(const std::string& port) {
    std::string name;
    for (char ch : port) {
        const bool plain = std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '.' ||
                           ch == '_' || ch == '-';
        name += plain ? ch : '_';
    }
    const auto first = name.find_first_not_of('_');
    name = first == std::string::npos ? std::string() : name.substr(first);
    if (name.empty() || name == "." || name == "..") name = "port";
    return name;
}

std::vector<std::string> SplitPortList(const std::string& list) {
    std::vector<std::string> ports;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string name = list.substr(start, end - start);
        const auto a = name.find_first_not_of(" \t");
        const auto b = name.find_last_not_of(" \t");
        name = a == std::string::npos ? std::string() : name.substr(a, b - a + 1);
        if (!name.empty() && std::find(ports.begin(), ports.end(), name) == ports.end())
            ports.push_back(name);
        start = end + 1;
    }
    return ports;
}

std::vector<FolderImage> ReadFolderImages(const fs::path& folder) {
    std::vector<FolderImage> images;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (!e.is_regular_file(ec) || !IsImageName(e.path().filename())) continue;
        if (auto bytes = ReadWholeFile(e.path()))
            images.push_back({e.path().filename(), std::move(*bytes)});
    }
    return images;
}

std::string PreparePortFolder(const fs::path& folder, const std::vector<FolderImage>& images) {
    std::error_code ec;
    for (const fs::path& p : {folder.parent_path(), folder})
        if (fs::is_symlink(fs::symlink_status(p, ec)))
            return "not a folder of its own (a symbolic link): " + p.string();
    fs::create_directories(folder, ec);
    if (ec) return "cannot create " + folder.string() + ": " + ec.message();
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        std::error_code kindEc;
        const bool image = IsImageName(e.path().filename());
        if (image && (e.is_symlink(kindEc) || e.is_regular_file(kindEc))) fs::remove(e.path(), ec);
    }
    for (const FolderImage& image : images)
        if (!WriteFileAtomic(folder / image.name, image.bytes))
            return "cannot write " + (folder / image.name).string();
    return {};
}

fs::path SharedJournalPath(const Place& base) {
    return base.journalPath.empty() ? base.workDir / "journal.csv" : base.journalPath;
}

Station PortStation(const Station& base, Frontend& ui, const PortTarget& target,
                    const fs::path& journal) {
    Station station{ui, base.clock, base.opener, base.settings, base.place};
    station.settings.NamePort = target.port;
    if (target.baud > 0) station.settings.BaudRate = target.baud;
    if (target.address > 0) station.settings.AdrPribor = target.address;
    station.place.workDir = base.place.workDir / "ports" / PortFolderName(target.port);
    station.place.journalPath = journal;
    return station;
}

}  // namespace zentor

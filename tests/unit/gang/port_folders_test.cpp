// The shared parts of a many-port run: folder names that stay inside ports/,
// the port list as typed, each port folder holding exactly the work folder's
// images, and the station a port's run is given.
#include "gang/port_folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/files.h"
#include "support/scratch_dir.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

TEST(PortFolderName, StaysOneFolderInsidePorts) {
    const struct {
        const char* port;
        const char* folder;
    } cases[] = {
        {"COM3", "COM3"},
        {"/dev/ttyUSB0", "dev_ttyUSB0"},
        {"/dev/serial/by-id/usb-FTDI_A1-if00", "dev_serial_by-id_usb-FTDI_A1-if00"},
        {"usb:A1B2C3", "usb_A1B2C3"},
        {"\\\\.\\COM10", "._COM10"},
        {"..", "port"},
        {".", "port"},
        {"/", "port"},
        {"", "port"},
        {"порт", "port"},
    };
    for (const auto& c : cases) EXPECT_EQ(PortFolderName(c.port), c.folder) << c.port;
}

TEST(SplitPortList, TrimsAndDropsEmptyAndRepeated) {
    const struct {
        const char* list;
        std::vector<std::string> ports;
    } cases[] = {
        {"COM3,COM4, /dev/ttyUSB0", {"COM3", "COM4", "/dev/ttyUSB0"}},
        {" COM3 ,\tCOM3,COM4,", {"COM3", "COM4"}},
        {" , ,", {}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitPortList(c.list), c.ports) << c.list;
}

class PortFolderImages : public ::testing::Test {
protected:
    void Write(const fs::path& path, const Bytes& bytes) {
        fs::create_directories(path.parent_path());
        ASSERT_TRUE(WriteFileAtomic(path, bytes));
    }
    std::vector<std::string> Names(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    test::ScratchDir dir_{"gang"};
};

TEST_F(PortFolderImages, PortFolderHoldsExactlyTheWorkFoldersImages) {
    Write(dir_ / "prog.bin", {1, 2, 3});
    Write(dir_ / "Data.bin", {4, 5});
    Write(dir_ / "notes.txt", {9});
    const fs::path port = dir_ / "ports" / "COM3";
    // Left from an earlier run: an image in other case, one the work folder no
    // longer has, and the port's own files.
    Write(port / "PROG.BIN", {7, 7});
    Write(port / "prog_c.bin", {8});
    Write(port / "data_rd.bin", {6});
    Write(port / "backup" / "1v1_data.bin", {6});

    const auto images = ReadFolderImages(dir_.path());
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(PreparePortFolder(port, images), "");
    EXPECT_EQ(Names(port),
              (std::vector<std::string>{"Data.bin", "backup", "data_rd.bin", "prog.bin"}));
    EXPECT_EQ(ReadWholeFile(port / "prog.bin"), (Bytes{1, 2, 3}));
    EXPECT_EQ(ReadWholeFile(port / "Data.bin"), (Bytes{4, 5}));
    EXPECT_EQ(ReadWholeFile(port / "data_rd.bin"), (Bytes{6}));
}

// A ports folder or a port folder planted as a link into another work folder is
// refused before anything there is removed or written.
TEST_F(PortFolderImages, ALinkedPortFolderIsRefusedUntouched) {
    const fs::path other = dir_ / "other";
    Write(other / "prog.bin", {5, 5});
    const std::vector<FolderImage> images = {{"prog.bin", {1}}};
    const struct {
        const char* name;
        fs::path link;  // made a link to `other`
        fs::path port;
    } cases[] = {
        {"the port folder", dir_ / "a" / "ports" / "COM3", dir_ / "a" / "ports" / "COM3"},
        {"the ports folder", dir_ / "b" / "ports", dir_ / "b" / "ports" / "COM3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(c.link.parent_path());
        fs::create_directory_symlink(other, c.link);
        const std::string refusal = PreparePortFolder(c.port, images);
        EXPECT_NE(refusal.find("symbolic link"), std::string::npos) << refusal;
        EXPECT_EQ(ReadWholeFile(other / "prog.bin"), (Bytes{5, 5}));
    }
}

TEST_F(PortFolderImages, AFolderThatCannotBeMadeIsSaid) {
    Write(dir_ / "ports", {0});  // a file where the folder would go
    const std::string refusal = PreparePortFolder(dir_ / "ports" / "COM3", {});
    EXPECT_NE(refusal.find("cannot create"), std::string::npos) << refusal;
}

class NoPorts : public PortOpener {
public:
    OpenResult Open(const std::string&, int) override { return OpenFailure(OpenStatus::NotFound); }
    OpenStatus Probe(const std::string&) override { return OpenStatus::NotFound; }
};

TEST(PortStation, TakesThePortItsFolderAndTheSharedJournal) {
    RecordingFrontend baseUi, portUi;
    VirtualClock clock;
    NoPorts opener;
    Settings settings;
    settings.NamePort = "COM1";
    settings.BaudRate = 9600;
    settings.AdrPribor = 5;
    Place place;
    place.workDir = "/w";
    place.caption = "Zentor";
    const Station base{baseUi, clock, opener, settings, place};
    EXPECT_EQ(SharedJournalPath(base.place), fs::path("/w/journal.csv"));

    const Station found = PortStation(base, portUi, {"/dev/ttyUSB1", 38400, 7}, "/j.csv");
    EXPECT_EQ(&found.ui, &portUi);
    EXPECT_EQ(found.settings.NamePort, "/dev/ttyUSB1");
    EXPECT_EQ(found.settings.BaudRate, 38400);
    EXPECT_EQ(found.settings.AdrPribor, 7);
    EXPECT_EQ(found.place.workDir, fs::path("/w/ports/dev_ttyUSB1"));
    EXPECT_EQ(found.place.journalPath, fs::path("/j.csv"));
    EXPECT_EQ(found.place.caption, "Zentor");

    // No search: the configured bit rate and address.
    const Station typed = PortStation(base, portUi, {"COM4"}, "/j.csv");
    EXPECT_EQ(typed.settings.BaudRate, 9600);
    EXPECT_EQ(typed.settings.AdrPribor, 5);
    EXPECT_EQ(base.settings.NamePort, "COM1");
}

}  // namespace
}  // namespace zentor

#include "update/update_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "update_rig.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

// Set-aside readings in backup/, by name.
std::set<std::string> SetAside(const UpdateRig& rig) {
    std::set<std::string> out;
    for (const auto& name : rig.Listing("backup"))
        if (name.rfind("data_rd.", 0) == 0) out.insert(name);
    return out;
}

// Seven set-asides leave the newest five; calibration backups and other files in
// backup/ stay whatever their age.
TEST(SetAsideOldReading, KeepsTheNewestFiveAndNoCalibrationBackup) {
    UpdateRig rig;
    fs::create_directories(rig.dir / "backup");
    const std::string calibration = "backup/14v071510_20200101-000000_data.bin";
    const std::string other = "backup/data_rd.bin.bak";
    rig.Put(calibration, Pattern(64, 1));
    rig.Put(other, Pattern(64, 2));

    for (int run = 1; run <= 7; ++run) {
        rig.Put("data_rd.bin", Pattern(32, run));
        ASSERT_TRUE(SetAsideOldReading(rig.s)) << run;
        EXPECT_FALSE(fs::exists(rig.dir / "data_rd.bin"));
    }

    const auto aside = SetAside(rig);
    EXPECT_EQ(aside.size(), kKeptReadings + 1) << "besides data_rd.bin.bak";
    std::set<Bytes> kept;
    for (const auto& name : aside)
        if ("backup/" + name != other) kept.insert(rig.Get("backup/" + name));
    EXPECT_EQ(kept, (std::set<Bytes>{Pattern(32, 3), Pattern(32, 4), Pattern(32, 5), Pattern(32, 6),
                                     Pattern(32, 7)}));
    EXPECT_EQ(rig.Get(calibration), Pattern(64, 1));
    EXPECT_EQ(rig.Get(other), Pattern(64, 2));
    EXPECT_EQ(rig.Listing().count("data_rd.bin"), 0u);
}

// The order is by the time in the name, then by the number after it: "-10" is
// newer than "-9".
TEST(SetAsideOldReading, RemovesTheOldestByTimeAndNumber) {
    UpdateRig rig;
    fs::create_directories(rig.dir / "backup");
    rig.Put("backup/data_rd.20200101-000000-9.bak", Pattern(8, 9));
    rig.Put("backup/data_rd.20200101-000000-10.bak", Pattern(8, 10));
    for (int run = 1; run <= 4; ++run) {
        rig.Put("data_rd.bin", Pattern(8, run));
        ASSERT_TRUE(SetAsideOldReading(rig.s));
    }
    const auto aside = SetAside(rig);
    EXPECT_EQ(aside.size(), kKeptReadings);
    EXPECT_EQ(aside.count("data_rd.20200101-000000-9.bak"), 0u);
    EXPECT_EQ(aside.count("data_rd.20200101-000000-10.bak"), 1u);
    ASSERT_FALSE(rig.ui.log.empty());
    EXPECT_EQ(rig.ui.log.back().rfind(
                  "Файл data_rd.bin прежнего чтения переименован в backup/data_rd.", 0),
              0u)
        << rig.ui.log.back();
}

}  // namespace
}  // namespace zentor::test

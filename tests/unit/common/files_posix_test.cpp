// A symbolic link planted under the name of a file the tool writes into a work
// folder (data_rd.bin, prog_c.bin, a backup, a package file): the link is
// replaced by the new file and what it pointed to stays as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "common/files.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

TEST(WriteFileAtomic, ReplacesAPlantedLinkInsteadOfWritingThroughIt) {
    enum class Target { File, HardLinkedFile, Nothing };
    const struct {
        const char* what;
        Target target;
    } cases[] = {
        {"link to a file", Target::File},
        // Two names of one file are otherwise rewritten in place.
        {"link to a file with two names", Target::HardLinkedFile},
        {"link to nothing", Target::Nothing},
    };
    const Bytes calibration = {0xCA, 0x11, 0x00, 0x13};
    const Bytes reading = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir work("planted-write");
        test::ScratchDir outside("planted-write-target");
        const fs::path target = outside / "cal.bin";
        if (c.target != Target::Nothing) outside.Write("cal.bin", calibration);
        if (c.target == Target::HardLinkedFile) fs::create_hard_link(target, outside / "cal2.bin");
        fs::create_symlink(target, work / "data_rd.bin");

        ASSERT_TRUE(WriteFileAtomic(work / "data_rd.bin", reading));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(work / "data_rd.bin")));
        EXPECT_EQ(work.Read("data_rd.bin"), reading);
        if (c.target == Target::Nothing) {
            EXPECT_FALSE(fs::exists(target));
        } else {
            EXPECT_EQ(outside.Read("cal.bin"), calibration);
        }
        if (c.target == Target::HardLinkedFile) {
            EXPECT_EQ(outside.Read("cal2.bin"), calibration);
        }
    }
}

}  // namespace
}  // namespace zentor

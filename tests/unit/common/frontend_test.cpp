#include <gtest/gtest.h>

#include "common/clock.h"
#include "common/cp1251.h"
#include "common/image_key.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"

namespace zentor {
namespace {

TEST(Progress, ReversedRangeIsSwappedAndPositionClamped) {
    RecordingFrontend ui;
    ui.SetProgressRange(10, 0);
    EXPECT_EQ(ui.ProgressMin(), 0);
    EXPECT_EQ(ui.ProgressMax(), 10);
    ui.SetProgressPosition(15);
    EXPECT_EQ(ui.ProgressPosition(), 10);
    ui.SetProgressPosition(-3);
    EXPECT_EQ(ui.ProgressPosition(), 0);
    // A range that shrinks below the position pulls the position in.
    ui.SetProgressPosition(8);
    ui.SetProgressRange(0, 5);
    EXPECT_EQ(ui.ProgressPosition(), 5);
}

TEST(VirtualClockTest, SleepAdvancesAndRecords) {
    VirtualClock clock;
    clock.SleepMs(10);
    clock.SleepMs(5);
    EXPECT_EQ(clock.NowMs(), 15);
    EXPECT_EQ(clock.Sleeps(), (std::vector<int>{10, 5}));
}

TEST(Cp1251, RoundTripsRussianText) {
    const std::string text = "Настройки: Ёё №1 — «ok»";
    const std::string bytes = Utf8ToCp1251(text);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCD);  // Н
    EXPECT_EQ(Cp1251ToUtf8(bytes), text);
    EXPECT_EQ(Cp1251ToUpper(0xE0), 0xC0);          // а -> А
    EXPECT_EQ(Cp1251ToUpper(0xB8), 0xA8);          // ё -> Ё
    EXPECT_EQ(Utf8ToCp1251("\xE4\xB8\xAD"), "?");  // no Windows-1251 form
}

TEST(ImageKeyTest, ScrambleIsItsOwnInverseAndRepeatsEvery397Bytes) {
    std::vector<std::uint8_t> data(900, 0);
    ScrambleImage(data);
    EXPECT_EQ(data[0], ImageKey[0]);
    EXPECT_EQ(data[397], ImageKey[0]);
    EXPECT_EQ(data[800], ImageKey[800 % 397]);
    ScrambleImage(data);
    EXPECT_EQ(data, std::vector<std::uint8_t>(900, 0));
}

}  // namespace
}  // namespace zentor

#include <filesystem>
#include <fstream>

#include "common/files.h"
#include "support/scratch_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zentor {
namespace {

TEST(Files, ReadWholeFileRefusesFoldersAndMissingFiles) {
    const test::ScratchDir scratch("files");
    const auto& dir = scratch.path();
    std::filesystem::create_directories(dir / "sub");
    EXPECT_FALSE(ReadWholeFile(dir / "sub").has_value());
    EXPECT_FALSE(ReadWholeFile(dir / "missing.bin").has_value());
    { std::ofstream(dir / "Prog.BIN", std::ios::binary) << "abc"; }
    auto data = ReadWholeFile(ResolveNoCase(dir, "prog.bin"));
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->size(), 3u);
}

TEST(Files, AtomicWriteReplacesWholeFileAndFailsCleanly) {
    const test::ScratchDir scratch("atomic");
    const auto& dir = scratch.path();
    const std::vector<std::uint8_t> a(1000, 0xAA), b(10, 0xBB);
    ASSERT_TRUE(WriteFileAtomic(dir / "x.bin", a));
    ASSERT_TRUE(WriteFileAtomic(dir / "x.bin", b));
    EXPECT_EQ(*ReadWholeFile(dir / "x.bin"), b);
    // A parent that is a file cannot hold the target: the old file stays intact.
    EXPECT_FALSE(WriteFileAtomic(dir / "x.bin" / "y.bin", a));
    EXPECT_EQ(*ReadWholeFile(dir / "x.bin"), b);
}

#ifndef _WIN32
// A writer that is neither root nor the owner cannot hand a replacement to the
// owner: the file is rewritten where it is and stays the owner's.
TEST(Files, WriterThatCannotKeepTheOwnerRewritesInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const test::ScratchDir scratch("owner");
    const auto file = scratch.path() / "shared.bin";
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0777), 0);
    ASSERT_TRUE(WriteFileAtomic(file, std::vector<std::uint8_t>(100, 1)));
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);

    const std::vector<std::uint8_t> next(10, 2);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && WriteFileAtomic(file, next) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_EQ(*ReadWholeFile(file), next);
}
#endif

}  // namespace
}  // namespace zentor

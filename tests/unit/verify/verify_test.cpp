// Verification and restore against the instrument model, in virtual time.
#include "verify/verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/recording_frontend.h"
#include "unit/verify/verify_rig.h"
#include "verify/after_update.h"
#include "verify/restore.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

TEST(CompareImages, FirstOffsetAndCount) {
    const struct {
        Bytes expected, actual;
        std::size_t first, count;
    } cases[] = {
        {{1, 2, 3}, {1, 2, 3}, 0, 0},
        {{1, 2, 3}, {9, 2, 3}, 0, 1},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4, 0, 6, 7, 8, 0}, 5, 2},
        {{1, 2, 3, 4}, {1, 2}, 2, 2},  // missing bytes count
    };
    for (const auto& c : cases) {
        const Difference d = CompareImages(c.expected, c.actual);
        EXPECT_EQ(d.count, c.count);
        if (c.count) {
            EXPECT_EQ(d.first, c.first);
        }
    }
}

TEST(BackupNames, SerialFromTheName) {
    const struct {
        const char* name;
        const char* serial;  // "" for none
    } cases[] = {
        {"14v071510_20261210-132501_data.bin", "14v071510"},
        {"backup/05v12003200_20261210-132501-2_data.bin", "05v12003200"},
        {"123v255255255_20261210-132501_data.bin", "123v255255255"},
        {"14V071510_20261210-132501_DATA.BIN", "14v071510"},
        {"data.bin", ""},
        {"14v071510_20261210_data.bin", ""},
        {"14v0715_20261210-132501_data.bin", ""},
        {"14v071510_20261210-132501_data.bin.bak", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BackupSerial(c.name).value_or(""), c.serial);
    }
}

TEST(BackupNames, NewestOfTheSerial) {
    VerifyRig r;
    fs::create_directories(r.File("backup"));
    for (const char* name :
         {"14v071510_20261210-101010_data.bin", "14v071510_20261211-090000_data.bin",
          "14v071510_20261211-090000-2_data.bin", "14v071511_20271211-090000_data.bin",
          "14v071510_20261209-235959_data.bin"})
        r.Put(fs::path("backup") / name, {1});
    EXPECT_EQ(NewestBackup(r.dir.path(), "14v071510")->filename(),
              "14v071510_20261211-090000-2_data.bin");
    EXPECT_FALSE(NewestBackup(r.dir.path(), "99v999999"));
}

// Polls start about a second apart and none starts at or after the deadline.
TEST(WaitForInstrument, PollsOnceASecondUntilTheDeadline) {
    const struct {
        int seconds, silent;
        WaitEnd end;
        int polls;
        std::int64_t elapsedMs;
    } cases[] = {
        {5, 100, WaitEnd::TimedOut, 5, 5000},
        {0, 100, WaitEnd::TimedOut, 1, 1000},
        {5, 2, WaitEnd::Answered, 3, 2000},
        {5, 0, WaitEnd::Answered, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds * 1000 + c.silent);
        VerifyRig r;
        r.silentPolls = c.silent;
        const std::int64_t start = r.clock.NowMs();
        EXPECT_EQ(WaitForInstrument(r.s, c.seconds), c.end);
        EXPECT_EQ(r.identifications, c.polls);
        // Answered polls also cost their exchange time, well below a second.
        EXPECT_GE(r.clock.NowMs() - start, c.elapsedMs);
        EXPECT_LT(r.clock.NowMs() - start, c.elapsedMs + 500);
        EXPECT_EQ(Logged(r.ui, "Устройство не ответило за"), c.end == WaitEnd::TimedOut);
    }
}

TEST(WaitForInstrument, StopEndsTheWait) {
    VerifyRig r;
    r.silentPolls = 100;
    r.dev.onFrame = [&](const Bytes& w) {
        if (IsIdentification(w) && ++r.identifications == 2) r.s.StopRequested = true;
    };
    VerifyRequest request{Pattern(512, 1), "", 60, "", "", ""};
    EXPECT_EQ(VerifyDataFlash(r.s, request).outcome, VerifyOutcome::Stopped);
    EXPECT_EQ(r.identifications, 2);
    EXPECT_LT(r.clock.NowMs(), 3000);
    EXPECT_EQ(r.PagesRead(), 0);
    EXPECT_FALSE(r.s.StopRequested);
}

TEST(VerifyDataFlash, VerdictsAgainstTheModel) {
    Bytes changed = Pattern(2048, 0);
    changed[300] ^= 1;
    changed[777] ^= 0xFF;
    const struct {
        const char* name;
        Bytes expected;
        std::string serial;
        VerifyOutcome outcome;
        std::size_t first, count;
        int pages;
    } cases[] = {
        {"equal", Pattern(2048, 0), "14v071510", VerifyOutcome::Equal, 0, 0, 8},
        {"different", changed, "14v071510", VerifyOutcome::Different, 300, 2, 8},
        {"part page", Bytes(changed.begin(), changed.begin() + 1000), "", VerifyOutcome::Different,
         300, 2, 4},
        {"other serial", Pattern(2048, 0), "14v071511", VerifyOutcome::OtherSerial, 0, 0, 0},
        {"nothing", {}, "", VerifyOutcome::BadImage, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VerifyRig r;
        r.station.settings.MaxKolReadings = 2;
        const VerifyReport report =
            VerifyDataFlash(r.s, {c.expected, c.serial, 10, "RESTORE-LINE", "", ""});
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(report.difference.first, c.first);
        EXPECT_EQ(report.difference.count, c.count);
        EXPECT_EQ(r.PagesRead(), c.pages * (c.pages ? 2 : 0));  // two readings
        EXPECT_EQ(r.ui.history.back(), c.outcome == VerifyOutcome::Different
                                           ? "Восстановление: RESTORE-LINE"
                                           : report.verdict);
        if (c.outcome == VerifyOutcome::Different) {
            EXPECT_NE(report.verdict.find("смещению 300 (012Ch), различных байт 2"),
                      std::string::npos)
                << report.verdict;
        }
        EXPECT_EQ(r.dev.restarts, 0);
        EXPECT_TRUE(r.dev.storedPages.empty());
    }
}

TEST(VerifyDataFlash, ReadFailureIsNoVerdictOfEquality) {
    VerifyRig r;
    r.dev.status = [](int page) { return page == 2 ? 1 : 0; };
    EXPECT_EQ(VerifyDataFlash(r.s, {Pattern(2048, 0), "", 10, "", "", ""}).outcome,
              VerifyOutcome::ReadFailed);
}

TEST(CheckAfterUpdate, ImageByMode) {
    VerifyRig r;
    r.Put("data_rd.bin", Pattern(512, 1));
    r.Put("data.bin", Pattern(256, 2));
    fs::create_directories(r.File("backup"));
    r.Put(fs::path("backup") / "14v071510_20261210-101010_data.bin", Pattern(512, 1));
    r.s.SerialText = "14v071510";

    r.s.UpdateMode = UpdateMode::Keep;
    auto keep = CheckAfterUpdate(r.s);
    ASSERT_TRUE(keep);
    EXPECT_EQ(keep->expected, Pattern(512, 1));
    EXPECT_EQ(keep->serial, "14v071510");
    EXPECT_EQ(keep->restoreFile.filename(), "14v071510_20261210-101010_data.bin");

    r.s.UpdateMode = UpdateMode::Factory;
    auto factory = CheckAfterUpdate(r.s);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->expected, Pattern(256, 2));
    EXPECT_EQ(factory->restoreFile.filename(), "data.bin");

    r.s.UpdateMode = UpdateMode::None;  // jumper path: nobody was identified
    auto jumper = CheckAfterUpdate(r.s);
    ASSERT_TRUE(jumper);
    EXPECT_EQ(jumper->serial, "");
    EXPECT_EQ(jumper->expected, Pattern(256, 2));

    r.Put("other.bin", Pattern(1024, 3));
    EXPECT_EQ(CheckAfterUpdate(r.s, r.File("other.bin"))->expected, Pattern(1024, 3));
}

struct RestoreCase {
    const char* name;
    std::string file;
    std::size_t size;
    bool force;
    std::deque<bool> answers;  // to the mismatch question (asked when not forced)
    RestoreOutcome outcome;
};

TEST(RestoreDataFlash, SerialCheckSizeCheckAndReadBack) {
    const RestoreCase cases[] = {
        {"own backup",
         "14v071510_20261210-101010_data.bin",
         2048,
         false,
         {},
         RestoreOutcome::Equal},
        {"other serial",
         "14v071511_20261210-101010_data.bin",
         2048,
         false,
         {false},
         RestoreOutcome::Refused},
        {"other serial, answered yes",
         "14v071511_20261210-101010_data.bin",
         2048,
         false,
         {true},
         RestoreOutcome::Equal},
        {"other serial, forced",
         "14v071511_20261210-101010_data.bin",
         2048,
         true,
         {},
         RestoreOutcome::Equal},
        {"no serial in the name", "cal.bin", 2048, false, {false}, RestoreOutcome::Refused},
        {"part page",
         "14v071510_20261210-101010_data.bin",
         1000,
         false,
         {},
         RestoreOutcome::Refused},
        {"too large",
         "14v071510_20261210-101010_data.bin",
         65792,
         true,
         {},
         RestoreOutcome::Refused},
        {"empty", "14v071510_20261210-101010_data.bin", 0, true, {}, RestoreOutcome::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VerifyRig r;
        r.ui.answers = c.answers;
        const Bytes image = Pattern(c.size, 7);
        r.Put(c.file, image);
        RestoreRequest request;
        request.file = r.File(c.file);
        request.force = c.force;
        request.askOnMismatch = true;
        const RestoreReport report = RestoreDataFlash(r.s, request);
        EXPECT_EQ(report.outcome, c.outcome) << ::testing::PrintToString(r.ui.history);
        EXPECT_EQ(r.ui.history.back(), report.verdict);
        if (c.outcome == RestoreOutcome::Equal) {
            EXPECT_TRUE(std::equal(image.begin(), image.end(), r.dev.flash.begin()));
            EXPECT_EQ(r.dev.restarts, 1);
            EXPECT_EQ(r.PagesRead(), 8);
        } else {
            EXPECT_TRUE(r.dev.storedPages.empty());
            EXPECT_EQ(r.dev.flash, Pattern(2048, 0));
        }
    }
}

TEST(RestoreDataFlash, SilentInstrumentPointsToTheUpdate) {
    VerifyRig r;
    r.silentPolls = 100;
    r.Put("14v071510_20261210-101010_data.bin", Pattern(2048, 1));
    const RestoreReport report =
        RestoreDataFlash(r.s, {r.File("14v071510_20261210-101010_data.bin"), false, false, 15});
    EXPECT_EQ(report.outcome, RestoreOutcome::NoInstrument);
    EXPECT_NE(report.verdict.find("boot ROM"), std::string::npos);
    EXPECT_EQ(r.identifications, 1);
    EXPECT_TRUE(r.dev.storedPages.empty());
}

// A store the instrument reports as good but keeps wrongly is caught by the read-back.
TEST(RestoreDataFlash, ReadBackCatchesABadStore) {
    VerifyRig r;
    r.dev.onFrame = [&](const Bytes& w) {
        if (IsIdentification(w)) ++r.identifications;
        if (w.size() == 4 && w[1] == 0xFF && w[2] == 0x01 && r.dev.flash.size() > 513)
            r.dev.flash[513] ^= 0x10;  // damaged between the store and the restart
    };
    const fs::path file = r.File("14v071510_20261210-101010_data.bin");
    ScratchDir::WriteTo(file, Pattern(2048, 3));
    const RestoreReport report = RestoreDataFlash(r.s, {file, false, false, 15});
    EXPECT_EQ(report.outcome, RestoreOutcome::Different);
    EXPECT_EQ(report.check.difference.first, 513u);
    EXPECT_EQ(report.check.difference.count, 1u);
}

}  // namespace
}  // namespace zentor::test

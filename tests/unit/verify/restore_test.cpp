// Restore: what is refused before anything is sent, and who answers after the
// write's restart, against the instrument model in virtual time.
#include "verify/restore.h"

#include <gtest/gtest.h>

#include <string>

#include "unit/verify/verify_rig.h"

namespace zentor::test {
namespace {

constexpr const char* kOwnBackup = "14v071510_20261210-101010_data.bin";

// Only a file of exactly the DATA FLASH's size (the rig's SizeData, 2048) goes
// in; --force overrides the serial number in the name, never the size.
TEST(RestoreSizes, OnlyTheDataFlashSizeIsWritten) {
    const struct {
        std::size_t size;
        const char* line;  // logged refusal, "" when written
    } cases[] = {
        {0, "не целое число страниц по 256 байт"},
        {128, "не целое число страниц по 256 байт"},
        {256, "(256 байт) не равен размеру DATA FLASH устройства (2048 байт"},
        {2047, "не целое число страниц по 256 байт"},
        {2048, ""},
        {2176, "не целое число страниц по 256 байт"},
        {4096, "(4096 байт) не равен размеру DATA FLASH устройства (2048 байт"},
    };
    for (const auto& c : cases) {
        for (const bool force : {false, true}) {
            SCOPED_TRACE(std::to_string(c.size) + (force ? " --force" : ""));
            VerifyRig r;
            const Bytes image = Pattern(c.size, 5);
            r.Put(kOwnBackup, image);
            RestoreRequest request;
            request.file = r.File(kOwnBackup);
            request.force = force;
            const RestoreReport report = RestoreDataFlash(r.s, request);
            if (*c.line == '\0') {
                EXPECT_EQ(report.outcome, RestoreOutcome::Equal);
                EXPECT_EQ(r.dev.flash, image);
                continue;
            }
            EXPECT_EQ(report.outcome, RestoreOutcome::Refused);
            EXPECT_TRUE(Logged(r.ui, c.line)) << ::testing::PrintToString(r.ui.history);
            EXPECT_EQ(r.ui.history.back(), "Восстановление DATA FLASH отменено");
            EXPECT_FALSE(r.SentAnything());
            EXPECT_EQ(r.dev.flash, Pattern(2048, 0));
            EXPECT_EQ(r.s.run.result, RunResult::Refused);
        }
    }
}

// Who answers once the write has restarted the instrument: only the instrument
// written is read back; another one is named and never read.
TEST(RestoreAfterTheRestart, OnlyTheSameSerialIsReadBack) {
    enum class Then { Same, Other, Silent };
    const struct {
        const char* name;
        Then then;
        RestoreOutcome outcome;
        const char* verdict;
        int pagesRead;
    } cases[] = {
        {"same serial", Then::Same, RestoreOutcome::Equal, "Восстановление DATA FLASH - Ok", 8},
        {"another serial", Then::Other, RestoreOutcome::Unverified,
         "Восстановление DATA FLASH: записано, но ответило другое устройство s/n 14v071511", 0},
        {"nobody", Then::Silent, RestoreOutcome::Unverified,
         "Восстановление DATA FLASH: записано, но не проверено", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VerifyRig r;
        bool restarted = false;
        r.dev.onFrame = [&](const Bytes& w) {
            if (w.size() == 4 && w[0] == 0x01 && w[1] == 0xFF && w[2] == 0x01) restarted = true;
            if (restarted && c.then == Then::Other) r.dev.identity = {14, 7, 15, 11};
        };
        r.dev.silentOn = [&](const Bytes& w) {
            return restarted && c.then == Then::Silent && IsIdentification(w);
        };
        const Bytes image = Pattern(2048, 6);
        r.Put(kOwnBackup, image);
        RestoreRequest request;
        request.file = r.File(kOwnBackup);
        request.answerSeconds = 3;
        const RestoreReport report = RestoreDataFlash(r.s, request);
        EXPECT_TRUE(restarted);
        EXPECT_EQ(r.dev.flash, image) << "written before the restart";
        EXPECT_EQ(report.outcome, c.outcome) << ::testing::PrintToString(r.ui.history);
        EXPECT_EQ(report.verdict, c.verdict);
        EXPECT_EQ(r.ui.history.back(), c.verdict);
        EXPECT_EQ(r.PagesRead(), c.pagesRead);
        EXPECT_EQ(r.s.run.result,
                  c.outcome == RestoreOutcome::Equal ? RunResult::Ok : RunResult::Failed);
    }
}

}  // namespace
}  // namespace zentor::test

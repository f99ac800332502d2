// update --dry-run: the checks and the identification of a real update, then the
// plan; nothing else reaches the instrument and no file is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "update/update_workflow.h"
#include "workflow_rig.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

bool Logged(const RecordingFrontend& ui, const std::string& line) {
    return std::find(ui.history.begin(), ui.history.end(), line) != ui.history.end();
}

TEST(UpdateDryRun, IdentifiesAndPrintsThePlanWithoutTouchingTheInstrument) {
    struct Case {
        const char* name;
        UpdateMode mode;
        std::string dataLine;
    };
    const std::vector<Case> cases = {
        {"keep", UpdateMode::Keep,
         "  DATA FLASH: data_rd.bin (будет прочитана из прибора), 2048 байт, 7800h-7FFFh, "
         "записей по 128 байт: 16"},
        {"factory", UpdateMode::Factory,
         "  DATA FLASH: data.bin (заводские данные), 2048 байт, 7800h-7FFFh, записей по 128 "
         "байт: 16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        const Bytes flash = rig.dev.flash;
        const auto files = rig.Listing();
        UpdateOptions options;
        options.dryRun = c.mode;
        EXPECT_EQ(RunFirmwareUpdate(rig.s, options), UpdateResult::Done)
            << ::testing::PrintToString(rig.ui.history);

        EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{IdentityRequest(1)});
        EXPECT_TRUE(rig.dev.registerWrites.empty());
        EXPECT_EQ(rig.dev.restarts, 0);
        EXPECT_EQ(rig.dev.flash, flash);
        EXPECT_EQ(rig.Listing(), files) << "no reading, backup or set-aside file";
        EXPECT_TRUE(rig.ui.boxes.empty()) << "nothing is asked";
        EXPECT_FALSE(rig.ui.busy);
        EXPECT_TRUE(rig.PortClosed());
        EXPECT_TRUE(Logged(rig.ui,
                           "  CODE FLASH: prog_c.bin, 4096 байт, 0000h-0FFFh, записей по "
                           "128 байт: 32"));
        EXPECT_TRUE(Logged(rig.ui, c.dataLine));
        EXPECT_EQ(rig.ui.history.back(),
                  "Пробный запуск: кроме опознания, устройству ничего не отправлено");
    }
}

// A refused input ends the dry run with the line of the real run, before the
// plan is printed.
TEST(UpdateDryRun, RefusesAsTheRunDoes) {
    struct Case {
        const char* name;
        UpdateMode mode;
        std::function<void(WorkflowRig&)> setup;
        UpdateResult result;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"factory without data.bin", UpdateMode::Factory,
         [](WorkflowRig& r) { fs::remove(r.dir / "data.bin"); }, UpdateResult::Failed,
         "Файл data.bin не обнаружен!"},
        {"keep, reading larger than the flash leaves", UpdateMode::Keep,
         [](WorkflowRig& r) { r.Put("prog_c.bin", Pattern(31 * 1024, 3)); }, UpdateResult::Failed,
         "Программа (31744 байт) заходит в область данных с адреса 7800h - запись отменена"},
        {"not identified, no jumper path", UpdateMode::Keep,
         [](WorkflowRig& r) {
             r.silentIdentity = true;
             r.answers = false;
         },
         UpdateResult::Unidentified, "Устройство не определено!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        c.setup(rig);
        UpdateOptions options;
        options.dryRun = c.mode;
        options.jumperPath = false;
        EXPECT_EQ(RunFirmwareUpdate(rig.s, options), c.result);
        EXPECT_TRUE(Logged(rig.ui, c.line)) << ::testing::PrintToString(rig.ui.history);
        EXPECT_FALSE(Logged(rig.ui,
                            "Пробный запуск: кроме опознания, устройству ничего не "
                            "отправлено"));
        EXPECT_LE(rig.port.Writes().size(), 1u) << "the identification at most";
    }
}

// The jumper path's plan: an instrument that does not identify, data.bin.
TEST(UpdateDryRun, JumperPathPlansDataBinWithoutAsking) {
    WorkflowRig rig;
    rig.silentIdentity = true;
    rig.answers = false;
    UpdateOptions options;
    options.dryRun = UpdateMode::Factory;
    EXPECT_EQ(RunFirmwareUpdate(rig.s, options), UpdateResult::Done);
    EXPECT_TRUE(rig.ui.boxes.empty());
    EXPECT_TRUE(Logged(rig.ui,
                       "  DATA FLASH: data.bin (заводские данные, через перемычку), 2048 "
                       "байт, 7800h-7FFFh, записей по 128 байт: 16"))
        << ::testing::PrintToString(rig.ui.history);
    EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{IdentityRequest(1)});
}

}  // namespace
}  // namespace zentor::test

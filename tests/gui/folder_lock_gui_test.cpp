// The window's command buttons and the work folder: a folder held by another
// command is refused at once with the holder named; an instrument-changing
// button leaves its run in the journal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QPushButton>

#include "gui_test_support.h"
#include "journal/folder_lock.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"

namespace zentor::gui::test {
namespace {

QString LogText(TFormZentorFrom_Halden& w) {
    return Child<QPlainTextEdit>(&w, "MemoZentor")->toPlainText();
}

TEST(WindowFolderLock, HeldFolderRefusesTheButtonsBeforeThePort) {
    for (const char* button : {"BitBtnReadData", "BitBtnWriteData", "BitBtnWrite", "BitBtnRestart",
                               "BitBtnProg", "BitBtnCompile"}) {
        SCOPED_TRACE(button);
        WindowRig rig;
        auto w = rig.Make(WindowFace::FactoryFace);
        w->station().place().workDir = rig.Dir();
        FolderLock holder = FolderLock::Acquire(rig.Dir(), "zentor-cli", "update");
        ASSERT_TRUE(holder.held());
        w->show();
        Child<QPushButton>(w.get(), button)->click();
        ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 30000));
        const std::string log = LogText(*w).toStdString();
        EXPECT_NE(log.find("занята: в ней работает zentor-cli update, процесс " +
                           std::to_string(::getpid())),
                  std::string::npos)
            << log;
        EXPECT_TRUE(rig.port.Writes().empty());
        EXPECT_TRUE(rig.boxes.boxes.empty());
        EXPECT_FALSE(std::filesystem::exists(rig.Dir() / "journal.csv"));
    }
}

TEST(WindowFolderLock, WriteDataButtonIsJournaled) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::FactoryFace);
    w->station().place().workDir = rig.Dir();
    w->show();
    Child<QPushButton>(w.get(), "BitBtnWriteData")->click();  // no data.bin: fails
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 30000));
    const auto lines = ReadJournal(rig.Dir() / "journal.csv");
    ASSERT_TRUE(lines.has_value());
    const auto runs = MergeRuns(*lines);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].record.command, "write-data");
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].record.result, RunResult::Failed);
    // The lock went with the command.
    EXPECT_TRUE(FolderLock::Acquire(rig.Dir(), "zentor", "read-data").held());
}

}  // namespace
}  // namespace zentor::gui::test

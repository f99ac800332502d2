// Closing the window while a command runs: the log says why it stays open; a read
// may be stopped, and then the window closes once the read has ended.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <atomic>

#include "gui_test_support.h"

namespace zentor::gui::test {
namespace {

QStringList LogLines(TFormZentorFrom_Halden& w) {
    return Child<QPlainTextEdit>(&w, "MemoZentor")->toPlainText().split(QLatin1Char('\n'));
}

TEST(WindowCloseWhileRunning, SaysWhyAndOffersToStopOnlyAReads) {
    const struct {
        const char* name;
        CommandNote note;
        std::deque<bool> answers;
        const char* line;
        const char* question;  // "" = none
        bool stopsAndCloses;
    } cases[] = {
        {"update",
         {"идёт обновление прошивки", ""},
         {},
         "Окно не закрыто: идёт обновление прошивки - дождитесь окончания",
         "",
         false},
        {"read, kept",
         {"идёт чтение данных", "Остановить чтение данных и закрыть окно?"},
         {false},
         "Окно не закрыто: идёт чтение данных - дождитесь окончания",
         "Остановить чтение данных и закрыть окно?",
         false},
        {"read, stopped",
         {"идёт чтение данных", "Остановить чтение данных и закрыть окно?"},
         {true},
         "Окно не закрыто: идёт чтение данных - дождитесь окончания",
         "Остановить чтение данных и закрыть окно?",
         true},
        {"unnamed",
         {},
         {},
         "Окно не закрыто: выполняется команда - дождитесь окончания",
         "",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.boxes.answers = c.answers;
        auto w = rig.Make(WindowFace::UpdateFace);
        w->show();
        std::atomic<bool> release{false};
        std::atomic<bool> stopped{false};
        ASSERT_TRUE(w->RunCommand(
            [&](Job& s) {
                while (!release && !s.StopRequested) QThread::msleep(5);
                stopped = s.StopRequested.exchange(false);
            },
            c.note));
        EXPECT_FALSE(w->close());
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(LogLines(*w).last(), QString::fromUtf8(c.line));
        if (*c.question) {
            ASSERT_EQ(rig.boxes.boxes.size(), 1u);
            EXPECT_EQ(rig.boxes.boxes[0].kind, QtFrontend::BoxKind::YesNo);
            EXPECT_EQ(rig.boxes.boxes[0].text, c.question);
            EXPECT_EQ(rig.boxes.boxes[0].title, "Zentor Velmar");
        } else {
            EXPECT_TRUE(rig.boxes.boxes.empty());
        }
        if (c.stopsAndCloses) {
            ASSERT_TRUE(WaitFor([&] { return !w->isVisible(); }));
            EXPECT_TRUE(stopped);
            EXPECT_FALSE(w->runner().Busy());
            continue;
        }
        Spin(100);
        EXPECT_TRUE(w->runner().Busy());
        release = true;
        ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
        Spin(50);
        EXPECT_FALSE(stopped);
        // Nothing was pending: the window stays until it is closed again.
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(w->close());
    }
}

// The factory face's data read is a read: closing offers to stop it.
TEST(WindowCloseWhileRunning, DataReadButtonIsAStoppableRead) {
    WindowRig rig;
    rig.boxes.answers = {true};
    auto w = rig.Make(WindowFace::FactoryFace);
    w->station().place().workDir = rig.Dir();
    w->show();
    Child<QPushButton>(w.get(), "BitBtnReadData")->click();
    ASSERT_TRUE(w->runner().Busy());
    EXPECT_FALSE(w->close());
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Остановить чтение данных и закрыть окно?");
    EXPECT_TRUE(LogLines(*w).contains(
        QString::fromUtf8("Окно не закрыто: идёт чтение данных - дождитесь окончания")));
    ASSERT_TRUE(WaitFor([&] { return !w->isVisible(); }, 30000));
    EXPECT_FALSE(w->runner().Busy());
}

}  // namespace
}  // namespace zentor::gui::test

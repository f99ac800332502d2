// A port's tile and the front end that feeds it: how a run's record shows,
// and what a port's run says reaches its tile, questions answered by the
// station's rule, from the port's own thread.
#include <gtest/gtest.h>

#include <thread>

#include "gui_test_support.h"
#include "port_frontend.h"
#include "station_run.h"

namespace zentor::gui::test {
namespace {

TEST(PortFrontend, ForwardsToItsTileAndAnswersByTheStationsRule) {
    const struct {
        bool answerYes;
        UpdateMode mode;
        bool confirmed;
    } cases[] = {{true, UpdateMode::Factory, true}, {false, UpdateMode::Keep, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answerYes);
        PortTile tile(QStringLiteral("COM3"));
        PortFrontend ui(&tile, c.answerYes, c.mode);
        UpdateChoice choice;
        bool asked = false;
        std::thread port([&] {
            ui.AppendLine("Prog ...");
            ui.DeleteLastLine();
            ui.AppendLine("Prog - Ok");
            ui.ShowStage(4, 6, "запись CODE FLASH");
            ui.SetProgressRange(0, 200);
            ui.SetProgressPosition(50);
            ui.InstrumentIdentified("14v071510");
            choice = ui.ConfirmUpdate("Zentor Velmar", "Velmar 7  s/n: 14v071510.");
            asked = ui.AskYesNo("Записать?", "Zentor Velmar", MessageIcon::Question);
        });
        port.join();
        Spin(50);
        EXPECT_EQ(tile.lines().first(), QStringLiteral("Prog - Ok"));
        EXPECT_EQ(tile.phase(), QStringLiteral("4/6 запись CODE FLASH"));
        EXPECT_EQ(tile.percent(), 25);
        EXPECT_EQ(tile.serial(), QStringLiteral("14v071510"));
        EXPECT_EQ(choice.answer, c.confirmed ? "Да" : "");
        if (c.confirmed) {
            EXPECT_EQ(choice.mode, c.mode);
        }
        EXPECT_EQ(asked, c.answerYes);
        EXPECT_EQ(ui.declined(), !c.answerYes);
        // Each question and its answer are in the port's log.
        EXPECT_EQ(tile.lines().filter(QString::fromUtf8(c.answerYes ? "-> Да" : "-> Нет")).size(),
                  2);
        EXPECT_TRUE(tile.lines().contains(QStringLiteral("[Zentor Velmar] Записать?")));
    }
}

// How a run's record shows on its tile.
TEST(StationTile, EndOfARun) {
    using C = PortEnd::Colour;
    const struct {
        RunResult result;
        RunPhase phase;
        bool declined;
        const char* refusal;
        C colour;
        const char* text;
        bool erasedNote;
    } cases[] = {
        {RunResult::Ok, RunPhase::Done, false, "", C::Green, "готово", false},
        {RunResult::Unconfirmed, RunPhase::Done, false, "", C::Amber, "не подтверждено", false},
        {RunResult::Failed, RunPhase::Link, true, "", C::Amber, "отклонено", false},
        {RunResult::Failed, RunPhase::Nothing, false, "", C::Red, "ошибка", false},
        {RunResult::Refused, RunPhase::Link, false, "", C::Red, "отказ", false},
        {RunResult::Interrupted, RunPhase::Boot, false, "", C::Red, "прервано", false},
        {RunResult::Interrupted, RunPhase::Code, false, "", C::Red, "прервано", true},
        {RunResult::Failed, RunPhase::Data, true, "", C::Red, "ошибка", true},
        {RunResult::None, RunPhase::Unknown, false, "cannot write x", C::Red, "ошибка", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + std::string(" ") + std::string(RunPhaseText(c.phase)));
        RunRecord run;
        run.result = c.result;
        run.phase = c.phase;
        run.serial = "1v1";
        const PortEnd end = EndOf(run, c.declined, c.refusal);
        EXPECT_EQ(end.colour, c.colour);
        EXPECT_EQ(end.result, QString::fromUtf8(c.text));
        EXPECT_EQ(end.serial, QStringLiteral("1v1"));
        EXPECT_EQ(end.note.startsWith(QStringLiteral("устройство может быть стёрто")),
                  c.erasedNote);
        if (*c.refusal) {
            EXPECT_EQ(end.note, QString::fromUtf8(c.refusal));
        }
    }
}

}  // namespace
}  // namespace zentor::gui::test

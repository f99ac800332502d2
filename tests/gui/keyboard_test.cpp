// The keyboard in the window and its confirmation dialog: Enter and Return press the
// focused button, Tab reaches every control of the update panel.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "gui_test_support.h"
#include "message_question.h"
#include "widgets.h"

namespace zentor::gui::test {
namespace {

QStringList LogLines(TFormZentorFrom_Halden& w) {
    return Child<QPlainTextEdit>(&w, "MemoZentor")->toPlainText().split(QLatin1Char('\n'));
}

TEST(WindowKeys, EnterPressesTheFocusedUpdateButtonOnly) {
    const struct {
        const char* focused;
        Qt::Key key;
        bool starts;
    } cases[] = {
        {"BitBtnProshivkaVelmar", Qt::Key_Return, true},
        {"BitBtnProshivkaVelmar", Qt::Key_Enter, true},
        {"BitBtnProshivkaVelmar", Qt::Key_Space, true},
        {"cbAdrPribor", Qt::Key_Return, false},
        {"ButtonPusto", Qt::Key_Return, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.focused) + " " + std::to_string(c.key));
        WindowRig rig;
        auto w = rig.Make(WindowFace::UpdateFace);
        w->station().place().workDir = rig.Dir();
        w->show();
        auto* target = Child<QWidget>(w.get(), c.focused);
        target->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(w->focusWidget(), target);
        QTest::keyClick(target, c.key);
        if (c.starts) {
            ASSERT_TRUE(WaitFor([&] {
                return !w->runner().Busy() &&
                       LogLines(*w).contains(QString::fromUtf8("Файл prog_c.bin не обнаружен!"));
            }));
        } else {
            Spin(100);
            EXPECT_FALSE(w->runner().Busy());
            EXPECT_FALSE(LogLines(*w).contains(QString::fromUtf8("Файл prog_c.bin не обнаружен!")));
        }
    }
}

TEST(WindowKeys, TabWalksThePortRowThenTheListsAndEnterRefreshesPorts) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::UpdateFace);
    w->show();
    Child<QWidget>(w.get(), "cbNamePort")->setFocus(Qt::TabFocusReason);
    QStringList chain;
    for (int i = 0; i < 6; ++i) {
        chain << w->focusWidget()->objectName();
        QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(chain, QStringList({"cbNamePort", "ImageUpdateCOMport", "BitBtnPoisk", "cbBaudRate",
                                  "cbAdrPribor", "BitBtnProshivkaVelmar"}));

    auto* refresh = Child<QWidget>(w.get(), "ImageUpdateCOMport");
    auto* busy = Child<QWidget>(w.get(), "ImageUpdatesNow");
    refresh->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(w->focusWidget(), refresh);
    QTest::keyClick(refresh, Qt::Key_Return);
    EXPECT_TRUE(busy->isVisible());
    EXPECT_FALSE(refresh->isVisible());
    ASSERT_TRUE(WaitFor([&] { return refresh->isVisible(); }));
}

TEST(DialogKeys, EnterAnswersWithTheFocusedButton) {
    const struct {
        const char* focused;  // nullptr: as shown ("Да" holds the focus)
        Qt::Key key;
        int result;
        const char* answer;
    } cases[] = {
        {nullptr, Qt::Key_Return, QDialog::Accepted, "Да"},
        {nullptr, Qt::Key_Enter, QDialog::Accepted, "Да"},
        {"BitBtnNo", Qt::Key_Return, QDialog::Rejected, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focused ? c.focused : "as shown");
        TfmMessageQuestion d(QStringLiteral("Zentor Velmar"),
                             QString::fromUtf8("Velmar 7  s/n: 14v801510."), nullptr);
        d.show();
        if (c.focused) Child<QWidget>(&d, c.focused)->setFocus(Qt::TabFocusReason);
        QWidget* focus = d.focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, c.key);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), c.result);
        EXPECT_EQ(d.UpdateAnswer(), QString::fromUtf8(c.answer));
    }
}

}  // namespace
}  // namespace zentor::gui::test

#include "message_question.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <atomic>

#include "gui_test_support.h"

namespace zentor::gui::test {
namespace {

const QString kDevice = QString::fromUtf8("Velmar 7  s/n: 14v801510.");

TEST(ConfirmationDialog, LookAndDefaults) {
    TfmMessageQuestion d(QStringLiteral("Zentor Velmar"), kDevice, nullptr);
    d.show();
    EXPECT_EQ(d.windowTitle(), "Zentor Velmar");
    EXPECT_EQ(d.size(), QSize(336, 248));
    EXPECT_EQ(Child<QLabel>(&d, "laMessageQuestion")->text(), kDevice);
    EXPECT_EQ(Child<QLabel>(&d, "laConnected")->text(),
              QString::fromUtf8("Подключено устройство:"));
    EXPECT_EQ(Child<QLabel>(&d, "laQuestion")->text(), QString::fromUtf8("Произвести прошивку?"));
    auto* factory = Child<QRadioButton>(&d, "RadioButtonZavodskNastr");
    auto* keep = Child<QRadioButton>(&d, "RadioButtonTekuschNastr");
    EXPECT_EQ(factory->text(), QString::fromUtf8("с установкой заводских настроек"));
    EXPECT_EQ(keep->text(), QString::fromUtf8("с сохранением текущих настроек"));
    EXPECT_FALSE(factory->isChecked());
    EXPECT_TRUE(keep->isChecked());
    EXPECT_EQ(Child<QPushButton>(&d, "BitBtnYes")->text(), QString::fromUtf8("Да"));
    EXPECT_EQ(Child<QPushButton>(&d, "BitBtnNo")->text(), QString::fromUtf8("Нет"));
    EXPECT_EQ(Child<QWidget>(&d, "ButtonPusto")->size(), QSize(0, 0));
    EXPECT_EQ(d.focusWidget(), Child<QWidget>(&d, "BitBtnYes"));
    EXPECT_TRUE(d.UpdateAnswer().isEmpty());
    EXPECT_TRUE(d.UpdateMode().isEmpty());
}

TEST(ConfirmationDialog, TabOrderStartsAtYes) {
    TfmMessageQuestion d(QStringLiteral("Zentor Velmar"), kDevice, nullptr);
    QStringList chain;
    QWidget* start = Child<QWidget>(&d, "BitBtnYes");
    QWidget* w = start;
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != start);
    EXPECT_EQ(chain, QStringList({"BitBtnYes", "BitBtnNo", "ButtonPusto", "RadioButtonZavodskNastr",
                                  "RadioButtonTekuschNastr"}));
}

TEST(ConfirmationDialog, Answers) {
    const struct {
        const char* name;
        const char* radio;  // selected before the answer, nullptr: as created
        const char* button;
        const char* answer;
        const char* mode;
    } cases[] = {
        {"yes, as created", nullptr, "BitBtnYes", "Да", "с сохранением текущих настроек"},
        {"yes, factory", "RadioButtonZavodskNastr", "BitBtnYes", "Да",
         "с установкой заводских настроек"},
        {"yes, keep", "RadioButtonTekuschNastr", "BitBtnYes", "Да",
         "с сохранением текущих настроек"},
        {"no", "RadioButtonZavodskNastr", "BitBtnNo", "", ""},
    };
    for (const auto& c : cases) {
        TfmMessageQuestion d(QStringLiteral("Zentor Velmar"), kDevice, nullptr);
        d.show();
        if (c.radio) Child<QRadioButton>(&d, c.radio)->setChecked(true);
        Child<QPushButton>(&d, c.button)->click();
        EXPECT_FALSE(d.isVisible()) << c.name;
        EXPECT_EQ(d.UpdateAnswer(), QString::fromUtf8(c.answer)) << c.name;
        EXPECT_EQ(d.UpdateMode(), QString::fromUtf8(c.mode)) << c.name;
    }
}

TEST(ConfirmationDialog, PlacedOverTheMainWindow) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::UpdateFace);
    w->show();
    TfmMessageQuestion d(QStringLiteral("Zentor Velmar"), kDevice, w.get());
    d.show();
    EXPECT_EQ(d.pos(), QPoint(w->x() + (w->width() - 336) / 2, w->y() + (w->height() - 248) / 3));
}

// The worker asks; the real dialog comes up modally on the GUI thread with the
// window's caption, and its answer goes back to the worker.
TEST(ConfirmationDialog, AskedFromACommand) {
    WindowRig rig;
    auto w = rig.Make(WindowFace::UpdateFace);
    w->show();
    UpdateChoice choice;
    ASSERT_TRUE(w->RunCommand(
        [&](Job& s) { choice = s.ui.ConfirmUpdate(s.caption, "Velmar 7  s/n: 14v801510."); }));
    // The dialog runs its own event loop: answer it from a timer inside that loop.
    QString title;
    QString label;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<TfmMessageQuestion*>(QApplication::activeModalWidget());
        if (!d) return;
        answer.stop();
        title = d->windowTitle();
        label = Child<QLabel>(d, "laMessageQuestion")->text();
        Child<QRadioButton>(d, "RadioButtonZavodskNastr")->setChecked(true);
        Child<QPushButton>(d, "BitBtnYes")->click();
    });
    answer.start();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_EQ(title, "Zentor Velmar");
    EXPECT_EQ(label, kDevice);
    EXPECT_EQ(choice.answer, "Да");
    EXPECT_EQ(choice.mode, UpdateMode::Factory);
}

}  // namespace
}  // namespace zentor::gui::test

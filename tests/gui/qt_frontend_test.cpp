// The window's front end on its own: red log lines, and the default buttons of
// the real question boxes.
#include "qt_frontend.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>

#include "gui_test_support.h"

namespace zentor::gui::test {
namespace {

bool BlockRed(const QTextBlock& block) {
    bool red = false;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        red |= it.fragment().charFormat().foreground().color() == QColor(Qt::red);
    return red;
}

// The red line keeps its text, and neither the line before nor the one after
// takes its colour.
TEST(QtFrontendLog, AlertLineRedAloneWithItsText) {
    QPlainTextEdit memo;
    QtFrontend f;
    f.Attach({&memo, nullptr, nullptr, {}, {}});
    f.AppendLine("Запись DATA FLASH - Ok");
    f.AppendAlertLine("Обновление не подтверждено");
    f.AppendLine("");
    f.AppendLine("дальше");
    EXPECT_EQ(memo.toPlainText(),
              QString::fromUtf8("Запись DATA FLASH - Ok\nОбновление не подтверждено\n\nдальше"));
    const QTextDocument* doc = memo.document();
    ASSERT_EQ(doc->blockCount(), 4);
    EXPECT_FALSE(BlockRed(doc->findBlockByNumber(0)));
    EXPECT_TRUE(BlockRed(doc->findBlockByNumber(1)));
    EXPECT_FALSE(BlockRed(doc->findBlockByNumber(3)));

    // First line of a cleared pane, and the line count DeleteLastLine relies on.
    f.ClearLog();
    f.AppendAlertLine("красная");
    f.AppendLine("обычная");
    f.DeleteLastLine();
    EXPECT_EQ(memo.toPlainText(), QString::fromUtf8("красная"));
    EXPECT_TRUE(BlockRed(memo.document()->firstBlock()));
}

// The real boxes (no hook): Enter answers with the default button, "Да" for a
// plain question and "Нет" where the answer replaces the calibration.
TEST(QtFrontendBoxes, DefaultButtonOfTheQuestions) {
    const struct {
        bool defaultNo;
        const char* defaultText;
        bool answer;
    } cases[] = {{false, "Да", true}, {true, "Нет", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.defaultText);
        QtFrontend f;
        QString shown;
        QTimer::singleShot(0, [&] {
            WaitFor([] { return QApplication::activeModalWidget() != nullptr; });
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            // Without a default button the box is closed all the same.
            if (QPushButton* d = box->defaultButton()) {
                shown = d->text();
                d->click();
            } else {
                box->reject();
            }
        });
        const bool answer = c.defaultNo
                                ? f.AskYesNoDefaultNo("Вопрос?", "Zentor", MessageIcon::Exclamation)
                                : f.AskYesNo("Вопрос?", "Zentor", MessageIcon::Exclamation);
        EXPECT_EQ(shown, QString::fromUtf8(c.defaultText));
        EXPECT_EQ(answer, c.answer);
    }
}

}  // namespace
}  // namespace zentor::gui::test

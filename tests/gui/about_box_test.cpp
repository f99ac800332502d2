#include "about_box.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>

#include "gui_test_support.h"
#include "zentor_version.h"

namespace zentor::gui::test {
namespace {

// The log pane's context menu keeps its standard entries and adds the about entry,
// whose text carries the version.
TEST(AboutBox, LogPaneMenuOffersTheVersion) {
    QPlainTextEdit log;
    AddAboutEntry(&log);
    log.show();
    emit log.customContextMenuRequested(QPoint(5, 5));
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (menu = log.findChild<QMenu*>()) != nullptr; }));
    QAction* about = menu->findChild<QAction*>(QStringLiteral("actionAbout"));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), QString::fromUtf8("О программе…"));
    EXPECT_GT(menu->actions().size(), 3);  // copy, select all, ... stay
    EXPECT_TRUE(AboutText().contains(QString::fromUtf8(ZENTOR_VERSION_TEXT)));
    menu->close();
}

}  // namespace
}  // namespace zentor::gui::test

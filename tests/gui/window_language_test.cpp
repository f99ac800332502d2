#include "window_language.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSettings>

#include "about_box.h"
#include "gui_test_support.h"
#include "support/scratch_dir.h"

namespace zentor::gui::test {
namespace {

QString QtCancel() {
    return QCoreApplication::translate("QPlatformTheme", "Cancel");
}

QAction* LanguageEntry(QPlainTextEdit& log, const char* name) {
    emit log.customContextMenuRequested(QPoint(5, 5));
    QMenu* menu = nullptr;
    if (!WaitFor([&] { return (menu = log.findChild<QMenu*>()) != nullptr; })) return nullptr;
    return menu->findChild<QAction*>(QString::fromLatin1(name));
}

// The log pane's menu switches the core's texts and Qt's own dialogs at once,
// and the choice outlives the window in the user's preferences.
TEST(WindowLanguage, ChosenFromTheLogMenuStoredAndApplied) {
    const zentor::test::ScratchDir scratch("window-language");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(scratch.path().string()));
    EXPECT_TRUE(
        WindowPreferencesFile().startsWith(QString::fromStdString(scratch.path().string())));
    const Message cancel = ZT("answer.cancel", "Отмена");
    EXPECT_EQ(StoredWindowLanguage(), Language::Ru);

    QPlainTextEdit log;
    AddAboutEntry(&log);
    log.show();
    QAction* russian = LanguageEntry(log, "actionLanguageRu");
    ASSERT_NE(russian, nullptr);
    EXPECT_TRUE(russian->isChecked());
    russian->trigger();
    EXPECT_EQ(QtCancel(), QString::fromUtf8("Отмена")) << "qt6-translations-l10n installed?";
    delete log.findChild<QMenu*>();

    QAction* english = LanguageEntry(log, "actionLanguageEn");
    ASSERT_NE(english, nullptr);
    EXPECT_FALSE(english->isChecked());
    english->trigger();
    EXPECT_EQ(CurrentLanguage(), Language::En);
    EXPECT_EQ(Render(cancel), "Cancel");
    EXPECT_EQ(QtCancel(), QStringLiteral("Cancel"));
    EXPECT_EQ(StoredWindowLanguage(), Language::En);
    delete log.findChild<QMenu*>();

    QSettings(WindowPreferencesFile(), QSettings::IniFormat)
        .setValue(QStringLiteral("window/language"), QStringLiteral("de"));
    EXPECT_EQ(StoredWindowLanguage(), Language::Ru);
    SetLanguage(Language::Ru);
}

}  // namespace
}  // namespace zentor::gui::test

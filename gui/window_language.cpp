#include "window_language.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QLibraryInfo>
#include <QMenu>
#include <QSettings>
#include <QTranslator>
#include <memory>

namespace zentor::gui {

namespace {

constexpr const char* kLanguageKey = "window/language";

// Qt's own translations in use; none for English.
std::unique_ptr<QTranslator>& QtTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

constexpr QSettings::Format kFormat = QSettings::IniFormat;

QString NameOf(Language language) {
    return language == Language::En ? QStringLiteral("en") : QStringLiteral("ru");
}

}  // namespace

QString WindowPreferencesFile() {
    return QSettings(kFormat, QSettings::UserScope, QStringLiteral("zentor"),
                     QStringLiteral("window"))
        .fileName();
}

Language StoredWindowLanguage() {
    const QSettings settings(WindowPreferencesFile(), kFormat);
    const QString name = settings.value(QLatin1String(kLanguageKey)).toString();
    return ParseLanguage(name.toStdString()).value_or(Language::Ru);
}

void StoreWindowLanguage(Language language) {
    QSettings settings(WindowPreferencesFile(), kFormat);
    settings.setValue(QLatin1String(kLanguageKey), NameOf(language));
    settings.sync();
}

bool ApplyWindowLanguage(Language language) {
    SetLanguage(language);
    auto& current = QtTranslator();
    if (current) {
        QCoreApplication::removeTranslator(current.get());
        current.reset();
    }
    if (language == Language::En) return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + NameOf(language),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    current = std::move(translator);
    return true;
}

void AddLanguageMenu(QMenu* menu) {
    QMenu* languages = menu->addMenu(QStringLiteral("Язык / Language"));
    languages->setObjectName(QStringLiteral("menuLanguage"));
    auto* group = new QActionGroup(languages);
    const struct {
        Language language;
        const char* text;
        const char* name;
    } entries[] = {{Language::Ru, "Русский", "actionLanguageRu"},
                   {Language::En, "English", "actionLanguageEn"}};
    for (const auto& e : entries) {
        QAction* action = languages->addAction(QString::fromUtf8(e.text));
        action->setObjectName(QString::fromLatin1(e.name));
        action->setCheckable(true);
        action->setChecked(CurrentLanguage() == e.language);
        group->addAction(action);
        const Language language = e.language;
        QObject::connect(action, &QAction::triggered, languages, [language] {
            StoreWindowLanguage(language);
            ApplyWindowLanguage(language);
        });
    }
}

}  // namespace zentor::gui

// The window's language: the texts of the core in its log and questions, and
// Qt's own dialogs (buttons, file dialog), Russian or English. The choice is a
// preference of the window, kept with its other preferences of the user
// (QSettings, never the instrument's configuration file), applied at start and
// at once when changed from the log pane's context menu ("Язык"). Widget texts
// of the forms stay as they are. Window thread only; nothing blocks.
#pragma once

#include <QString>

#include "text/message.h"

class QMenu;

namespace zentor::gui {

// The window's preferences of the user: window.ini in the user's zentor
// configuration folder (~/.config/zentor on Linux).
QString WindowPreferencesFile();

// The stored choice; Russian when none or an unknown one is stored.
Language StoredWindowLanguage();
void StoreWindowLanguage(Language language);

// Makes language the process's and loads Qt's translations for it (from
// QLibraryInfo's translations folder; English needs none). False when Qt's
// translations for it are not installed: the core's texts follow all the same.
bool ApplyWindowLanguage(Language language);

// Adds the "Язык" submenu: one checkable entry per language; choosing one stores
// and applies it.
void AddLanguageMenu(QMenu* menu);

}  // namespace zentor::gui

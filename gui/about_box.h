// The program's "about" text with its version, reached from the log pane's context
// menu ("О программе…"). The box is modal and blocks only the window thread's
// input; commands on the worker thread run on.
#pragma once

#include <QString>

class QPlainTextEdit;

namespace zentor::gui {

// "Zentor <version>" and a line on what the program is.
QString AboutText();
// Adds the language choice (window_language.h) and "О программе…" to the
// standard context menu of the log pane.
void AddAboutEntry(QPlainTextEdit* log);

}  // namespace zentor::gui

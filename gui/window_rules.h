// Pure rules of the windows: captions per face, placement on the screen, the
// font check, the file-dialog filter and the start-up options.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>

#include "station/job.h"

namespace zentor {
// The window's three faces.
enum class WindowFace { FactoryFace, UpdateFace, EncoderFace };
}  // namespace zentor

namespace zentor::gui {

// Caption of the main window after creation: "Zentor Velmar" in the update face,
// otherwise "Zentor MSC1210Y<n+1>" for a type 1..4 and "Zentor MSC" for any other.
QString FaceCaption(WindowFace face, int typeController);
// "Zentor MSC1210Y<n+1>" for 1..4, nullopt for any other type.
std::optional<QString> TypeCaption(int typeController);

// Main window creation: a negative left or top becomes 0; past the right edge the
// window is put flush with it; past the bottom, 30 pixels above it.
QPoint KeepOnScreen(QPoint topLeft, QSize window, QSize screen);
// Main window shown: centred horizontally, one third down.
QPoint CentreOnScreen(QSize window, QSize screen);
// Dialogs: centred over the owner, one third down its height difference, then kept
// on the screen (50 pixels above the bottom when past it).
QPoint PlaceOverOwner(QRect owner, QSize dialog, QSize screen);

// True when none of the installed families is "Arial" or a metric-compatible
// substitute.
bool NeedsArialWarning(const QStringList& families);
inline constexpr const char* kArialWarning =
    "Нужно установить шрифт \"Arial\"!\n{Need to set font \"Arial\")!}";

// The application's default title: the executable's name without its extension,
// every letter after the first in lower case.
QString DefaultApplicationTitle(const QString& executablePath);

// "Caption|pattern|Caption|pattern" into Qt name filters "Caption (patterns)";
// "*.*" means every file.
QStringList ConvertDialogFilter(const QString& filter);
inline constexpr const char* kAsmFileFilter = "Файл  *.asm|*.asm|Все  *.*|*.*";

// A caption written with "\n\r" line breaks, as a button shows it.
QString ButtonCaption(const QString& text);

// Paths between Qt and the core without going through a narrow code page.
std::filesystem::path ToPath(const QString& path);
QString FromPath(const std::filesystem::path& path);

struct StartOptions {
    WindowFace face = WindowFace::UpdateFace;
    QString configPath;     // empty: beside the executable (or the user's folder)
    QString journalPath;    // empty: journal.csv in the work folder
    bool training = false;  // a simulated instrument, scratch configuration and files
    QString error;          // non-empty: the arguments were not understood
};
// --face factory|update|encoder, --config FILE, --journal FILE (also --face=..., ...),
// --training (not with --config).
StartOptions ParseStartOptions(const QStringList& arguments);

}  // namespace zentor::gui

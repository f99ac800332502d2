// The update face's firmware folder: shown under the panel, chosen with the folder
// button or by a drop, remembered in the configuration file.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <optional>

#include "config/config_store.h"
#include "main_window.h"
#include "ui_main_window.h"
#include "window_rules.h"

namespace zentor::gui {

namespace {

// The folder a drop names: a folder itself, or the folder of a prog_c.bin.
std::optional<std::filesystem::path> DroppedFolder(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return std::nullopt;
    const QUrl url = mime->urls().front();
    if (!url.isLocalFile()) return std::nullopt;
    const std::filesystem::path path = ToPath(url.toLocalFile());
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return path;
    if (FromPath(path.filename()).compare(QStringLiteral("prog_c.bin"), Qt::CaseInsensitive) == 0 &&
        std::filesystem::is_regular_file(path, ec))
        return path.parent_path();
    return std::nullopt;
}

}  // namespace

void TFormZentorFrom_Halden::ShowFirmwareFolder() {
    std::error_code ec;
    std::filesystem::path shown = std::filesystem::absolute(station_.place().workDir, ec);
    if (ec) shown = station_.place().workDir;
    shown = shown.lexically_normal();  // "/a/b/." reads "/a/b/": drop the separator
    if (!shown.has_filename() && shown != shown.root_path()) shown = shown.parent_path();
    ui_->edFolder->setText(FromPath(shown));
    ui_->edFolder->setCursorPosition(0);
    ui_->edFolder->setToolTip(ui_->edFolder->text());
}

bool TFormZentorFrom_Halden::SetFirmwareFolder(const std::filesystem::path& folder) {
    if (runner_.Busy()) return false;
    station_.place().workDir = folder;
    ShowFirmwareFolder();
    std::string error;
    if (!SaveFirmwareFolder(configPath_, FromPath(folder).toStdString(), &error))
        frontend_.AppendLine(error);
    return true;
}

void TFormZentorFrom_Halden::ChooseFirmwareFolder() {
    FocusSink();
    const QString chosen = folderChooser_(this, ui_->edFolder->text());
    if (!chosen.isEmpty()) SetFirmwareFolder(ToPath(chosen));
}

void TFormZentorFrom_Halden::dragEnterEvent(QDragEnterEvent* event) {
    if (face_ == WindowFace::UpdateFace && !runner_.Busy() && DroppedFolder(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFormZentorFrom_Halden::dropEvent(QDropEvent* event) {
    const auto folder =
        face_ == WindowFace::UpdateFace ? DroppedFolder(event->mimeData()) : std::nullopt;
    if (folder && SetFirmwareFolder(*folder))
        event->acceptProposedAction();
    else
        event->ignore();
}

}  // namespace zentor::gui

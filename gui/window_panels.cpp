#include "window_panels.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QToolButton>

#include "main_window.h"
#include "station_face.h"
#include "ui_main_window.h"

namespace zentor::gui {

QAbstractItemModel* TFormZentorFrom_Halden::portModel() {
    return ui_->cbNamePort->model();
}

UpdatePanel TFormZentorFrom_Halden::panelChoice() const {
    return {ui_->cbNamePort->currentText().toStdString(),
            ui_->cbBaudRate->currentText().toStdString(),
            ui_->cbAdrPribor->currentText().toStdString()};
}

QVBoxLayout* TFormZentorFrom_Halden::logColumn() {
    return ui_->logLayout;
}

StationFace* OpenStationFace(TFormZentorFrom_Halden& window) {
    auto* face = window.findChild<StationFace*>();
    if (!face) face = new StationFace(window);
    face->show();
    face->raise();
    face->activateWindow();
    return face;
}

void AddStationEntry(TFormZentorFrom_Halden& window) {
    auto* row = window.findChild<QHBoxLayout*>(QStringLiteral("folderLayout"));
    if (!row) return;
    auto* button = new QToolButton(window.findChild<QWidget*>(QStringLiteral("paFolder")));
    button->setObjectName(QStringLiteral("sbStation"));
    button->setText(QStringLiteral("Порты…"));
    button->setToolTip(QStringLiteral("Станция: одна команда на нескольких портах сразу"));
    row->addWidget(button);
    QObject::connect(button, &QToolButton::clicked, &window,
                     [&window] { OpenStationFace(window); });
}

}  // namespace zentor::gui

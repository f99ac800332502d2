// The training window: the main window on a TrainingSession (its scratch
// configuration, work folder and one simulated port), with a banner on top that
// says no real instrument is attached and holds the simulator's power switch.
// The window's questions ("Отключите питание...") leave the banner usable: the
// rest of the window takes no input while one is open, the power switch does.
#pragma once

#include <QFrame>
#include <filesystem>
#include <memory>

#include "main_window.h"

class QLabel;
class QPushButton;

namespace zentor::gui {

class TrainingSession;

// Objects: "paTraining" (the banner), "laTraining" (its text), "BitBtnPowerCycle".
class TrainingBanner : public QFrame {
    Q_OBJECT
public:
    TrainingBanner(TrainingSession& session, QWidget* parent = nullptr);

private:
    void ShowStatus(const QString& line);

    TrainingSession& session_;
    QLabel* text_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* power_ = nullptr;
};

// A started session is required; the window uses it until destroyed, so the
// session must outlive the window.
std::unique_ptr<TFormZentorFrom_Halden> MakeTrainingWindow(TrainingSession& session,
                                                           WindowFace face,
                                                           const std::filesystem::path& exePath,
                                                           QtFrontend::BoxHook boxHook = {});

}  // namespace zentor::gui

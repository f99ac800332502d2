// The window's side of the settings dialog: what "Да" does with the chosen
// settings. Runs on the GUI thread while no command holds the port.
#pragma once

#include <filesystem>

#include "window_station.h"

namespace zentor::gui {

class TFormZentorFrom_Halden;
class TfmSetings;

// Takes `chosen` over into the window's station and re-opens its port with it.
// When the new port does not open (the box has shown why), the old port and bit rate
// are opened again, the other values stay taken over, nothing is saved and the
// result is false. Otherwise saves them to `configPath`; a failure is shown as a
// box and gives false.
bool TakeOverSettings(WindowStation& s, const std::filesystem::path& configPath,
                      const Settings& chosen);

// Opens a modeless settings dialog over `window` on its station's settings and
// port opener; "Да" takes the chosen settings over and sets the caption for the
// chip type. The dialog's port buttons follow the window's command runner.
TfmSetings* OpenSettingsDialog(TFormZentorFrom_Halden& window);

}  // namespace zentor::gui

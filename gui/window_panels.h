// The window's side of its panels: where the station face is opened from. The
// panels themselves see the window only as a CommandHost (command_host.h).
#pragma once

namespace zentor::gui {

class StationFace;
class TFormZentorFrom_Halden;

// The window's station face, made on the first call; shown and raised.
StationFace* OpenStationFace(TFormZentorFrom_Halden& window);
// Update face: the "Порты…" button beside the folder's, opening the face.
void AddStationEntry(TFormZentorFrom_Halden& window);

}  // namespace zentor::gui

#include "settings_owner.h"

#include "config/config_store.h"
#include "main_window.h"
#include "settings_dialog.h"
#include "window_rules.h"

namespace zentor::gui {

bool TakeOverSettings(WindowStation& s, const std::filesystem::path& configPath,
                      const Settings& chosen) {
    Settings& st = s.settings();
    const std::string oldPort = st.NamePort;
    const int oldBaudRate = st.BaudRate;
    st = chosen;

    s.ClosePort();
    if (!s.OpenPort()) {
        // The box has said why; back to the port that worked.
        st.NamePort = oldPort;
        st.BaudRate = oldBaudRate;
        s.OpenPort();
        return false;
    }
    std::string error;
    if (!SaveSettings(configPath, st, &error)) {
        s.station.ui.MessageBox(error, s.place().caption, MessageIcon::Exclamation);
        return false;
    }
    return true;
}

TfmSetings* OpenSettingsDialog(TFormZentorFrom_Halden& window) {
    WindowStation& s = window.station();
    TfmSetings::Owner owner{
        .busy = [&window] { return window.runner().Busy(); },
        .fileDialog = [&window] { return window.openDialog(); },
        .chooseAsmFile = [&s](const std::string& name) { s.settings().AsmFileName = name; },
        .refuse =
            [&s](const std::string& problem) {
                s.station.ui.MessageBox(problem, s.place().caption, MessageIcon::Exclamation);
            },
        .accept =
            [&window, &s](const Settings& chosen) {
                if (!TakeOverSettings(s, window.configPath(), chosen)) return false;
                if (const auto caption = TypeCaption(s.settings().TypeController))
                    window.SetCaption(*caption);
                return true;
            },
        .ports = &window.portLookup(),
    };
    auto* dialog = new TfmSetings(window, s.settings(), s.station.opener, std::move(owner));
    QObject::connect(&window.runner(), &CommandRunner::busyChanged, dialog, &TfmSetings::ApplyBusy);
    dialog->ApplyBusy(window.runner().Busy());
    return dialog;
}

}  // namespace zentor::gui

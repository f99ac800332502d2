// The update panel's lists as the window reads them, and what they choose: the
// port, bit rate and address the update and the commands after it use. Pure
// text handling, no I/O.
#pragma once

#include <optional>
#include <string>

#include "config/settings.h"

namespace zentor::gui {

// The lists' texts.
struct UpdatePanel {
    std::string port;     // port list text ("" keeps the configured name)
    std::string baud;     // bit rate list text
    std::string address;  // address list text
};

// Takes the panel's choice into `settings`: NamePort (when the list has a text),
// BaudRate and AdrPribor. A text that is no whole number that fits an int changes
// nothing and gives the log line that says so.
std::optional<std::string> TakePanelChoice(const UpdatePanel& panel, Settings& settings);

}  // namespace zentor::gui

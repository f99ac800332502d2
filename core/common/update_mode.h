// The two ways a field update treats the instrument's DATA FLASH, and the texts
// under which the confirmation dialog shows them. Pure data, no waits.
#pragma once

#include <string>

#include "text/message.h"

namespace zentor {

enum class UpdateMode {
    None,     // not chosen (dialog cancelled)
    Keep,     // read the instrument's settings and write them back
    Factory,  // write the factory data.bin
};

inline constexpr const char* kKeepModeText = "с сохранением текущих настроек";
inline constexpr const char* kFactoryModeText = "с установкой заводских настроек";

// The dialog text of a mode; empty for None.
inline std::string UpdateModeText(UpdateMode mode) {
    switch (mode) {
        case UpdateMode::Keep:
            return kKeepModeText;
        case UpdateMode::Factory:
            return kFactoryModeText;
        case UpdateMode::None:
            break;
    }
    return {};
}

// The dialog text of a mode in the current language; an empty text for None.
inline Message UpdateModeMessage(UpdateMode mode) {
    switch (mode) {
        case UpdateMode::Keep:
            return ZT("update.mode.keep", "с сохранением текущих настроек");
        case UpdateMode::Factory:
            return ZT("update.mode.factory", "с установкой заводских настроек");
        case UpdateMode::None:
            break;
    }
    return Message{"update.mode.none", "", {}};
}

// The mode a dialog text names exactly; None for any other text.
inline UpdateMode UpdateModeFromText(const std::string& text) {
    if (text == kKeepModeText) return UpdateMode::Keep;
    if (text == kFactoryModeText) return UpdateMode::Factory;
    return UpdateMode::None;
}

}  // namespace zentor

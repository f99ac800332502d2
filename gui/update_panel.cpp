#include "update_panel.h"

namespace zentor::gui {

namespace {

// A whole decimal number, optionally signed, that fits an int.
std::optional<int> ParsePanelNumber(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace

std::optional<std::string> TakePanelChoice(const UpdatePanel& panel, Settings& settings) {
    const auto baud = ParsePanelNumber(panel.baud);
    if (!baud) return "Скорость порта: \"" + panel.baud + "\" - не число";
    const auto address = ParsePanelNumber(panel.address);
    if (!address) return "Адрес устройства: \"" + panel.address + "\" - не число";
    settings.BaudRate = *baud;
    settings.AdrPribor = *address;
    if (!panel.port.empty()) settings.NamePort = panel.port;
    return std::nullopt;
}

}  // namespace zentor::gui

#include "update_panel.h"

#include <gtest/gtest.h>

namespace zentor::gui {
namespace {

// A list text that is no whole number refuses with its line and changes nothing.
TEST(UpdatePanel, TextThatIsNotANumberChangesNothing) {
    const struct {
        UpdatePanel panel;
        const char* line;
    } cases[] = {
        {{"COM7", "abc", "1"}, "Скорость порта: \"abc\" - не число"},
        {{"", "", "1"}, "Скорость порта: \"\" - не число"},
        {{"", "9600", "1x"}, "Адрес устройства: \"1x\" - не число"},
        {{"", "9600", "99999999999"}, "Адрес устройства: \"99999999999\" - не число"},
        {{"", "2147483648", "1"}, "Скорость порта: \"2147483648\" - не число"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Settings settings;
        settings.NamePort = "COM3";
        settings.BaudRate = 4800;
        settings.AdrPribor = 5;
        const auto refusal = TakePanelChoice(c.panel, settings);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(*refusal, c.line);
        EXPECT_EQ(settings.NamePort, "COM3");
        EXPECT_EQ(settings.BaudRate, 4800);
        EXPECT_EQ(settings.AdrPribor, 5);
    }
}

TEST(UpdatePanel, ChoosesPortRateAndAddress) {
    const struct {
        UpdatePanel panel;
        const char* port;
        int baud;
        int address;
    } cases[] = {
        {{"COM7", "19200", "12"}, "COM7", 19200, 12},
        {{"", "38400", "1"}, "COM3", 38400, 1},  // empty port text keeps the configured one
        {{"", "-2147483648", "+3"}, "COM3", -2147483647 - 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        Settings settings;
        settings.NamePort = "COM3";
        EXPECT_FALSE(TakePanelChoice(c.panel, settings).has_value());
        EXPECT_EQ(settings.NamePort, c.port);
        EXPECT_EQ(settings.BaudRate, c.baud);
        EXPECT_EQ(settings.AdrPribor, c.address);
    }
}

}  // namespace
}  // namespace zentor::gui

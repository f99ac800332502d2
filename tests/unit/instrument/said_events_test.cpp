// What the instrument commands say, as message ids: the same events whatever the
// language, only the rendered lines differ.
#include <gtest/gtest.h>

#include "instrument/instrument_commands.h"
#include "instrument_rig.h"

namespace zentor::test {
namespace {

using Ids = std::vector<std::string>;

struct LanguageScope {
    explicit LanguageScope(Language language) { SetLanguage(language); }
    ~LanguageScope() { SetLanguage(Language::Ru); }
};

TEST(SaidEvents, SameIdsInEveryLanguage) {
    struct Case {
        Language language;
        const char* firstLine;
    } cases[] = {{Language::Ru, "Чтение данных из Velmar99"},
                 {Language::En, "Reading data from Velmar99"}};
    for (const Case& c : cases) {
        const LanguageScope scope(c.language);
        InstrumentRig rig;
        rig.station.settings.MaxKolReadings = 2;
        ASSERT_TRUE(ReadData(rig.s));
        EXPECT_EQ(rig.ui.said,
                  (Ids{"data.read.from", "data.read.start", "data.read.pass_ok", "data.read.pass",
                       "data.read.pass_ok", "data.read.ok", "restart.countdown",
                       "restart.countdown", "restart.start", "restart.ok"}));
        EXPECT_EQ(rig.ui.history.front(), c.firstLine);

        InstrumentRig silent;
        silent.s.port.reset();
        EXPECT_FALSE(ReadData(silent.s));
        EXPECT_EQ(silent.ui.said,
                  (Ids{"data.read.start", "data.read.select_page", "command.failed", "link.none"}));
        EXPECT_FALSE(WriteDataFlashImage(silent.s, Bytes(256, 0)));
        EXPECT_EQ(silent.ui.said.back(), "data.write.no_version");
    }
}

}  // namespace
}  // namespace zentor::test

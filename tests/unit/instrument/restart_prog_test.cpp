#include <gtest/gtest.h>

#include "instrument/instrument_commands.h"
#include "instrument_rig.h"
#include "testing/virtual_clock.h"

namespace zentor::test {
namespace {

const Bytes kRestartFrame{0x01, 0xFF, 0x01, 0x2B};

// Log pane as shown after each clear/append, to follow a line being replaced.
class PaneRecorder : public RecordingFrontend {
public:
    std::vector<std::vector<std::string>> panes;
    void AppendLine(const std::string& line) override {
        RecordingFrontend::AppendLine(line);
        panes.push_back(log);
    }
};

std::vector<int> Positions(const RecordingFrontend& ui) {
    std::vector<int> out;
    for (const auto& p : ui.progress) out.push_back(p.position);
    return out;
}

TEST(Restart, CountdownOfThreeSeconds) {
    SessionRigOf<PaneRecorder> rig;
    FakeInstrument dev;
    dev.Attach(rig.port);
    rig.OpenPort();
    rig.station.settings.PauseRestart = 3;

    EXPECT_TRUE(Restart(rig.s));

    using Pane = std::vector<std::string>;
    EXPECT_EQ(rig.ui.panes, (std::vector<Pane>{{"Restart at 3 sec"},
                                               {"Restart at 2 sec"},
                                               {"Restart at 1 sec"},
                                               {"Restart at 0 sec"},
                                               {"Restart ..."},
                                               {"Restart - OK"}}));
    EXPECT_EQ(rig.ui.progress.back().max, 3);
    // Range set, then 0, 1, 2, 3 and back to 0.
    EXPECT_EQ(Positions(rig.ui), (std::vector<int>{0, 0, 1, 2, 3, 0}));
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{1000, 1000, 1000, 10, 10, 5}));
    ASSERT_EQ(rig.port.Writes(), std::vector<Bytes>{kRestartFrame});
    EXPECT_EQ(rig.port.events[1].atMs, 3010);  // frame leaves three seconds after the click
    EXPECT_EQ(dev.restarts, 1);
}

TEST(Restart, PauseZeroSendsAtOnce) {
    InstrumentRig rig;
    rig.station.settings.PauseRestart = 0;
    EXPECT_TRUE(Restart(rig.s));
    EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{kRestartFrame});
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{10, 10, 5}));
    EXPECT_EQ(rig.ui.log, std::vector<std::string>{"Restart - OK"});
    EXPECT_EQ(rig.ui.ProgressPosition(), 0);
}

TEST(Restart, NoAnswerIsTheOnlyLine) {
    InstrumentRig rig;
    rig.station.settings.PauseRestart = 1;
    rig.dev.silentOn = [](const Bytes&) { return true; };
    EXPECT_FALSE(Restart(rig.s));
    EXPECT_EQ(rig.ui.log, std::vector<std::string>{"Нет связи с устройством!"});
    EXPECT_EQ(rig.port.Writes().size(), 1u);  // no retry
    EXPECT_EQ(rig.ui.ProgressPosition(), 0);
}

TEST(Prog, Outcomes) {
    struct Case {
        const char* name;
        int silentRegister;  // register whose write gets no answer, or -1
        std::vector<std::string> log;
        std::size_t frames;
        int progress;
        std::vector<int> sleeps;
    };
    const Case cases[] = {
        {"both written", -1, {"Prog - Ok"}, 2, 0, {10, 10, 5, 100, 10, 10, 5}},
        {"FD fails",
         0xFD,
         {"Prog ...", "Не удалось зап. в рег. FD значение AF", "Prog - Wrong"},
         1,
         1,
         {10, 10, 5}},
        {"FF fails",
         0xFF,
         {"Prog ...", "Не удалось зап. в рег. FF значение 0B", "Prog - Wrong"},
         2,
         2,
         {10, 10, 5, 100, 10, 10, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.dev.silentOn = [&](const Bytes& f) { return f[1] == c.silentRegister; };
        EXPECT_EQ(EnterBootRom(rig.s), c.silentRegister < 0);
        EXPECT_EQ(rig.ui.log, c.log);
        EXPECT_EQ(rig.ui.ProgressPosition(), c.progress);
        EXPECT_EQ(rig.ui.ProgressMax(), 2);
        EXPECT_EQ(rig.clock.Sleeps(), c.sleeps);
        const std::vector<Bytes> all{WithCrc({0x01, 0xFD, 0xAF}), WithCrc({0x01, 0xFF, 0x0B})};
        EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>(all.begin(), all.begin() + c.frames));
    }
}

TEST(Stop, OnlySetsTheFlag) {
    InstrumentRig rig;
    RequestStop(rig.controls);
    EXPECT_TRUE(rig.s.StopRequested);
    EXPECT_TRUE(rig.port.events.empty());
    EXPECT_TRUE(rig.ui.history.empty());
}

}  // namespace
}  // namespace zentor::test

#include "instrument/identify.h"

#include <gtest/gtest.h>

#include "unit/update/update_rig.h"

namespace zentor::test {
namespace {

struct IdRig : UpdateRig {
    explicit IdRig(Bytes reply) {
        port.responder = [this, reply](const Bytes& w) {
            return w == IdentityRequest(adr) ? reply : Bytes{};
        };
        OpenPort();
        station.settings.AdrPribor = adr;
    }
    int adr = 5;
};

TEST(FormatSerialText, TwoDigitsAtLeastVAfterTheFirstGroup) {
    const struct {
        InstrumentIdentity id;
        const char* text;
    } cases[] = {
        {{14, 7, 15, 10}, "14v071510"},
        {{5, 120, 3, 200}, "05v12003200"},
        {{255, 255, 255, 255}, "255v255255255"},
        {{1, 1, 1, 1}, "01v010101"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSerialText(c.id), c.text);
}

TEST(IdentifyInstrument, GoodReplyFillsIdentityAndSerialText) {
    const struct {
        Bytes reply;
        std::uint8_t model;
        const char* text;
    } cases[] = {
        {IdentityReply(14, 7, 15, 10), 7, "14v071510"},
        {IdentityReply(5, 120, 3, 200), 120, "05v12003200"},
    };
    for (const auto& c : cases) {
        IdRig rig(c.reply);
        ASSERT_TRUE(IdentifyInstrument(rig.s)) << c.text;
        EXPECT_EQ(rig.s.SerialText, c.text);
        EXPECT_EQ(rig.s.identity.model, c.model);
        // One request to the configured address, nothing logged.
        EXPECT_EQ(rig.port.Writes(), std::vector<Bytes>{IdentityRequest(5)});
        EXPECT_TRUE(rig.ui.history.empty());
        EXPECT_TRUE(rig.ui.boxes.empty());
        // Told to the front end as the instrument's serial, not as prose.
        EXPECT_EQ(rig.ui.identified, std::vector<std::string>{c.text});
    }
}

// Anything but a complete, correct, zero-free reply: false and nothing changes,
// although a success would have set HCR1Value to 93 (no key, model 14).
TEST(IdentifyInstrument, FailureChangesNothing) {
    Bytes badCrc = IdentityReply(14, 14, 15, 10);
    badCrc[6] ^= 0x01;
    Bytes shortReply = IdentityReply(14, 14, 15, 10);
    shortReply.pop_back();
    const struct {
        const char* name;
        Bytes reply;
    } cases[] = {
        {"bad checksum", badCrc},
        {"one byte short", shortReply},
        {"silence", {}},
        {"prefix 0", IdentityReply(0, 14, 15, 10)},
        {"model 0", IdentityReply(14, 0, 15, 10)},
        {"number1 0", IdentityReply(14, 14, 0, 10)},
        {"number2 0", IdentityReply(14, 14, 15, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IdRig rig(c.reply);
        rig.s.identity = {1, 2, 3, 4};
        rig.s.SerialText = "01v020304";
        rig.station.settings.HCR1KeyPresent = false;
        rig.station.settings.HCR1Value = "A3";
        EXPECT_FALSE(IdentifyInstrument(rig.s));
        EXPECT_EQ(rig.s.SerialText, "01v020304");
        EXPECT_EQ(rig.s.identity.prefix, 1);
        EXPECT_EQ(rig.s.identity.model, 2);
        EXPECT_EQ(rig.s.identity.number1, 3);
        EXPECT_EQ(rig.s.identity.number2, 4);
        EXPECT_EQ(rig.station.settings.HCR1Value, "A3");
        EXPECT_TRUE(rig.ui.identified.empty());
    }
}

TEST(IdentifyInstrument, Hcr1RuleOnlyWithoutConfiguredKey) {
    const struct {
        bool keyPresent;
        std::uint8_t model;
        const char* before;
        const char* after;
    } cases[] = {
        {false, 14, "A3", "93"}, {false, ModelCodeM7, "A3", "A3"}, {false, 120, "A3", "93"},
        {true, 14, "C1", "C1"},  {true, ModelCodeM7, "C1", "C1"},  {true, 14, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "key " << c.keyPresent << " model " << int(c.model));
        IdRig rig(IdentityReply(14, c.model, 15, 10));
        rig.station.settings.HCR1KeyPresent = c.keyPresent;
        rig.station.settings.HCR1Value = c.before;
        ASSERT_TRUE(IdentifyInstrument(rig.s));
        // What the job programs; the settings themselves stay as they were.
        EXPECT_EQ(rig.s.Hcr1(), c.after);
        EXPECT_EQ(rig.station.settings.HCR1Value, c.before);
    }
}

TEST(IdentifyInstrument, ClosedPortIsNotIdentified) {
    UpdateRig rig;
    rig.s.SerialText = "14v071510";
    EXPECT_FALSE(IdentifyInstrument(rig.s));
    EXPECT_EQ(rig.s.SerialText, "14v071510");
}

}  // namespace
}  // namespace zentor::test

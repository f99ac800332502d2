#include "instrument/frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "instrument_rig.h"

namespace zentor::test {
namespace {

std::uint8_t Crc(const std::string& text) {
    return CalcCrc8(reinterpret_cast<const std::uint8_t*>(text.data()),
                    static_cast<int>(text.size()));
}

TEST(CalcCrc8, CheckValues) {
    EXPECT_EQ(Crc("123456789"), 0xAB);
    EXPECT_EQ(Crc(""), 0x0F);
    EXPECT_EQ(Crc("abc"), 0x1D);
    const std::uint8_t any = 0x55;
    EXPECT_EQ(CalcCrc8(&any, -3), 0x0F);
}

// Every frame kind sent to address 1, as the instrument expects it on the wire.
TEST(Frames, ExampleFramesForAddressOne) {
    InstrumentRig rig;
    InstrumentBus bus = rig.Bus();
    const std::uint8_t closeLarge = 0xFA;
    bus.WriteByte(0x01, 0xFF, 0x01);
    bus.ReadBlock(0x81, 0xED, 1);
    bus.WriteByte(0x01, 0xFE, 0x03);
    bus.ReadBlock(0x81, 0xFF, 1);
    bus.WriteBlock(0x01, 0xFF, 1, &closeLarge);
    EXPECT_EQ(rig.port.Writes(), (std::vector<Bytes>{{0x01, 0xFF, 0x01, 0x2B},
                                                     {0x81, 0xED, 0x00, 0x6A},
                                                     {0x01, 0xFE, 0x03, 0x53},
                                                     {0x81, 0xFF, 0x00, 0x17},
                                                     {0x01, 0xFF, 0x00, 0xFA, 0xCD}}));
}

TEST(Frames, BlockFrameCarriesCountMinusOneAndFullPayload) {
    InstrumentRig rig;
    const Bytes payload = Pattern(256, 3);
    ASSERT_TRUE(rig.Bus().WriteBlock(0x41, 0x00, 256, payload.data()));
    Bytes expected{0x41, 0x00, 0xFF};
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(rig.port.Writes().back(), WithCrc(expected));
}

// One exchange: wait 10, purge, one write, wait 10, one read of the reply size, wait 5.
TEST(Frames, PacingOfOneExchange) {
    struct Case {
        const char* name;
        std::function<bool(InstrumentBus&)> call;
        std::size_t frameSize;
        std::size_t readSize;
    };
    const Bytes payload = Pattern(16, 1);
    const Case cases[] = {
        {"byte", [](InstrumentBus& b) { return b.WriteByte(1, 0xFE, 3); }, 4, 2},
        {"block", [&](InstrumentBus& b) { return b.WriteBlock(0x41, 16, 16, payload.data()); }, 20,
         2},
        {"read", [](InstrumentBus& b) { return b.ReadBlock(0xC1, 0, 128); }, 4, 131},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        InstrumentBus bus = rig.Bus();
        EXPECT_TRUE(c.call(bus));
        EXPECT_EQ(rig.clock.Sleeps(), (std::vector<int>{10, 10, 5}));
        const auto& ev = rig.port.events;
        ASSERT_EQ(ev.size(), 3u);
        EXPECT_EQ(ev[0].kind, ScriptedPort::Event::Purge);
        EXPECT_EQ(ev[0].atMs, 10);
        EXPECT_EQ(ev[1].kind, ScriptedPort::Event::Write);
        EXPECT_EQ(ev[1].bytes.size(), c.frameSize);
        EXPECT_EQ(ev[2].kind, ScriptedPort::Event::Read);
        EXPECT_EQ(ev[2].atMs, 20);
        EXPECT_EQ(ev[2].requested, c.readSize);
        EXPECT_EQ(rig.clock.NowMs(), 25);
    }
}

// How replies are judged, and what a failed one says of itself. The responder
// answers the one frame with `reply`, computed from the frame sent.
TEST(Frames, ReplyJudging) {
    struct Case {
        const char* name;
        bool read;  // ReadBlock of one byte, else WriteByte
        std::function<Bytes(const Bytes& frame)> reply;
        bool ok;
        LinkError kind;  // what LastError() says then
    };
    auto good = [](std::uint8_t data) {
        return [data](const Bytes& f) { return WithCrc({f[0], f[1], data}); };
    };
    const Case cases[] = {
        {"write: nothing", false, [](const Bytes&) { return Bytes{}; }, false, LinkError::Timeout},
        {"write: one byte echo", false, [](const Bytes& f) { return Bytes{f.back()}; }, true,
         LinkError::None},
        {"write: one wrong byte", false,
         [](const Bytes& f) { return Bytes{static_cast<std::uint8_t>(f.back() ^ 1)}; }, false,
         LinkError::EchoMissing},
        {"write: any first, echo second", false,
         [](const Bytes& f) {
             return Bytes{0xEE, f.back()};
         },
         true, LinkError::None},
        {"write: echo first, wrong second", false,
         [](const Bytes& f) {
             return Bytes{f.back(), 0x00};
         },
         false, LinkError::EchoMissing},
        {"read: good", true, good(0x42), true, LinkError::None},
        {"read: data above 0x7F", true, good(0xF3), true, LinkError::None},
        {"read: short by one", true,
         [](const Bytes& f) {
             return Bytes{f[0], f[1], 0x42};
         },
         false, LinkError::ShortReply},
        {"read: nothing", true, [](const Bytes&) { return Bytes{}; }, false, LinkError::Timeout},
        {"read: wrong checksum", true,
         [](const Bytes& f) {
             Bytes r = WithCrc({f[0], f[1], 0x42});
             r.back() ^= 0x80;
             return r;
         },
         false, LinkError::Checksum},
        {"read: checksum over unsigned bytes", true,
         [](const Bytes&) {
             return Bytes{0x81, 0xED, 0x00, 0x6A};
         },
         true, LinkError::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.port.responder = c.reply;
        InstrumentBus bus = rig.Bus();
        const bool ok = c.read ? bus.ReadBlock(0x81, 0xED, 1) : bus.WriteByte(0x01, 0xFE, 0x03);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(bus.LastError(), c.kind) << LinkErrorText(bus.LastError());
    }
}

TEST(Frames, ReadPutsRawReplyInBufferEvenOnFailure) {
    InstrumentRig rig;
    InstrumentBus bus = rig.Bus();
    rig.port.responder = [](const Bytes&) { return WithCrc({0x01, 0x02, 0x77}); };
    ASSERT_TRUE(bus.ReadBlock(0x81, 0xED, 1));
    rig.port.responder = [](const Bytes&) { return Bytes{0x81, 0xED}; };
    EXPECT_FALSE(bus.ReadBlock(0x81, 0xED, 1));
    EXPECT_EQ(bus.Reply()[0], 0x81);
    EXPECT_EQ(bus.Reply()[1], 0xED);
    EXPECT_EQ(bus.Reply()[2], 0x77);
}

// A byte left over from one exchange must not spoil the next one.
TEST(Frames, SurplusIsPurgedBeforeTheNextExchange) {
    InstrumentRig rig;
    int n = 0;
    rig.port.responder = [&](const Bytes& f) {
        Bytes r = WithCrc({f[0], f[1], 0x10});
        if (n++ == 0) r.push_back(0x99);  // surplus after the first reply
        return r;
    };
    InstrumentBus bus = rig.Bus();
    EXPECT_TRUE(bus.ReadBlock(0x81, 0xED, 1));
    EXPECT_EQ(rig.port.rx.size(), 1u);
    EXPECT_TRUE(bus.ReadBlock(0x81, 0xED, 1));
    EXPECT_EQ(bus.Reply()[2], 0x10);
}

TEST(Frames, CountOutsideOneTo256IsRefusedBeforeSending) {
    InstrumentRig rig;
    const Bytes payload(300, 0);
    InstrumentBus bus = rig.Bus();
    for (int count : {0, -1, 257, 1000}) {
        SCOPED_TRACE(count);
        EXPECT_FALSE(bus.WriteBlock(0x41, 0, count, payload.data()));
        EXPECT_FALSE(bus.ReadBlock(0xC1, 0, count));
    }
    EXPECT_TRUE(rig.port.events.empty());
    EXPECT_TRUE(rig.clock.Sleeps().empty());
}

// A closed port behaves as a silent device: no crash, no read deadline.
TEST(Frames, ClosedPortIsASilentLine) {
    InstrumentRig rig;
    rig.s.port.reset();
    InstrumentBus bus = rig.Bus();
    const std::uint8_t one = 1;
    EXPECT_FALSE(bus.WriteByte(1, 0xFF, 1));
    EXPECT_FALSE(bus.WriteBlock(1, 0xFF, 1, &one));
    EXPECT_FALSE(bus.ReadBlock(0x81, 0xED, 1));
    EXPECT_EQ(bus.LastError(), LinkError::PortGone);
    EXPECT_EQ(rig.clock.NowMs(), 75);
    EXPECT_TRUE(rig.port.events.empty());
}

}  // namespace
}  // namespace zentor::test

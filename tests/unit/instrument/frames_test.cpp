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
    Session& s = rig.s;
    std::array<std::uint8_t, 8> reply{};
    const std::uint8_t closeLarge = 0xFA;
    DevWriteByte(s, 0x01, 0xFF, 0x01);
    DevReadBlock(s, 0x81, 0xED, 1, reply.data());
    DevWriteByte(s, 0x01, 0xFE, 0x03);
    DevReadBlock(s, 0x81, 0xFF, 1, reply.data());
    DevWriteBlock(s, 0x01, 0xFF, 1, &closeLarge);
    EXPECT_EQ(rig.port.Writes(), (std::vector<Bytes>{{0x01, 0xFF, 0x01, 0x2B},
                                                     {0x81, 0xED, 0x00, 0x6A},
                                                     {0x01, 0xFE, 0x03, 0x53},
                                                     {0x81, 0xFF, 0x00, 0x17},
                                                     {0x01, 0xFF, 0x00, 0xFA, 0xCD}}));
}

TEST(Frames, BlockFrameCarriesCountMinusOneAndFullPayload) {
    InstrumentRig rig;
    const Bytes payload = Pattern(256, 3);
    ASSERT_TRUE(DevWriteBlock(rig.s, 0x41, 0x00, 256, payload.data()));
    Bytes expected{0x41, 0x00, 0xFF};
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(rig.port.Writes().back(), WithCrc(expected));
}

// One exchange: wait 10, purge, one write, wait 10, one read of the reply size, wait 5.
TEST(Frames, PacingOfOneExchange) {
    struct Case {
        const char* name;
        std::function<bool(Session&)> call;
        std::size_t frameSize;
        std::size_t readSize;
    };
    const Bytes payload = Pattern(16, 1);
    const Case cases[] = {
        {"byte", [](Session& s) { return DevWriteByte(s, 1, 0xFE, 3); }, 4, 2},
        {"block", [&](Session& s) { return DevWriteBlock(s, 0x41, 16, 16, payload.data()); }, 20,
         2},
        {"read",
         [](Session& s) {
             std::array<std::uint8_t, 300> r{};
             return DevReadBlock(s, 0xC1, 0, 128, r.data());
         },
         4, 131},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        EXPECT_TRUE(c.call(rig.s));
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

// How replies are judged. The responder answers the one frame with `reply`,
// computed from the frame sent.
TEST(Frames, ReplyJudging) {
    struct Case {
        const char* name;
        bool read;  // DevReadBlock of one byte, else DevWriteByte
        std::function<Bytes(const Bytes& frame)> reply;
        bool ok;
    };
    auto good = [](std::uint8_t data) {
        return [data](const Bytes& f) { return WithCrc({f[0], f[1], data}); };
    };
    const Case cases[] = {
        {"write: nothing", false, [](const Bytes&) { return Bytes{}; }, false},
        {"write: one byte echo", false, [](const Bytes& f) { return Bytes{f.back()}; }, true},
        {"write: one wrong byte", false,
         [](const Bytes& f) { return Bytes{static_cast<std::uint8_t>(f.back() ^ 1)}; }, false},
        {"write: any first, echo second", false,
         [](const Bytes& f) {
             return Bytes{0xEE, f.back()};
         },
         true},
        {"write: echo first, wrong second", false,
         [](const Bytes& f) {
             return Bytes{f.back(), 0x00};
         },
         false},
        {"read: good", true, good(0x42), true},
        {"read: data above 0x7F", true, good(0xF3), true},
        {"read: short by one", true,
         [](const Bytes& f) {
             return Bytes{f[0], f[1], 0x42};
         },
         false},
        {"read: nothing", true, [](const Bytes&) { return Bytes{}; }, false},
        {"read: wrong checksum", true,
         [](const Bytes& f) {
             Bytes r = WithCrc({f[0], f[1], 0x42});
             r.back() ^= 0x80;
             return r;
         },
         false},
        {"read: checksum over unsigned bytes", true,
         [](const Bytes&) {
             return Bytes{0x81, 0xED, 0x00, 0x6A};
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentRig rig;
        rig.port.responder = c.reply;
        std::array<std::uint8_t, 8> buf{};
        const bool ok = c.read ? DevReadBlock(rig.s, 0x81, 0xED, 1, buf.data())
                               : DevWriteByte(rig.s, 0x01, 0xFE, 0x03);
        EXPECT_EQ(ok, c.ok);
    }
}

TEST(Frames, ReadPutsRawReplyInBufferEvenOnFailure) {
    InstrumentRig rig;
    rig.port.responder = [](const Bytes&) { return Bytes{0x81, 0xED}; };
    std::array<std::uint8_t, 8> buf{};
    buf.fill(0x77);
    EXPECT_FALSE(DevReadBlock(rig.s, 0x81, 0xED, 1, buf.data()));
    EXPECT_EQ(buf[0], 0x81);
    EXPECT_EQ(buf[1], 0xED);
    EXPECT_EQ(buf[2], 0x77);
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
    std::array<std::uint8_t, 8> buf{};
    EXPECT_TRUE(DevReadBlock(rig.s, 0x81, 0xED, 1, buf.data()));
    EXPECT_EQ(rig.port.rx.size(), 1u);
    EXPECT_TRUE(DevReadBlock(rig.s, 0x81, 0xED, 1, buf.data()));
    EXPECT_EQ(buf[2], 0x10);
}

TEST(Frames, CountOutsideOneTo256IsRefusedBeforeSending) {
    InstrumentRig rig;
    const Bytes payload(300, 0);
    std::array<std::uint8_t, 300> buf{};
    for (int count : {0, -1, 257, 1000}) {
        SCOPED_TRACE(count);
        EXPECT_FALSE(DevWriteBlock(rig.s, 0x41, 0, count, payload.data()));
        EXPECT_FALSE(DevReadBlock(rig.s, 0xC1, 0, count, buf.data()));
    }
    EXPECT_TRUE(rig.port.events.empty());
    EXPECT_TRUE(rig.clock.Sleeps().empty());
}

// A closed port behaves as a silent device: no crash, no read deadline.
TEST(Frames, ClosedPortIsASilentLine) {
    InstrumentRig rig;
    rig.s.hComPort.reset();
    std::array<std::uint8_t, 8> buf{};
    const std::uint8_t one = 1;
    EXPECT_FALSE(DevWriteByte(rig.s, 1, 0xFF, 1));
    EXPECT_FALSE(DevWriteBlock(rig.s, 1, 0xFF, 1, &one));
    EXPECT_FALSE(DevReadBlock(rig.s, 0x81, 0xED, 1, buf.data()));
    EXPECT_EQ(rig.clock.NowMs(), 75);
    EXPECT_TRUE(rig.port.events.empty());
}

}  // namespace
}  // namespace zentor::test

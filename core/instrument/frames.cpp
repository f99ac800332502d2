#include "instrument/frames.h"

namespace zentor {

std::uint8_t CalcCrc8(const std::uint8_t* data, int length) {
    std::uint8_t r = 0x0F;
    for (int i = 0; i < length; ++i) {
        r ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 1) ? static_cast<std::uint8_t>((r >> 1) ^ 0x8C)
                        : static_cast<std::uint8_t>(r >> 1);
        }
    }
    return r;
}

// One paced exchange; returns the count received. delivered_: the frame left
// whole and the port is still there.
std::size_t InstrumentBus::Exchange(std::size_t frameSize, std::uint8_t* reply,
                                    std::size_t replySize) {
    clock_.SleepMs(options_.settleMs);
    port_.PurgeRx();
    delivered_ = port_.Write(frame_.data(), frameSize) == frameSize;
    clock_.SleepMs(options_.replyWaitMs);
    std::size_t got = port_.Read(reply, replySize);
    if (got > replySize) got = replySize;
    clock_.SleepMs(options_.gapMs);
    delivered_ = delivered_ && !port_.Gone();
    return got;
}

// Write kinds: the last byte received must echo the frame's checksum.
bool InstrumentBus::SendWithEcho(std::size_t frameSize) {
    std::array<std::uint8_t, 2> echo{};
    const std::uint8_t crc = frame_[frameSize - 1];
    const std::size_t got = Exchange(frameSize, echo.data(), echo.size());
    const bool ok = got > 0 && echo[got - 1] == crc;
    error_ = ok ? LinkError::None : FailedExchange(delivered_, got, 1, LinkError::EchoMissing);
    return ok;
}

bool InstrumentBus::WriteByte(std::uint8_t address, std::uint8_t reg, std::uint8_t value) {
    frame_[0] = address;
    frame_[1] = reg;
    frame_[2] = value;
    frame_[3] = CalcCrc8(frame_.data(), 3);
    return SendWithEcho(4);
}

bool InstrumentBus::WriteBlock(std::uint8_t address, std::uint8_t reg, int count,
                               const std::uint8_t* payload) {
    if (count < 1 || count > kMaxBlock || !payload) return false;
    frame_[0] = address;
    frame_[1] = reg;
    frame_[2] = static_cast<std::uint8_t>(count - 1);
    for (int i = 0; i < count; ++i) frame_[3 + i] = payload[i];
    frame_[count + 3] = CalcCrc8(frame_.data(), count + 3);
    return SendWithEcho(static_cast<std::size_t>(count) + 4);
}

bool InstrumentBus::ReadBlock(std::uint8_t address, std::uint8_t reg, int count) {
    if (count < 1 || count > kMaxBlock) return false;
    frame_[0] = address;
    frame_[1] = reg;
    frame_[2] = static_cast<std::uint8_t>(count - 1);
    frame_[3] = CalcCrc8(frame_.data(), 3);
    const std::size_t want = static_cast<std::size_t>(count) + 3;
    const std::size_t got = Exchange(4, reply_.data(), want);
    const bool ok = got == want && CalcCrc8(reply_.data(), count + 2) == reply_[count + 2];
    error_ = ok ? LinkError::None : FailedExchange(delivered_, got, want, LinkError::Checksum);
    return ok;
}

}  // namespace zentor

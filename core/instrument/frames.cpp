#include "instrument/frames.h"

#include <array>
#include <cstddef>

namespace zentor {

namespace {

constexpr int kMaxBlock = 256;

// One paced exchange: wait, purge, send the frame, wait, read up to replySize
// bytes, wait. Returns the count received. A closed port sends nothing and
// receives nothing (a silent line), without the read deadline.
std::size_t Exchange(Session& s, const std::uint8_t* frame, std::size_t frameSize,
                     std::uint8_t* reply, std::size_t replySize) {
    s.clock.SleepMs(10);
    Port* port = s.hComPort.get();
    if (port) {
        port->PurgeRx();
        port->Write(frame, frameSize);
    }
    s.clock.SleepMs(10);
    std::size_t got = port ? port->Read(reply, replySize) : 0;
    if (got > replySize) got = replySize;
    s.clock.SleepMs(5);
    return got;
}

// Write kinds: the last byte received must echo the frame's checksum.
bool SendWithEcho(Session& s, const std::uint8_t* frame, std::size_t frameSize) {
    std::array<std::uint8_t, 2> reply{};
    const std::uint8_t crc = frame[frameSize - 1];
    const std::size_t got = Exchange(s, frame, frameSize, reply.data(), reply.size());
    return got > 0 && reply[got - 1] == crc;
}

}  // namespace

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

bool DevWriteByte(Session& s, std::uint8_t address, std::uint8_t reg, std::uint8_t value) {
    std::array<std::uint8_t, 4> frame{address, reg, value, 0};
    frame[3] = CalcCrc8(frame.data(), 3);
    return SendWithEcho(s, frame.data(), frame.size());
}

bool DevWriteBlock(Session& s, std::uint8_t address, std::uint8_t reg, int count,
                   const std::uint8_t* payload) {
    if (count < 1 || count > kMaxBlock || !payload) return false;
    std::array<std::uint8_t, kMaxBlock + 4> frame{};
    frame[0] = address;
    frame[1] = reg;
    frame[2] = static_cast<std::uint8_t>(count - 1);
    for (int i = 0; i < count; ++i) frame[3 + i] = payload[i];
    frame[count + 3] = CalcCrc8(frame.data(), count + 3);
    return SendWithEcho(s, frame.data(), static_cast<std::size_t>(count) + 4);
}

bool DevReadBlock(Session& s, std::uint8_t address, std::uint8_t reg, int count,
                  std::uint8_t* reply) {
    if (count < 1 || count > kMaxBlock || !reply) return false;
    std::array<std::uint8_t, 4> frame{address, reg, static_cast<std::uint8_t>(count - 1), 0};
    frame[3] = CalcCrc8(frame.data(), 3);
    const std::size_t want = static_cast<std::size_t>(count) + 3;
    if (Exchange(s, frame.data(), frame.size(), reply, want) < want) return false;
    return CalcCrc8(reply, count + 2) == reply[count + 2];
}

}  // namespace zentor

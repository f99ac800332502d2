// Framed, checksummed exchanges with a running instrument. Every exchange waits
// settleMs, purges input, sends the frame, waits replyWaitMs, reads the reply
// (bounded by the port's read deadline) and waits gapMs. A silent or short reply
// fails the exchange; nothing is retried here. LastError() says how the last
// exchange fell short (None after one that went as expected).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/clock.h"
#include "common/link_error.h"
#include "serial/port.h"

namespace zentor {

// CRC-8 (poly 0x31 reflected, register start 0x0F, no final xor). length <= 0 -> 0x0F.
std::uint8_t CalcCrc8(const std::uint8_t* data, int length);

// Pacing of one exchange, in milliseconds.
struct InstrumentBusOptions {
    int settleMs = 10;     // before the frame
    int replyWaitMs = 10;  // between the frame and the read
    int gapMs = 5;         // after the read
};

// The instrument's frame protocol on one port. Addresses carry the kind bits
// (0x80 read, 0x40 / 0xC0 block) as the caller composes them.
class InstrumentBus {
public:
    static constexpr int kMaxBlock = 256;

    InstrumentBus(Port& port, Clock& clock, InstrumentBusOptions options = {})
        : port_(port), clock_(clock), options_(options) {}

    // Value frame [address, reg, value, crc]; true when the last reply byte echoes the crc.
    bool WriteByte(std::uint8_t address, std::uint8_t reg, std::uint8_t value);
    // Block frame [address, reg, count-1, payload..., crc]; count 1..256.
    bool WriteBlock(std::uint8_t address, std::uint8_t reg, int count, const std::uint8_t* payload);
    // Read request [address, reg, count-1, crc]; the count+3 reply bytes land in
    // Reply() (data from index 2). True when all arrived and the checksum is good.
    bool ReadBlock(std::uint8_t address, std::uint8_t reg, int count);

    const std::uint8_t* Reply() const { return reply_.data(); }
    // PortGone (the frame did not leave whole, or the port went away), Timeout (no reply byte),
    // EchoMissing (a write's last reply byte is not its checksum), ShortReply or
    // Checksum (a read's reply), or None.
    LinkError LastError() const { return error_; }

private:
    std::size_t Exchange(std::size_t frameSize, std::uint8_t* reply, std::size_t replySize);
    bool SendWithEcho(std::size_t frameSize);

    Port& port_;
    Clock& clock_;
    InstrumentBusOptions options_;
    LinkError error_ = LinkError::None;
    bool delivered_ = false;  // of the last exchange
    std::array<std::uint8_t, kMaxBlock + 4> frame_{};
    std::array<std::uint8_t, kMaxBlock + 3> reply_{};
};

}  // namespace zentor

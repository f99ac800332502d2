// Framed, checksummed exchanges with a running instrument on the session's port.
#pragma once

#include <cstdint>

#include "common/session.h"

namespace zentor {

// CRC-8 (poly 0x31 reflected, register start 0x0F, no final xor). length <= 0 -> 0x0F.
std::uint8_t CalcCrc8(const std::uint8_t* data, int length);

// Value frame [address, reg, value, crc]; true when the last reply byte echoes the crc.
bool DevWriteByte(Session& s, std::uint8_t address, std::uint8_t reg, std::uint8_t value);
// Block frame [address, reg, count-1, payload..., crc]; count 1..256.
bool DevWriteBlock(Session& s, std::uint8_t address, std::uint8_t reg, int count,
                   const std::uint8_t* payload);
// Read request [address, reg, count-1, crc]; reply count+3 bytes into `reply`
// (data from index 2); true when all arrived and the checksum is good.
bool DevReadBlock(Session& s, std::uint8_t address, std::uint8_t reg, int count,
                  std::uint8_t* reply);

}  // namespace zentor

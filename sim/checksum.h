// Frame checksum of the instrument's serial bus.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zentor::sim {

// Reflected CRC-8, polynomial 31h, register preset to 0Fh, no final xor.
std::uint8_t FrameChecksum(const std::uint8_t* data, std::size_t size);

}  // namespace zentor::sim

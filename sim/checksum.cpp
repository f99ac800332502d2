#include "checksum.h"

namespace zentor::sim {

std::uint8_t FrameChecksum(const std::uint8_t* data, std::size_t size) {
    std::uint8_t r = 0x0F;
    for (std::size_t i = 0; i < size; ++i) {
        r ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 1) ? static_cast<std::uint8_t>((r >> 1) ^ 0x8C)
                        : static_cast<std::uint8_t>(r >> 1);
        }
    }
    return r;
}

}  // namespace zentor::sim

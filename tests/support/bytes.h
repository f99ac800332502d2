// Byte strings for tests: the one test-data generator every rig and test uses,
// and text as bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zentor::test {

using Bytes = std::vector<std::uint8_t>;

// `size` bytes that depend on the index, the 256-byte page and the seed: pages of
// one image differ from each other, and images of different seeds differ at every
// byte, so a misplaced, repeated or mixed-up page shows.
inline Bytes Pattern(std::size_t size, unsigned seed = 0) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) * 13 + seed * 101 + 1) & 0xFF);
    return b;
}

inline Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace zentor::test

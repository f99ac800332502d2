// Loading of the binary images (program, DATA FLASH) the tool writes to a chip.
// Reads the whole file at once; no waits. Failures come back typed, never logged:
// each caller words them in its own log line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace zentor {

// Largest image any command accepts: the 64 KiB address space of the chip.
inline constexpr std::size_t kMaxImage = 65536;

enum class ImageError {
    None,
    Missing,     // no regular file of that name
    Unreadable,  // exists, but its size or contents could not be read
    TooLarge,    // more than kMaxImage bytes (not read when the size already tells)
    Empty,       // zero bytes; callers that accept an empty image take `bytes` as is
};

struct ImageLoad {
    ImageError error = ImageError::None;
    std::uintmax_t size = 0;  // file length as found (also for TooLarge)
    std::vector<std::uint8_t> bytes;

    // True for a loaded image, empty or not.
    bool Loaded() const { return error == ImageError::None || error == ImageError::Empty; }
};

// Reads the image at path (already resolved by the caller).
ImageLoad LoadImageFile(const std::filesystem::path& path);

}  // namespace zentor

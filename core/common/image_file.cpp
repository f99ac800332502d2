#include "common/image_file.h"

#include <system_error>

#include "common/files.h"

namespace zentor {

ImageLoad LoadImageFile(const std::filesystem::path& path) {
    ImageLoad out;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        out.error = ImageError::Missing;
        return out;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        out.error = ImageError::Unreadable;
        return out;
    }
    out.size = size;
    if (size > kMaxImage) {
        out.error = ImageError::TooLarge;
        return out;
    }
    auto bytes = ReadWholeFile(path);
    if (!bytes) {
        out.error = ImageError::Unreadable;
        return out;
    }
    // The file may have grown between the size check and the read.
    out.size = bytes->size();
    if (bytes->size() > kMaxImage) {
        out.error = ImageError::TooLarge;
        return out;
    }
    out.bytes = std::move(*bytes);
    if (out.bytes.empty()) out.error = ImageError::Empty;
    return out;
}

}  // namespace zentor

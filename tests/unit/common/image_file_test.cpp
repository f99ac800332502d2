#include "common/image_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace zentor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every outcome of the one image loader, at the size limit and around it.
TEST(ImageFile, TypedOutcomes) {
    struct Case {
        const char* name;
        int size;  // -1: no file, -2: a folder of that name
        ImageError error;
        bool loaded;
    };
    const Case cases[] = {
        {.name = "missing", .size = -1, .error = ImageError::Missing, .loaded = false},
        {.name = "folder", .size = -2, .error = ImageError::Missing, .loaded = false},
        {.name = "empty", .size = 0, .error = ImageError::Empty, .loaded = true},
        {.name = "one byte", .size = 1, .error = ImageError::None, .loaded = true},
        {.name = "at the limit", .size = 65536, .error = ImageError::None, .loaded = true},
        {.name = "one over", .size = 65537, .error = ImageError::TooLarge, .loaded = false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchDir dir{"image"};
        Bytes content;
        if (c.size >= 0) {
            content.resize(static_cast<std::size_t>(c.size));
            for (std::size_t i = 0; i < content.size(); ++i)
                content[i] = static_cast<std::uint8_t>(i * 7 + 1);
            dir.Write("x.bin", content);
        } else if (c.size == -2) {
            std::filesystem::create_directory(dir / "x.bin");
        }
        const ImageLoad image = LoadImageFile(dir / "x.bin");
        EXPECT_EQ(image.error, c.error);
        EXPECT_EQ(image.Loaded(), c.loaded);
        if (c.loaded) {
            EXPECT_EQ(image.bytes, content);
        }
        if (c.error == ImageError::TooLarge) {
            EXPECT_EQ(image.size, 65537u);
            EXPECT_TRUE(image.bytes.empty()) << "a file known to be too large is not read";
        }
    }
}

}  // namespace
}  // namespace zentor

// Removes a scratch folder even when tests left read-only files in it (Windows
// refuses to delete those).
#pragma once

#include <filesystem>
#include <system_error>

namespace zentor::test {

inline void RemoveTree(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::add, ec);
    }
    fs::remove_all(dir, ec);
}

}  // namespace zentor::test

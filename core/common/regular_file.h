// Opening a file that the tool creates, appends to or locks in place in a work
// folder (the folder lock, the journal, a file rewritten where it stands): never
// through a symbolic link (O_NOFOLLOW; on Windows no reparse point is followed)
// and only when it is a regular file. A link planted at the name therefore can
// neither make the tool truncate, write or lock its target, nor hang it on a FIFO
// or a device: the open fails with a reason the caller logs. Never waits.
#pragma once

#include <filesystem>
#include <string>

#include "text/message.h"

namespace zentor {

// The reasons given when something other than a regular file stands at the name.
inline std::string SymlinkNotFileText() {
    return Render(ZT("file.symlink", "символическая ссылка, а не файл"));
}
inline std::string NotRegularFileText() {
    return Render(ZT("file.not_regular", "не обычный файл"));
}

#ifdef _WIN32
// CreateFileW with the given access, share mode and disposition (OPEN_ALWAYS or
// OPEN_EXISTING: the check follows the open), refusing a reparse point and
// anything but a disk file. The handle, or nullptr with *why set ("error N" for
// a failed open; the last-error code is kept).
void* OpenRegularFile(const std::filesystem::path& path, unsigned long access, unsigned long share,
                      unsigned long disposition, std::string* why);
#else
// open(2) with `flags` (no O_TRUNC: the check follows the open; O_CREAT makes
// the file with mode 0644), refusing a symbolic link and anything but a regular
// file. The descriptor (blocking, close-on-exec), or -1 with *why set and errno
// kept from the failed step.
int OpenRegularFile(const std::filesystem::path& path, int flags, std::string* why);
#endif

}  // namespace zentor

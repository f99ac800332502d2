#include <windows.h>

#include "common/regular_file.h"

namespace zentor {

void* OpenRegularFile(const std::filesystem::path& path, unsigned long access, unsigned long share,
                      unsigned long disposition, std::string* why) {
    // The reparse point itself is opened, never what it points to.
    HANDLE h = CreateFileW(path.wstring().c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (why) *why = "error " + std::to_string(err);
        SetLastError(err);
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(h, &info);
    const bool link = known && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!known || link || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        GetFileType(h) != FILE_TYPE_DISK) {
        if (why) *why = link ? SymlinkNotFileText() : NotRegularFileText();
        CloseHandle(h);
        SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    return h;
}

}  // namespace zentor

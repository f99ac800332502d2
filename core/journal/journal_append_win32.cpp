// Locked append and computer name on Windows: LockFileEx on one byte far beyond
// any journal's end, so readers of the text are never blocked by the lock.
#include <windows.h>

#include "common/regular_file.h"
#include "journal/journal.h"

namespace zentor {
namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return "";
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string LastErrorText(const char* what) {
    return std::string(what) + ": error " + std::to_string(GetLastError());
}

}  // namespace

bool AppendJournalLine(const std::filesystem::path& path, const JournalLine& line,
                       std::string* error) {
    std::string why;
    HANDLE h =
        OpenRegularFile(path, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS, &why);
    if (h == nullptr) {
        if (error) *error = why;
        return false;
    }
    OVERLAPPED region{};
    region.Offset = 0;
    region.OffsetHigh = 0x7FFFFFFF;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region)) {
        if (error) *error = LastErrorText("LockFileEx");
        CloseHandle(h);
        return false;
    }
    bool ok = true;
    LARGE_INTEGER size{};
    std::string text;
    if (!GetFileSizeEx(h, &size)) {
        ok = false;
        if (error) *error = LastErrorText("GetFileSizeEx");
    } else {
        if (size.QuadPart == 0) {
            text = "\xEF\xBB\xBF" + JournalHeader() + "\r\n";
        } else {
            // A write cut short leaves no line end: the new line starts on its own.
            char last = '\n';
            DWORD got = 0;
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xFFFFFFFF);
            at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
            if (!ReadFile(h, &last, 1, &got, &at) || got != 1 || last != '\n') text = "\r\n";
        }
        text += FormatJournalLine(line) + "\r\n";
        LARGE_INTEGER zero{};
        DWORD written = 0;
        ok = SetFilePointerEx(h, zero, nullptr, FILE_END) &&
             WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
             written == text.size();
        if (!ok && error) *error = LastErrorText("WriteFile");
        FlushFileBuffers(h);
    }
    UnlockFileEx(h, 0, 1, 0, &region);
    CloseHandle(h);
    return ok;
}

std::string ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return "";
    return Utf8(std::wstring(name, size));
}

}  // namespace zentor

#include "common/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/regular_file.h"

namespace zentor {
namespace fs = std::filesystem;

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

fs::path ResolveNoCase(const fs::path& dir, const std::string& name) {
    fs::path exact = dir / name;
    std::error_code ec;
    if (fs::exists(exact, ec)) return exact;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (EqualNoCase(it->path().filename().string(), name)) return it->path();
    }
    return exact;
}

bool ExistsNoCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    return fs::is_regular_file(ResolveNoCase(dir, name), ec);
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> data;
    in.seekg(0, std::ios::end);
    std::streamoff len = in.tellg();
    if (len < 0) return std::nullopt;
    in.seekg(0, std::ios::beg);
    data.resize(static_cast<std::size_t>(len));
    if (len > 0 && !in.read(reinterpret_cast<char*>(data.data()), len)) return std::nullopt;
    return data;
}

namespace {

#ifdef _WIN32
// Rewrites the file itself: the same file object, links and security stay.
bool WriteInPlace(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    HANDLE h = OpenRegularFile(path, GENERIC_WRITE, 0, OPEN_EXISTING, nullptr);
    if (h == nullptr) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < size;) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
        ok = WriteFile(h, data + done, chunk, &n, nullptr) && n > 0;
        done += n;
    }
    ok = ok && SetEndOfFile(h) && FlushFileBuffers(h);
    CloseHandle(h);
    return ok;
}

// More than one hard link: replacing the file would split it from the others.
bool HasOtherLinks(const fs::path& path) {
    HANDLE h = OpenRegularFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, nullptr);
    if (h == nullptr) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool linked = GetFileInformationByHandle(h, &info) && info.nNumberOfLinks > 1;
    CloseHandle(h);
    return linked;
}
#else
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteInPlace(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    const int fd = OpenRegularFile(path, O_WRONLY, nullptr);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, size);
    ok = ok && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}
#endif

}  // namespace

bool WriteFileAtomic(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    // Unique per process and call, so two writers never share a temporary file.
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(::getpid());
#endif
    fs::path tmp = path;
    tmp += "." + std::to_string(pid) + "-" + std::to_string(++counter) + ".tmp~";

#ifdef _WIN32
    std::error_code ec;
    // A link at the name is replaced, never written through.
    const bool exists = fs::is_regular_file(fs::symlink_status(path, ec));
    if (exists && HasOtherLinks(path)) return WriteInPlace(path, data, size);
    {
        std::FILE* f = _wfopen(tmp.c_str(), L"wb");
        if (!f) return false;
        bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
        ok = std::fflush(f) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            fs::remove(tmp, ec);
            return false;
        }
    }
    if (!MoveFileExW(tmp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(tmp.c_str());
        return false;
    }
    return true;
#else
    struct stat old {};
    // A symbolic link at the name is replaced, never written through.
    const bool exists = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // Other names of the same file must see the new content: it stays one file.
    if (exists && old.st_nlink > 1) return WriteInPlace(path, data, size);

    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool keepsOwner = true;
    if (exists) {
        // Owner first: a change of owner clears the set-id bits that fchmod restores.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0)
            keepsOwner = false;
        if (keepsOwner && ::fchmod(fd, old.st_mode & 07777) != 0) keepsOwner = false;
    }
    bool ok = keepsOwner && WriteAll(fd, data, size) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    // Not root and not the owner: the replacement would change hands, so the
    // file is rewritten where it is.
    if (!keepsOwner) return WriteInPlace(path, data, size);
    return false;
#endif
}

}  // namespace zentor

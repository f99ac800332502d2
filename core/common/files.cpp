#include "common/files.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zentor {
namespace fs = std::filesystem;

namespace {
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
}  // namespace

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
    {
        std::FILE* f = std::fopen(tmp.string().c_str(), "wb");
        if (!f) return false;
        bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
        ok = std::fflush(f) == 0 && ok;
#ifndef _WIN32
        ok = ok && ::fsync(fileno(f)) == 0;
#endif
        ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            std::error_code ec;
            fs::remove(tmp, ec);
            return false;
        }
    }
#ifdef _WIN32
    if (!MoveFileExA(tmp.string().c_str(), path.string().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(tmp.string().c_str());
        return false;
    }
#else
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
#endif
    return true;
}

}  // namespace zentor

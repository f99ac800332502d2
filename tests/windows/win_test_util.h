// Helpers shared by the Windows-only tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> turns these into macros that clash with the Frontend methods.
#undef MessageBox

namespace zentor::wintest {

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A path baked in at build time. Under Wine a Linux path ("/work/...") is reached
// through drive Z:, which maps the Linux root.
inline std::filesystem::path BuildPath(const char* path) {
    std::string p = path;
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    return std::filesystem::path(p);
}

// Environment variable, empty when unset.
inline std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

inline std::filesystem::path ExeDir() {
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::filesystem::path(std::string(buf, n)).parent_path();
}

// A fresh folder under the system temp folder, removed with its contents.
class TempDir {
public:
    TempDir() {
        static unsigned counter = 0;
        auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("zentor-win-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(GetTickCount64()) + "-" + std::to_string(counter++));
            std::error_code ec;
            if (std::filesystem::create_directory(path_, ec)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace zentor::wintest

// A fresh folder under the system temp folder, removed with everything in it
// (read-only files too) when the object goes. Portable: no POSIX calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "support/remove_tree.h"

namespace zentor::test {

class ScratchDir {
public:
    // Named zentor-<tag>-<random>-<serial>; an existing folder is never reused.
    // Throws std::runtime_error when none can be made.
    explicit ScratchDir(const std::string& tag = "test") {
        static std::atomic<unsigned> serial{0};
        const auto base = std::filesystem::temp_directory_path();
        std::error_code ec;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = base / ("zentor-" + tag + "-" + std::to_string(std::random_device{}()) + "-" +
                            std::to_string(++serial));
            if (std::filesystem::create_directory(path_, ec)) return;
        }
        throw std::runtime_error("cannot make a folder in " + base.string() + ": " + ec.message());
    }
    ~ScratchDir() { RemoveTree(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

    // Writes `bytes` as the file `name` of the folder; throws when it cannot.
    void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        WriteTo(path_ / name, bytes);
    }
    static void WriteTo(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path.string());
    }
    // The file's bytes; empty when it is missing.
    std::vector<std::uint8_t> Read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

private:
    std::filesystem::path path_;
};

}  // namespace zentor::test

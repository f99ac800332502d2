#include "cli_args.h"

#include <CLI/CLI.hpp>
#include <system_error>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <shellapi.h>  // after windows.h, whose types it uses
// clang-format on
#endif

namespace zentor {

namespace fs = std::filesystem;

Utf8Args::Utf8Args(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            const int n =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string word(n > 0 ? static_cast<std::size_t>(n) : 1u, '\0');
            if (n > 0)
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, word.data(), n, nullptr, nullptr);
            word.resize(word.size() - 1);  // the terminating NUL
            words_.push_back(std::move(word));
        }
        LocalFree(wide);
    }
#endif
    if (words_.empty()) words_.assign(argv, argv + argc);
    for (std::string& w : words_) pointers_.push_back(w.data());
    pointers_.push_back(nullptr);
}

CLI::Validator ExistingFolder() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::error_code ec;
            if (fs::is_directory(PathFromUtf8(text), ec)) return {};
            return "Directory does not exist: " + text;
        },
        "DIR", "EXISTING_FOLDER");
}

std::optional<std::string> ConfigFileRefusal(const std::string& file) {
    if (file.empty()) return std::nullopt;
    std::error_code ec;
    const fs::file_status st = fs::status(PathFromUtf8(file), ec);
    if (st.type() == fs::file_type::not_found)
        return "--config: configuration file does not exist: " + file;
    if (fs::is_directory(st)) return "--config: a folder, not a configuration file: " + file;
    return std::nullopt;
}

}  // namespace zentor

// clang-format off
// Ahead of <windows.h>, whose MessageBox macro would rename the front end's method.
#include "bootrom/build_tools.h"
#include <windows.h>
// clang-format on

#include <string>

namespace zentor {

bool RunBatchFile(const std::filesystem::path& batch, const std::filesystem::path& dir) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + batch.string() + "\"";
    const std::string folder = dir.string();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        return false;
    }
    const DWORD waited = WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0;
}

}  // namespace zentor

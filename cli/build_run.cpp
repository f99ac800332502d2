#include "build_run.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "bootrom/build_command.h"
#include "bootrom/build_tools.h"
#include "cli_args.h"

namespace zentor {

std::vector<std::string> BuildLeftovers(const Job& s) {
    std::vector<std::string> files{BatchFilePath(s.exePath).string()};
    if (IsPlainAsmFileName(s.settings.AsmFileName))
        files.push_back((s.workDir / ObjectFileName(s.settings.AsmFileName)).string());
    return files;
}

int RunBuildCommand(Job& s) {
    const BuildOutcome outcome = CompileProgram(s);
    // A missing or locked file is skipped, as at the window's exit.
    for (const std::string& file : s.TempFiles) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    s.TempFiles.clear();
    switch (outcome) {
        case BuildOutcome::Built:
            return kExitDone;
        case BuildOutcome::Declined:
            return kExitDeclined;
        case BuildOutcome::Failed:
            break;
    }
    return kExitFailed;
}

}  // namespace zentor

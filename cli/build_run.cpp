#include "build_run.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "bootrom/build_command.h"
#include "bootrom/build_tools.h"
#include "cli_args.h"

namespace zentor {

namespace {

// The two files a build may leave, named before the handler is installed so that
// it only reads them.
std::string g_batchFile;
std::string g_objectFile;

extern "C" void RemoveBuildFilesAndExit(int) {
#ifdef _WIN32
    if (!g_batchFile.empty()) _unlink(g_batchFile.c_str());
    if (!g_objectFile.empty()) _unlink(g_objectFile.c_str());
#else
    if (!g_batchFile.empty()) ::unlink(g_batchFile.c_str());
    if (!g_objectFile.empty()) ::unlink(g_objectFile.c_str());
#endif
    std::_Exit(130);
}

class RemoveOnInterrupt {
public:
    explicit RemoveOnInterrupt(const Session& s) {
        g_batchFile = BatchFilePath(s.exePath).string();
        g_objectFile.clear();
        if (IsPlainAsmFileName(s.settings.AsmFileName))
            g_objectFile = (s.workDir / ObjectFileName(s.settings.AsmFileName)).string();
        previous_ = std::signal(SIGINT, RemoveBuildFilesAndExit);
    }
    ~RemoveOnInterrupt() { std::signal(SIGINT, previous_); }
    RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
    RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

private:
    void (*previous_)(int) = SIG_DFL;
};

}  // namespace

int RunBuildCommand(Session& s) {
    BuildOutcome outcome = BuildOutcome::Failed;
    {
        RemoveOnInterrupt interrupt(s);
        outcome = CompileProgram(s);
    }
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

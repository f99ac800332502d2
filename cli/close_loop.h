// zentor-cli's verification and restore: `update --verify[=SECONDS]`,
// `verify --against FILE [--wait SECONDS]` and `restore FILE [--force]`.
// Each runs synchronously on the session's port; Ctrl-C ends a wait or a read.
// Exit status 0 only when the instrument holds what was written.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli11_fwd.h"
#include "session/session.h"
#include "verify/after_update.h"

namespace zentor::cli {

struct CloseLoopCommands {
    CLI::Option* verifyAfterUpdate = nullptr;  // update --verify[=SECONDS]
    int verifySeconds = 120;
    CLI::App* verify = nullptr;
    std::string against;
    int waitSeconds = 120;
    CLI::App* restore = nullptr;
    std::string restoreFile;
    bool force = false;
};

// Adds --verify to `update` and the verify and restore commands to `app`.
void AddCloseLoopCommands(CLI::App& app, CLI::App& update, CloseLoopCommands& c);

// How main runs a command: `onPort` opens the port, runs, closes it and maps the
// result to 0/1; `interruptible` runs its argument with Ctrl-C as Stop.
struct CliRun {
    std::function<int(const std::function<bool()>&)> onPort;
    std::function<bool(const std::function<bool()>&)> interruptible;
    // The connection and folder options the user gave (--config, --port, --baud,
    // --address, --dir, --journal), repeated in the command lines shown after a
    // failed check.
    std::vector<std::string> connection;
};

// The options of argv that `CliRun::connection` keeps.
std::vector<std::string> ConnectionArgs(int argc, char** argv);

// After an update that wrote the chip (the port closed): waits for the instrument
// and compares its DATA FLASH with `check`, taken by CheckAfterUpdate before the
// verification's own journal run replaced s.run. 0 when equal.
int VerifyAfterUpdate(Session& s, const CloseLoopCommands& c, const CliRun& run,
                      const std::optional<UpdateCheck>& check);
int RunVerify(Session& s, const CloseLoopCommands& c, const CliRun& run);
int RunRestore(Session& s, const CloseLoopCommands& c, const CliRun& run);

}  // namespace zentor::cli

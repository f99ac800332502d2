// zentor-cli's verification and restore: `update --verify[=SECONDS]`,
// `verify --against FILE [--wait SECONDS]` and `restore FILE [--force]`.
// Each is two stages for the dispatcher: Prepare* in the command's journaled run
// before the port opens (checks, the image, the log's heading; false: status 1,
// the port untouched), then *OnPort synchronously on the open port, where Ctrl-C
// ends a wait or a read. Exit status 0 only when the instrument holds what was
// written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli11_fwd.h"
#include "station/job.h"
#include "verify/after_update.h"
#include "verify/verify.h"

namespace zentor::cli {

// How long a verification after an update waits for the instrument, in seconds.
inline constexpr int kVerifyWaitSeconds = 120;

struct CloseLoopCommands {
    CLI::Option* verifyAfterUpdate = nullptr;  // update --verify[=SECONDS]
    int verifySeconds = 120;
    // --loop: every update is verified as if --verify were given.
    bool verifyAlways = false;
    std::string against;
    int waitSeconds = 120;
    std::string restoreFile;
    bool force = false;
    // The connection and folder options the user gave (--config, --port, --baud,
    // --address, --dir, --journal), repeated in the command lines shown after a
    // failed check.
    std::vector<std::string> connection;
    // After an update that wrote the chip: what it wrote, taken by CheckAfterUpdate
    // before the verification's own journal run replaces s.run.
    std::optional<UpdateCheck> check;
    VerifyRequest request;  // from Prepare*, for VerifyOnPort
};

// --verify of `update`, and the options of `verify` and `restore`.
void AddVerifyAfterUpdate(CLI::App& update, CloseLoopCommands& c);
void AddVerifyOptions(CLI::App& verify, CloseLoopCommands& c);
void AddRestoreOptions(CLI::App& restore, CloseLoopCommands& c);

// The options of argv that `CloseLoopCommands::connection` keeps.
std::vector<std::string> ConnectionArgs(int argc, char** argv);

// update --verify, after an update that wrote the chip (its port closed): the
// request from c.check (false without one) and the log's heading.
bool PrepareVerifyAfterUpdate(Job& s, CloseLoopCommands& c);
// verify: the address and the image of --against.
bool PrepareVerify(Job& s, CloseLoopCommands& c);
// Waits for the instrument and compares its DATA FLASH with c.request; 0 when equal.
int VerifyOnPort(Job& s, const CloseLoopCommands& c);

// restore: the address.
bool PrepareRestore(Job& s, const CloseLoopCommands& c);
int RestoreOnPort(Job& s, const CloseLoopCommands& c);

}  // namespace zentor::cli

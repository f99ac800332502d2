// `zentor-cli build`: the build command, then the deletion of the files it
// lists in TempFiles (batch file, object file), as the window does at exit:
// after a success, a failure or a declined question. Ctrl-C during the build
// deletes the batch file and the object file at once and ends the process with
// status 130 (the tools, in the same process group, get the Ctrl-C too).
#pragma once

#include "session/session.h"

namespace zentor {

// The exit status: 0 built, 1 failed, 3 declined before the linker.
int RunBuildCommand(Session& s);

}  // namespace zentor

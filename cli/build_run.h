// `zentor-cli build`: the build command, then the deletion of the files it
// lists in TempFiles (batch file, object file), as the window does at exit:
// after a success, a failure or a declined question. Ctrl-C during the build
// (the command's interrupt mode, installed by the dispatcher) deletes the
// BuildLeftovers at once and ends the process with status 130 (the tools, in the
// same process group, get the Ctrl-C too).
#pragma once

#include <string>
#include <vector>

#include "station/job.h"

namespace zentor {

// The exit status: 0 built, 1 failed, 3 declined before the linker.
int RunBuildCommand(Job& s);

// The files a build may leave: the batch file and, for a plain source name, the
// object file in the work folder.
std::vector<std::string> BuildLeftovers(const Job& s);

}  // namespace zentor

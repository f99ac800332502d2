// Pieces of the "Компиляция" command: the tool command lines, the check of the
// assembler file name, and the runner that starts the external tools (kept
// behind an interface so tests can run the build without real processes).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bootrom/build_command.h"
#include "station/job.h"

namespace zentor {

// How one tool run ended. Its exit code is not looked at.
enum class ToolRun { Finished, NotFound, Failed };

class BuildToolRunner {
public:
    using LineSink = std::function<void(const std::string&)>;
    virtual ~BuildToolRunner() = default;
    // Runs program with args, current directory dir, to its end, handing every
    // line it prints (stdout and stderr) to onLine. NotFound: no such program;
    // Failed: it could not be started or waited for.
    virtual ToolRun Run(const std::string& program, const std::vector<std::string>& args,
                        const std::filesystem::path& dir, const LineSink& onLine) = 0;
};

#ifndef _WIN32
// Where the command interpreter would find program: a regular executable file
// of that name (letter case aside) in dir, else in the folders of PATH in order;
// empty when there is none.
std::filesystem::path FindTool(const std::string& program, const std::filesystem::path& dir);

// Real processes, found by FindTool; output through a pipe, lines given as UTF-8
// (text that is not UTF-8 is taken as Windows-1251).
std::unique_ptr<BuildToolRunner> MakeSystemToolRunner();
#endif

// AsmFileName without its last three characters, then "r03".
std::string ObjectFileName(const std::string& asmFileName);
// The five lines of the batch file, without line ends.
std::vector<std::string> BatchFileLines(const std::string& asmFileName);
// exePath with its extension replaced by "bat"; empty when exePath is.
std::filesystem::path BatchFilePath(const std::filesystem::path& exePath);
// False for names a command line would interpret or split: quotes, & | < > ; $ `
// % ^, blanks and control characters, path separators, ':', a leading '-', and
// the empty name.
bool IsPlainAsmFileName(const std::string& name);

// The build with the two tools started one after the other through runner:
// each tool's output goes to the log, and the user confirms between them.
// True when prog_c.bin was written; *outcome tells a declined question apart.
bool BuildWithRunner(Job& s, BuildToolRunner& runner, BuildOutcome* outcome = nullptr);

#ifdef _WIN32
// Starts the batch file (current directory dir) and waits for it without limit.
bool RunBatchFile(const std::filesystem::path& batch, const std::filesystem::path& dir);
#endif

}  // namespace zentor

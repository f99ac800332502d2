// The command line of zentor-cli as UTF-8 text, and the checks of its file and
// folder arguments. On Windows the words are read as UTF-16 and converted, so
// that text outside the ANSI code page (a Cyrillic serial number on an English
// system) arrives intact; elsewhere they are taken as given.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli11_fwd.h"
#include "journal/journal.h"  // PathFromUtf8

namespace zentor {

// Exit statuses of zentor-cli.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;    // a step of the command failed; the log says which
inline constexpr int kExitUsage = 2;     // the command line is wrong; nothing was done
inline constexpr int kExitDeclined = 3;  // a question was declined; the command was not done
// Every step ran, but boot ROM records went unanswered: the instrument must be checked.
inline constexpr int kExitUnconfirmed = 4;

class Utf8Args {
public:
    Utf8Args(int argc, char** argv);
    int argc() const { return static_cast<int>(words_.size()); }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

// --dir: an existing folder (named in UTF-8).
CLI::Validator ExistingFolder();

// --config: a file named on the command line must exist (the default one beside
// the executable may be missing). The one line to show, or nullopt.
std::optional<std::string> ConfigFileRefusal(const std::string& file);

}  // namespace zentor

// `zentor-cli journal`: the journal's history, one run a line on standard output,
// or one JSON object a line with --json; selected by serial, program, backups and
// time. Reads only; takes no lock. A --firmware file is read once for its SHA-256.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

namespace zentor {

struct JournalCommandOptions {
    std::string serial;
    std::string firmware;  // a program file or its SHA-256
    bool calibration = false;
    std::string since;
    std::string until;
    bool json = false;
    // zentor-cli --json: the objects go here as "record" events (json_lines.h)
    // instead of on standard output; null: standard output, as they are.
    std::FILE* events = nullptr;
};

void AddJournalOptions(CLI::App& command, JournalCommandOptions& options);

// 0 when the journal could be read (an absent one is empty), 1 otherwise (also
// when the --firmware file cannot be read).
int PrintJournal(const std::filesystem::path& journal, const JournalCommandOptions& options,
                 std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace zentor

// `zentor-cli journal [--serial S]`: the journal's history, one run a line on
// standard output. Reads only; takes no lock.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace zentor {

// 0 when the journal could be read (an absent one is empty), 1 otherwise.
int PrintJournal(const std::filesystem::path& journal, const std::string& serial,
                 std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace zentor

// Runs one golden case of zentor-cli (cli_golden_cases.h): a fresh folder with
// the images and the configuration, the simulator when the case has one, and
// each step as a child process in an environment of the case's own (HOME and
// XDG folders in the case's folder), killed after 60 s. Thread-safe: each call
// has its own folder and simulator. Throws std::runtime_error when the folder
// or the simulator cannot be set up.
#pragma once

#include <filesystem>
#include <string>

#include "cli_golden_cases.h"
#include "support/golden_text.h"

namespace zentor::test {

// Local times as yyyymmdd-hhmmss bounding a case's runs (a minute before the
// first, a minute after the last): a time inside is the run's own; one outside,
// such as a fixed backup's name, is content.
struct TimeWindow {
    std::string from, to;
    bool Holds(const std::string& stamp) const { return from <= stamp && stamp <= to; }
};

// The rules of the golden files (tests/golden/cli/README.md lists them): the
// case's folder, the tool's own path, the simulator's terminal, the times of
// the run in backup names and journal lines, journal durations, the computer's
// name.
Normaliser CliNormaliser(const std::filesystem::path& root, const TimeWindow& window);

// The case's transcript: a head naming the case, settings and simulator, then
// per step the command line, exit status, standard output and standard error,
// normalised.
std::string RunGoldenCase(const GoldenCase& c);

}  // namespace zentor::test

// CLI11's classes by name only: it is slow to compile, so headers use this and
// only the .cpp files that build the command line include <CLI/CLI.hpp>.
#pragma once

namespace CLI {
class App;
class Option;
class Validator;
}  // namespace CLI

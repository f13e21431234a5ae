#pragma once
// Runs a real program (from a Debian package) for a test: found on PATH, its
// standard output collected, its standard error passed through.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velbrook::testing {

struct ProgramResult {
  int exitCode = -1;  // -1 when it ended by a signal
  std::string output;
};

// The program's path when a Debian package installed it in one of the
// system's folders (/usr/sbin included, which a user's PATH may lack), else
// empty: tests use the machine's programs, not others of the same name
// earlier on PATH.
std::filesystem::path InstalledProgram(const std::string& name);

// Runs argv (argv[0] looked up on PATH) to its end; nothing when it cannot
// be started at all.
std::optional<ProgramResult> RunProgram(const std::vector<std::string>& argv);

}  // namespace velbrook::testing

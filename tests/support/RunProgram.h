#pragma once
// Runs a real program (from a Debian package) for a test: found on PATH, its
// standard output collected, its standard error passed through.
#include <optional>
#include <string>
#include <vector>

namespace velbrook::testing {

struct ProgramResult {
  int exitCode = -1;  // -1 when it ended by a signal
  std::string output;
};

// Whether name is an executable file in a folder of PATH.
bool ProgramInstalled(const std::string& name);

// Runs argv (argv[0] looked up on PATH) to its end; nothing when it cannot
// be started at all.
std::optional<ProgramResult> RunProgram(const std::vector<std::string>& argv);

}  // namespace velbrook::testing

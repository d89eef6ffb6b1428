#pragma once
// Runs a program as a child process and collects what it printed.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace trelliken::testing {

struct ProcessResult {
  int exit_status = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

/// Runs `argv` with the current environment changed by `env` (a value of nullopt unsets the
/// variable) and waits for it.
ProcessResult run_process(const std::vector<std::string>& argv,
                          const std::map<std::string, std::optional<std::string>>& env = {});

}  // namespace trelliken::testing

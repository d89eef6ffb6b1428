// validate_gpu: decides whether this machine's GPU can be trusted for scientific compute.

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "bin/validate_gpu/validation.hpp"
#include "runtime/runtime.hpp"

int main() {
  std::optional<trelliken::Runtime> runtime;
  try {
    runtime.emplace();
  } catch (const std::exception&) {
    std::fputs("Failed building the Runtime\n", stderr);
    std::abort();
  }
  auto result = runtime->block_on(trelliken::validation::run_validation());
  if (!result) {
    std::fprintf(stderr, "Error: %s\n", result.error().debug().c_str());
    return 1;
  }
  return *result;
}

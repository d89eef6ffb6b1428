// The validation tests in their fixed order.

#include "bin/validate_gpu/validation.hpp"

namespace trelliken::validation {

std::vector<TestResult> run_tests(const std::shared_ptr<GpuDevice>& device) {
  std::vector<TestResult> rows;
  rows.push_back(device_capability_test(*device));
  return rows;
}

}  // namespace trelliken::validation

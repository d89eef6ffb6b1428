#pragma once
// The validation run: device creation, the six tests, the report.

#include <asio/awaitable.hpp>

#include <memory>
#include <vector>

#include "bin/validate_gpu/report.hpp"
#include "device/gpu_device/gpu_device.hpp"
#include "error/compute_error.hpp"

namespace trelliken::validation {

/// The whole run as one task. Returns the exit status; every failure is handled in place.
[[nodiscard]] asio::awaitable<Result<int>> run_validation();

/// The tests in their fixed order on one shared device.
[[nodiscard]] std::vector<TestResult> run_tests(const std::shared_ptr<GpuDevice>& device);

/// Test 1: reports the adapter and two limits; always passes.
[[nodiscard]] TestResult device_capability_test(const GpuDevice& device);

}  // namespace trelliken::validation

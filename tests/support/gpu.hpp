#pragma once
// The real software device for tests, opened once per test process.

#include <memory>

#include "device/gpu_device/gpu_device.hpp"
#include "runtime/runtime.hpp"

namespace trelliken::testing {

/// The process's runtime (two workers), shared by every test.
Runtime& test_runtime();

/// A device opened once per process and shared by the tests. Fails the calling test (returns
/// nullptr) when no device can be opened.
std::shared_ptr<GpuDevice> shared_test_device();

/// A fresh device, for tests that change device state (loss, quotas).
std::shared_ptr<GpuDevice> fresh_test_device();

}  // namespace trelliken::testing

/// Skips nothing: a test that needs the device fails loudly when there is none.
#define TRELLIKEN_REQUIRE_DEVICE(var)                                                   \
  auto var = ::trelliken::testing::shared_test_device();                                \
  ASSERT_NE(var, nullptr) << "the software GPU device could not be opened"

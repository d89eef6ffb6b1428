#include "support/gpu.hpp"

#include <gtest/gtest.h>

namespace trelliken::testing {

Runtime& test_runtime() {
  static Runtime runtime(2);
  return runtime;
}

std::shared_ptr<GpuDevice> fresh_test_device() {
  auto device = test_runtime().block_on(GpuDevice::create());
  if (!device) {
    ADD_FAILURE() << device.error().message();
    return nullptr;
  }
  return *device;
}

std::shared_ptr<GpuDevice> shared_test_device() {
  static std::shared_ptr<GpuDevice> device = fresh_test_device();
  return device;
}

}  // namespace trelliken::testing

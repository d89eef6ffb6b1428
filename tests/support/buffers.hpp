#pragma once
// Small helpers for tests that put data into real GPU buffers.

#include <cstdint>
#include <vector>

#include "device/gpu_device/gpu_device.hpp"

namespace trelliken::testing {

/// A storage (and uniform) buffer holding `words`, written through the queue.
platform::Buffer buffer_with_words(const GpuDevice& device, const std::vector<std::uint32_t>& words);

}  // namespace trelliken::testing

#include "support/buffers.hpp"

#include <gtest/gtest.h>

namespace trelliken::testing {

platform::Buffer buffer_with_words(const GpuDevice& device, const std::vector<std::uint32_t>& words) {
  auto buffer = device.create_buffer({"test words", std::max<std::uint64_t>(4, words.size() * 4),
                                      WGPUBufferUsage_Storage | WGPUBufferUsage_Uniform | WGPUBufferUsage_CopySrc |
                                          WGPUBufferUsage_CopyDst});
  if (!buffer) {
    ADD_FAILURE() << buffer.error().message();
    return {};
  }
  platform::GlCallScope scope;
  if (!words.empty()) wgpuQueueWriteBuffer(device.queue().get(), buffer->get(), 0, words.data(), words.size() * 4);
  return *buffer;
}

}  // namespace trelliken::testing

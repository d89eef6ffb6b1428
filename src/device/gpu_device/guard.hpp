#pragma once
// A command encoder that is finished exactly once and counts as work in progress while open.

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/handle.hpp"

namespace trelliken {

/// An open command encoder holding one unit of the device's `active_operations`. `finish`
/// consumes it; dropping it unfinished gives the unit back and submits nothing.
class GuardedEncoder {
 public:
  GuardedEncoder(platform::CommandEncoder encoder, std::shared_ptr<std::atomic<std::uint32_t>> active_operations)
      : encoder_(std::move(encoder)), active_operations_(std::move(active_operations)) {}
  GuardedEncoder(GuardedEncoder&& other) noexcept = default;
  GuardedEncoder& operator=(GuardedEncoder&&) = delete;
  GuardedEncoder(const GuardedEncoder&) = delete;
  ~GuardedEncoder();

  /// The encoder, for recording passes and copies.
  [[nodiscard]] WGPUCommandEncoder get();

  /// Finishes the encoder into a command buffer.
  [[nodiscard]] platform::CommandBuffer finish() &&;

 private:
  platform::CommandEncoder encoder_;
  std::shared_ptr<std::atomic<std::uint32_t>> active_operations_;
};

/// Aborts with a fixed message: states that ownership makes unreachable.
[[noreturn]] void unreachable_by_ownership(const char* message);

}  // namespace trelliken

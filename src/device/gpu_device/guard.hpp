#pragma once
// A command encoder that is finished exactly once and counts as work in progress while open.

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

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

/// Counts one unit of a device's `active_operations` from construction until `end` or destruction:
/// a resource creation or a recording in progress, which submissions and waits let finish first.
class ActiveOperationScope {
 public:
  explicit ActiveOperationScope(std::atomic<std::uint32_t>& counter) : counter_(&counter) {
    counter_->fetch_add(1, std::memory_order_acq_rel);
  }
  ActiveOperationScope(const ActiveOperationScope&) = delete;
  ActiveOperationScope& operator=(const ActiveOperationScope&) = delete;
  ~ActiveOperationScope() { end(); }

  /// Gives the unit back early; later calls do nothing.
  void end() noexcept {
    if (counter_) std::exchange(counter_, nullptr)->fetch_sub(1, std::memory_order_acq_rel);
  }

 private:
  std::atomic<std::uint32_t>* counter_;
};

/// Aborts with a fixed message: states that ownership makes unreachable.
[[noreturn]] void unreachable_by_ownership(const char* message);

}  // namespace trelliken

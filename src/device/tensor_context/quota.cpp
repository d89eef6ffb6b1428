#include "device/tensor_context/quota.hpp"

#include <fmt/format.h>

#include "device/gpu_device/gpu_device.hpp"
#include "gossip/events.hpp"

namespace trelliken {

Result<void> BufferQuota::refuse(std::uint64_t bytes, std::uint64_t event_limit, const char* operation,
                                 std::string message) {
  rejections_.fetch_add(1, std::memory_order_relaxed);
  emit_quota_exceeded(bytes, event_limit, limits_.name, operation);
  return fail(ComputeError::resource_exhausted(std::move(message)));
}

Result<void> BufferQuota::admit(std::uint64_t bytes) {
  if (limits_.single_buffer_limit && bytes > *limits_.single_buffer_limit) {
    return refuse(bytes, *limits_.single_buffer_limit, "single_buffer",
                  fmt::format("Quota '{}': single buffer {} bytes exceeds limit {} bytes", limits_.name, bytes,
                              *limits_.single_buffer_limit));
  }
  if (limits_.buffer_count_limit) {
    const std::uint64_t count = buffer_count_.load(std::memory_order_acquire);
    if (count >= *limits_.buffer_count_limit) {
      return refuse(bytes, 0, "buffer_count",
                    fmt::format("Quota '{}': buffer count {} at limit {}", limits_.name, count,
                                *limits_.buffer_count_limit));
    }
  }
  std::uint64_t now = 0;
  if (limits_.vram_budget) {
    const std::uint64_t budget = *limits_.vram_budget;
    std::uint64_t current = allocated_bytes_.load(std::memory_order_acquire);
    do {
      if (bytes > budget || current > budget - bytes) {
        return refuse(bytes, budget, "vram_budget",
                      fmt::format("Quota '{}': allocation of {} bytes would exceed limit ({} + {} > {})",
                                  limits_.name, bytes, current, bytes, budget));
      }
    } while (!allocated_bytes_.compare_exchange_weak(current, current + bytes, std::memory_order_acq_rel));
    now = current + bytes;
  } else {
    now = allocated_bytes_.fetch_add(bytes, std::memory_order_acq_rel) + bytes;
  }
  buffer_count_.fetch_add(1, std::memory_order_acq_rel);
  total_allocated_bytes_.fetch_add(bytes, std::memory_order_relaxed);
  std::uint64_t peak = peak_bytes_.load(std::memory_order_relaxed);
  while (now > peak && !peak_bytes_.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
  return {};
}

void BufferQuota::release(std::uint64_t bytes) noexcept {
  allocated_bytes_.fetch_sub(bytes, std::memory_order_acq_rel);
  buffer_count_.fetch_sub(1, std::memory_order_acq_rel);
}

asio::awaitable<Result<std::shared_ptr<GpuDevice>>> GpuDevice::create_with_quota(QuotaLimits limits) {
  return create_impl(std::make_shared<BufferQuota>(std::move(limits)));
}

}  // namespace trelliken

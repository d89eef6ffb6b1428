#pragma once
// A memory budget for the tensor buffers of one device.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "error/compute_error.hpp"

namespace trelliken {

/// The name and the three optional limits of a quota; an absent limit imposes nothing.
struct QuotaLimits {
  std::string name;
  std::optional<std::uint64_t> vram_budget;
  std::optional<std::uint64_t> buffer_count_limit;
  std::optional<std::uint64_t> single_buffer_limit;
};

/// Admits or refuses each tensor buffer created from host data, by the largest single buffer,
/// the number of live buffers and their total bytes. Admission is lock-free: concurrent
/// admissions can never together exceed the byte budget. Admitted bytes and counts come back
/// when the buffer is released (see QuotaAdmission); `total_allocated_bytes`, `peak_bytes` and
/// `rejections` only grow.
class BufferQuota {
 public:
  explicit BufferQuota(QuotaLimits limits) : limits_(std::move(limits)) {}

  /// Admits `bytes` or refuses with ResourceExhausted (after publishing a quota event).
  [[nodiscard]] Result<void> admit(std::uint64_t bytes);
  /// Gives back what one admission of `bytes` took.
  void release(std::uint64_t bytes) noexcept;

  [[nodiscard]] const std::string& name() const noexcept { return limits_.name; }
  [[nodiscard]] const QuotaLimits& limits() const noexcept { return limits_; }
  [[nodiscard]] std::uint64_t allocated_bytes() const noexcept { return allocated_bytes_.load(); }
  [[nodiscard]] std::uint64_t buffer_count() const noexcept { return buffer_count_.load(); }
  [[nodiscard]] std::uint64_t peak_bytes() const noexcept { return peak_bytes_.load(); }
  [[nodiscard]] std::uint64_t total_allocated_bytes() const noexcept { return total_allocated_bytes_.load(); }
  [[nodiscard]] std::uint64_t rejections() const noexcept { return rejections_.load(); }

 private:
  Result<void> refuse(std::uint64_t bytes, std::uint64_t event_limit, const char* operation, std::string message);

  QuotaLimits limits_;
  std::atomic<std::uint64_t> allocated_bytes_{0};
  std::atomic<std::uint64_t> buffer_count_{0};
  std::atomic<std::uint64_t> peak_bytes_{0};
  std::atomic<std::uint64_t> total_allocated_bytes_{0};
  std::atomic<std::uint64_t> rejections_{0};
};

/// One admitted buffer's claim on a quota, given back when the last holder drops it.
class QuotaAdmission {
 public:
  QuotaAdmission(std::shared_ptr<BufferQuota> quota, std::uint64_t bytes) : quota_(std::move(quota)), bytes_(bytes) {}
  QuotaAdmission(const QuotaAdmission&) = delete;
  QuotaAdmission& operator=(const QuotaAdmission&) = delete;
  ~QuotaAdmission() {
    if (quota_) quota_->release(bytes_);
  }

 private:
  std::shared_ptr<BufferQuota> quota_;
  std::uint64_t bytes_;
};

}  // namespace trelliken

#pragma once
// The per-device counting semaphore that bounds GPU operations in flight, and its budget.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string_view>

#include "device/gpu_device/adapter_details.hpp"

namespace trelliken {

/// Counting semaphore: `budget` permits, taken by read-backs and one-off dispatches.
class ConcurrencyLimiter {
 public:
  explicit ConcurrencyLimiter(std::size_t budget) : free_(budget), budget_(budget) {}

  /// Blocks until a permit is free, then takes it.
  void acquire() {
    std::unique_lock lock(mutex_);
    available_.wait(lock, [this] { return free_ > 0; });
    --free_;
  }

  void release() {
    {
      std::lock_guard lock(mutex_);
      ++free_;
    }
    available_.notify_one();
  }

  [[nodiscard]] std::size_t budget() const noexcept { return budget_; }
  [[nodiscard]] std::size_t available() const {
    std::lock_guard lock(mutex_);
    return free_;
  }

  /// Holds one permit for a scope.
  class Permit {
   public:
    explicit Permit(ConcurrencyLimiter& limiter) : limiter_(&limiter) { limiter_->acquire(); }
    Permit(const Permit&) = delete;
    Permit& operator=(const Permit&) = delete;
    ~Permit() { limiter_->release(); }

   private:
    ConcurrencyLimiter* limiter_;
  };

 private:
  mutable std::mutex mutex_;
  std::condition_variable available_;
  std::size_t free_;
  const std::size_t budget_;
};

/// The budget for a device type when the environment sets none.
[[nodiscard]] std::size_t default_concurrency_budget(AdapterType type) noexcept;

/// Parses a budget text: an optional '+', then decimal digits only, no overflow, above 0.
[[nodiscard]] std::optional<std::size_t> parse_concurrency_budget(std::string_view text) noexcept;

/// The budget from TRELLIKEN_CONCURRENCY_BUDGET, or the device type's default.
[[nodiscard]] std::size_t concurrency_budget_from_env(AdapterType type);

}  // namespace trelliken

#pragma once
// The device record: everything the library does on the GPU goes through one GpuDevice.

#include <asio/awaitable.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/gpu_device/adapter_details.hpp"
#include "device/gpu_device/concurrency.hpp"
#include "device/gpu_device/device_limits.hpp"
#include "device/gpu_device/error_handler.hpp"
#include "device/gpu_device/guard.hpp"
#include "error/compute_error.hpp"
#include "platform/handle.hpp"
#include "platform/wait.hpp"

namespace trelliken {

class BufferQuota;
struct QuotaLimits;

/// What `GpuDevice::create_buffer` creates.
struct BufferDescriptor {
  std::string_view label;
  std::uint64_t size = 0;
  WGPUBufferUsage usage = WGPUBufferUsage_None;
  bool mapped_at_creation = false;
};

/// An opened GPU device with its sticky flags, submission lock, in-progress counter and
/// concurrency limiter. Shared by everything that uses it; immutable after creation except for
/// the flags, the counter, the limiter and what `submit_lock` guards.
class GpuDevice : public std::enable_shared_from_this<GpuDevice> {
 public:
  /// Opens the best adapter's device with the library's fixed features and limits.
  /// Fails with a `Device` error when no adapter exists or the device request is refused.
  [[nodiscard]] static asio::awaitable<Result<std::shared_ptr<GpuDevice>>> create();

  /// As `create`, with a memory quota attached: every tensor buffer created from host data is
  /// admitted by it first.
  [[nodiscard]] static asio::awaitable<Result<std::shared_ptr<GpuDevice>>> create_with_quota(QuotaLimits limits);

  GpuDevice(const GpuDevice&) = delete;
  GpuDevice& operator=(const GpuDevice&) = delete;
  ~GpuDevice();

  [[nodiscard]] const AdapterDetails& adapter() const noexcept { return adapter_; }
  [[nodiscard]] const platform::Instance& instance() const noexcept { return instance_; }
  [[nodiscard]] const platform::Device& device() const noexcept { return device_; }
  [[nodiscard]] const platform::Queue& queue() const noexcept { return queue_; }

  /// The device's limits as the implementation reports them now.
  [[nodiscard]] DeviceLimits limits() const;
  /// The optional features the device was granted.
  [[nodiscard]] const std::vector<DeviceFeature>& features() const noexcept { return features_; }
  [[nodiscard]] bool has_feature(DeviceFeature f) const noexcept;

  [[nodiscard]] bool is_lost() const noexcept { return flags_->device_lost.load(std::memory_order_acquire); }
  [[nodiscard]] bool is_out_of_memory() const noexcept {
    return flags_->out_of_memory.load(std::memory_order_acquire);
  }
  [[nodiscard]] const std::shared_ptr<DeviceFlags>& flags() const noexcept { return flags_; }

  [[nodiscard]] std::mutex& submit_lock() const noexcept { return *submit_lock_; }
  [[nodiscard]] const std::shared_ptr<std::mutex>& shared_submit_lock() const noexcept { return submit_lock_; }
  [[nodiscard]] std::atomic<std::uint32_t>& active_operations() const noexcept { return *active_operations_; }
  [[nodiscard]] const std::shared_ptr<std::atomic<std::uint32_t>>& shared_active_operations() const noexcept {
    return active_operations_;
  }
  [[nodiscard]] ConcurrencyLimiter& concurrency_limiter() const noexcept { return *concurrency_limiter_; }
  [[nodiscard]] const std::shared_ptr<BufferQuota>& buffer_quota() const noexcept { return buffer_quota_; }

  // Submission, waiting and read-back: the only road by which work reaches the queue.

  /// Creates a buffer, counted as work in progress for the duration of the call.
  [[nodiscard]] Result<platform::Buffer> create_buffer(const BufferDescriptor& desc) const;
  /// A buffer created holding `words` (mapped at creation, filled, unmapped); an empty list gives an
  /// empty buffer.
  [[nodiscard]] Result<platform::Buffer> create_buffer_with_words(std::string_view label, WGPUBufferUsage usage,
                                                                  std::span<const std::uint32_t> words) const;
  /// An open encoder with the given label; it holds one unit of `active_operations` until it is
  /// finished or dropped.
  [[nodiscard]] GuardedEncoder create_encoder(std::string_view label) const;
  /// Submits one command buffer under `submit_lock`. On a lost device it is discarded silently.
  void submit(platform::CommandBuffer commands) const;
  /// Submits, then waits (bounded by the poll limit) for all submitted work. The outcome of the
  /// wait is left to the next `poll_safe` or read-back.
  void submit_and_poll(platform::CommandBuffer commands) const;
  /// Waits for all submitted work. A wait that runs out of time or fails publishes a stall
  /// event and returns an ExecutionError; the device stays usable.
  [[nodiscard]] Result<void> poll_safe() const;
  /// Copies the first `words` 32-bit words of `source` back to the host, through a staging buffer.
  [[nodiscard]] Result<std::vector<std::uint32_t>> read_buffer(const platform::Buffer& source,
                                                               std::size_t words) const;

  /// Test and diagnosis hook: reports the device lost through the implementation, as a driver would.
  void force_loss_for_testing(std::string_view reason);

 private:
  struct Parts {
    AdapterDetails adapter;
    platform::Instance instance;
    platform::Device device;
    platform::Queue queue;
    std::vector<DeviceFeature> features;
    std::shared_ptr<DeviceFlags> flags;
    std::size_t budget = 1;
    std::shared_ptr<BufferQuota> buffer_quota;
  };
  explicit GpuDevice(Parts parts);
  void drain_wait() const;
  [[nodiscard]] platform::WaitOutcome wait_for_submitted_work() const;
  static asio::awaitable<Result<std::shared_ptr<GpuDevice>>> create_impl(std::shared_ptr<BufferQuota> quota);

  AdapterDetails adapter_;
  platform::Instance instance_;
  platform::Device device_;
  platform::Queue queue_;
  std::vector<DeviceFeature> features_;
  std::shared_ptr<DeviceFlags> flags_;
  std::shared_ptr<std::mutex> submit_lock_;
  std::shared_ptr<std::atomic<std::uint32_t>> active_operations_;
  std::shared_ptr<ConcurrencyLimiter> concurrency_limiter_;
  std::shared_ptr<BufferQuota> buffer_quota_;
};

}  // namespace trelliken

#pragma once
// The per-device home of the cached operations: buffer pool, launch recording state, bind-group
// cache and statistics.

#include <atomic>
#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "device/tensor_context/pool.hpp"
#include "platform/handle.hpp"

namespace trelliken {

class GpuDevice;

/// Counts of read-only storage, read-write storage and uniform bindings, numbered from 0 in
/// that order. Fully describes the bind-group layout of a built-in operation.
struct LayoutSignature {
  std::uint32_t read_only = 0;
  std::uint32_t read_write = 0;
  std::uint32_t uniform = 0;
  friend auto operator<=>(const LayoutSignature&, const LayoutSignature&) = default;
  [[nodiscard]] std::uint32_t total() const noexcept { return read_only + read_write + uniform; }
};

/// One launch of a cached pipeline, and what must stay alive until it has run.
struct RecordedLaunch {
  platform::ComputePipeline pipeline;
  platform::BindGroup bind_group;
  std::uint32_t x = 1;
  std::uint32_t y = 1;
  std::vector<platform::Buffer> keep_alive;
};

/// Key of the bind-group cache: the hashes of the bound buffers' identities in binding order.
struct BindGroupKey {
  std::vector<std::uint64_t> buffer_hashes;
  LayoutSignature signature;
  friend auto operator<=>(const BindGroupKey&, const BindGroupKey&) = default;
};

/// Shared per device. Two devices never share a context: buffers, bind groups and pipelines of
/// one WebGPU device cannot be used with another.
class TensorContext {
 public:
  /// The context of `device`, created on first request.
  [[nodiscard]] static std::shared_ptr<TensorContext> for_device(const std::shared_ptr<GpuDevice>& device);

  explicit TensorContext(std::shared_ptr<GpuDevice> device);

  [[nodiscard]] const std::shared_ptr<GpuDevice>& device() const noexcept { return device_; }
  [[nodiscard]] BufferPool& pool() noexcept { return *pool_; }
  [[nodiscard]] const std::shared_ptr<BufferPool>& shared_pool() const noexcept { return pool_; }

  // Launch recording (see record_launch). Batching is off unless a caller turns it on.
  std::atomic<bool> batching{false};
  std::mutex pending_mutex;
  std::vector<RecordedLaunch> pending;

  // Bind-group reuse for element-wise operations.
  std::mutex bind_group_mutex;
  std::map<BindGroupKey, platform::BindGroup> bind_groups;

  // Statistics.
  std::atomic<std::uint64_t> bind_group_hits{0};
  std::atomic<std::uint64_t> bind_group_misses{0};
  std::atomic<std::uint64_t> immediate_launches{0};
  std::atomic<std::uint64_t> batched_launches{0};

 private:
  std::shared_ptr<GpuDevice> device_;
  std::shared_ptr<BufferPool> pool_;
};

}  // namespace trelliken

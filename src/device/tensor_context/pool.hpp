#pragma once
// Working buffers in power-of-two size classes, lent out and taken back.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/handle.hpp"

namespace trelliken {

class GpuDevice;
class BufferPool;

/// The size class of a request of `bytes`: 256 up to 256 bytes, else the next power of two.
[[nodiscard]] std::uint64_t pool_size_class(std::uint64_t bytes) noexcept;

/// A buffer on loan from a pool. Its real size is its size class, which may exceed the request.
/// Dropping it returns the buffer to the pool (or releases it if the pool is gone).
class PooledBuffer {
 public:
  PooledBuffer(std::weak_ptr<BufferPool> pool, platform::Buffer buffer, std::uint64_t size_class)
      : pool_(std::move(pool)), buffer_(std::move(buffer)), size_class_(size_class) {}
  PooledBuffer(PooledBuffer&&) noexcept = default;
  PooledBuffer& operator=(PooledBuffer&&) = delete;
  PooledBuffer(const PooledBuffer&) = delete;
  ~PooledBuffer();

  [[nodiscard]] const platform::Buffer& buffer() const;
  [[nodiscard]] const platform::Buffer& operator*() const;
  [[nodiscard]] std::uint64_t size_class() const noexcept { return size_class_; }

  /// Takes the buffer out of the pool's keeping for good.
  [[nodiscard]] platform::Buffer into_buffer() &&;

 private:
  std::weak_ptr<BufferPool> pool_;
  platform::Buffer buffer_;
  std::uint64_t size_class_;
};

/// The pool of one tensor context. Returned buffers are recycled only after an idle poll of the
/// device, and recycling never waits behind a submission.
class BufferPool : public std::enable_shared_from_this<BufferPool> {
 public:
  explicit BufferPool(std::shared_ptr<const GpuDevice> device) : device_(std::move(device)) {}

  /// A buffer of at least `words` × 4 bytes.
  [[nodiscard]] PooledBuffer acquire(std::uint64_t words);

  [[nodiscard]] std::uint64_t created() const noexcept { return created_.load(); }
  [[nodiscard]] std::uint64_t recycled() const noexcept { return recycled_.load(); }
  /// Buffers given back but not yet known to be idle.
  [[nodiscard]] std::size_t returned_count() const;
  /// Buffers ready for reuse.
  [[nodiscard]] std::size_t free_count() const;

 private:
  friend class PooledBuffer;
  void give_back(platform::Buffer buffer, std::uint64_t size_class);
  void try_recycle();

  std::shared_ptr<const GpuDevice> device_;
  mutable std::mutex free_mutex_;
  std::map<std::uint64_t, std::vector<platform::Buffer>> free_;
  mutable std::mutex returned_mutex_;
  std::vector<std::pair<platform::Buffer, std::uint64_t>> returned_;
  std::atomic<std::uint64_t> created_{0};
  std::atomic<std::uint64_t> recycled_{0};
};

}  // namespace trelliken

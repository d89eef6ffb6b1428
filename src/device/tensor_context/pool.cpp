#include "device/tensor_context/pool.hpp"

#include <bit>

#include "device/gpu_device/gpu_device.hpp"
#include "device/gpu_device/guard.hpp"
#include "platform/strings.hpp"

namespace trelliken {

std::uint64_t pool_size_class(std::uint64_t bytes) noexcept {
  if (bytes <= 256) return 256;
  if (bytes > (std::uint64_t{1} << 63)) return bytes;  // no larger power of two exists; creation will fail
  return std::bit_ceil(bytes);
}

PooledBuffer::~PooledBuffer() {
  if (!buffer_) return;
  if (auto pool = pool_.lock()) {
    pool->give_back(std::move(buffer_), size_class_);
  }
}

const platform::Buffer& PooledBuffer::buffer() const {
  if (!buffer_) unreachable_by_ownership("PooledBuffer::buffer after into_buffer (unreachable by ownership)");
  return buffer_;
}

const platform::Buffer& PooledBuffer::operator*() const {
  if (!buffer_) unreachable_by_ownership("PooledBuffer::deref after into_buffer (unreachable by ownership)");
  return buffer_;
}

platform::Buffer PooledBuffer::into_buffer() && {
  platform::Buffer out = std::move(buffer_);
  buffer_.reset();
  return out;
}

void BufferPool::give_back(platform::Buffer buffer, std::uint64_t size_class) {
  std::lock_guard lock(returned_mutex_);
  returned_.emplace_back(std::move(buffer), size_class);
}

void BufferPool::try_recycle() {
  {
    std::lock_guard lock(returned_mutex_);
    if (returned_.empty()) return;
  }
  if (device_->active_operations().load(std::memory_order_acquire) != 0) return;
  std::unique_lock submit(device_->submit_lock(), std::try_to_lock);
  if (!submit.owns_lock()) return;
  // A non-blocking poll lets the implementation retire finished work before buffers are reused.
  {
    platform::GlCallScope scope;
    wgpuInstanceProcessEvents(device_->instance().get());
  }
  std::vector<std::pair<platform::Buffer, std::uint64_t>> ready;
  {
    std::lock_guard lock(returned_mutex_);
    ready.swap(returned_);
  }
  std::lock_guard lock(free_mutex_);
  for (auto& [buffer, size_class] : ready) {
    free_[size_class].push_back(std::move(buffer));
    recycled_.fetch_add(1, std::memory_order_relaxed);
  }
}

PooledBuffer BufferPool::acquire(std::uint64_t words) {
  try_recycle();
  const std::uint64_t size_class = pool_size_class(words * 4);
  {
    std::lock_guard lock(free_mutex_);
    auto it = free_.find(size_class);
    if (it != free_.end() && !it->second.empty()) {
      platform::Buffer buffer = std::move(it->second.back());
      it->second.pop_back();
      return PooledBuffer(weak_from_this(), std::move(buffer), size_class);
    }
  }
  created_.fetch_add(1, std::memory_order_relaxed);
  WGPUBufferDescriptor d{};
  d.label = platform::to_view("Pooled Buffer");
  d.usage = WGPUBufferUsage_Storage | WGPUBufferUsage_CopyDst | WGPUBufferUsage_CopySrc;
  d.size = size_class;
  d.mappedAtCreation = 0;
  WGPUBuffer raw = nullptr;
  {
    ActiveOperationScope active(device_->active_operations());
    platform::GlCallScope scope;
    raw = wgpuDeviceCreateBuffer(device_->device().get(), &d);
  }
  return PooledBuffer(weak_from_this(), platform::Buffer::acquire(raw), size_class);
}

std::size_t BufferPool::returned_count() const {
  std::lock_guard lock(returned_mutex_);
  return returned_.size();
}

std::size_t BufferPool::free_count() const {
  std::lock_guard lock(free_mutex_);
  std::size_t n = 0;
  for (const auto& [size_class, buffers] : free_) n += buffers.size();
  return n;
}

}  // namespace trelliken

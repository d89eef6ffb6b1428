// Submission, bounded waits and read-back.

#include <fmt/format.h>

#include <cstring>
#include <limits>
#include <bit>
#include <thread>

#include "device/gpu_device/gpu_device.hpp"
#include "device/gpu_device/poll_limit.hpp"
#include "gossip/events.hpp"
#include "platform/strings.hpp"

namespace trelliken {

namespace {

static_assert(std::endian::native == std::endian::little, "read-back words are copied as little-endian");

constexpr int kDrainYields = 256;
constexpr const char* kPollTimedOut = "GPU poll timed out \u2014 driver stall or instrumentation overhead";

// The state a one-shot callback reports into. The callback owns one reference, so a wait that
// gives up early leaves nothing dangling.
template <typename T>
struct Slot {
  std::atomic<bool> delivered{false};
  T value{};
};

template <typename T>
void deliver(void* userdata, T value) {
  auto* owner = static_cast<std::shared_ptr<Slot<T>>*>(userdata);
  (*owner)->value = std::move(value);
  (*owner)->delivered.store(true, std::memory_order_release);
  delete owner;
}

struct MapOutcome {
  bool ok = false;
  std::string message;
};

Result<void> timed_out() {
  const PollLimit& limit = poll_limit();
  emit_dispatch_stall("poll_safe", limit.unlimited ? 0 : limit.seconds, true);
  return fail(ComputeError::execution(kPollTimedOut));
}

}  // namespace

Result<platform::Buffer> GpuDevice::create_buffer(const BufferDescriptor& desc) const {
  WGPUBufferDescriptor d{};
  d.label = platform::to_view(desc.label);
  d.usage = desc.usage;
  d.size = desc.size;
  d.mappedAtCreation = desc.mapped_at_creation ? 1 : 0;
  WGPUBuffer raw = nullptr;
  {
    ActiveOperationScope active(*active_operations_);
    platform::GlCallScope scope;
    raw = wgpuDeviceCreateBuffer(device_.get(), &d);
  }
  if (raw == nullptr) {
    return fail(ComputeError(error_kinds::OutOfMemory{fmt::format("cannot create buffer '{}' of {} bytes",
                                                                   desc.label, desc.size)}));
  }
  return platform::Buffer::acquire(raw);
}

Result<platform::Buffer> GpuDevice::create_buffer_with_words(std::string_view label, WGPUBufferUsage usage,
                                                            std::span<const std::uint32_t> words) const {
  const std::uint64_t bytes = words.size() * 4;
  // A zero-sized buffer cannot be mapped; it has no contents to fill anyway.
  auto buffer = create_buffer({label, bytes, usage, bytes > 0});
  if (!buffer) return fail(buffer.error());
  if (bytes > 0) {
    platform::GlCallScope scope;
    void* mapped = wgpuBufferGetMappedRange(buffer->get(), 0, static_cast<std::size_t>(bytes));
    if (mapped == nullptr) return fail(ComputeError::gpu(fmt::format("cannot fill buffer '{}'", label)));
    std::memcpy(mapped, words.data(), static_cast<std::size_t>(bytes));
    wgpuBufferUnmap(buffer->get());
  }
  return buffer;
}

GuardedEncoder GpuDevice::create_encoder(std::string_view label) const {
  active_operations_->fetch_add(1, std::memory_order_acq_rel);  // the guard's unit
  WGPUCommandEncoderDescriptor d{};
  d.label = platform::to_view(label);
  WGPUCommandEncoder raw = nullptr;
  {
    ActiveOperationScope active(*active_operations_);
    platform::GlCallScope scope;
    raw = wgpuDeviceCreateCommandEncoder(device_.get(), &d);
  }
  return GuardedEncoder(platform::CommandEncoder::acquire(raw), active_operations_);
}

void GpuDevice::drain_wait() const {
  for (int i = 0; i < kDrainYields && active_operations_->load(std::memory_order_acquire) != 0; ++i) {
    std::this_thread::yield();
  }
}

void GpuDevice::submit(platform::CommandBuffer commands) const {
  if (is_lost()) return;
  std::lock_guard lock(*submit_lock_);
  drain_wait();
  WGPUCommandBuffer raw = commands.get();
  platform::GlCallScope scope;
  wgpuQueueSubmit(queue_.get(), 1, &raw);
}

platform::WaitOutcome GpuDevice::wait_for_submitted_work() const {
  platform::GlCallScope scope;
  auto slot = std::make_shared<Slot<WGPUQueueWorkDoneStatus>>();
  WGPUQueueWorkDoneCallbackInfo cb{};
  cb.mode = WGPUCallbackMode_WaitAnyOnly;
  cb.callback = [](WGPUQueueWorkDoneStatus status, WGPUStringView, void* u1, void*) { deliver(u1, status); };
  cb.userdata1 = new std::shared_ptr<Slot<WGPUQueueWorkDoneStatus>>(slot);
  const WGPUFuture future = wgpuQueueOnSubmittedWorkDone(queue_.get(), cb);
  const platform::WaitOutcome outcome = platform::wait_for(instance_, future, poll_limit().duration());
  if (outcome != platform::WaitOutcome::Completed) return outcome;
  if (!slot->delivered.load(std::memory_order_acquire) || slot->value != WGPUQueueWorkDoneStatus_Success) {
    return platform::WaitOutcome::Failed;
  }
  return platform::WaitOutcome::Completed;
}

void GpuDevice::submit_and_poll(platform::CommandBuffer commands) const {
  submit(std::move(commands));
  if (is_lost()) return;
  std::lock_guard lock(*submit_lock_);
  drain_wait();
  (void)wait_for_submitted_work();
}

Result<void> GpuDevice::poll_safe() const {
  if (is_lost()) return fail(ComputeError::device_lost("device lost"));
  std::unique_lock lock(*submit_lock_);
  drain_wait();
  if (wait_for_submitted_work() == platform::WaitOutcome::Completed) return {};
  lock.unlock();
  return timed_out();
}

Result<std::vector<std::uint32_t>> GpuDevice::read_buffer(const platform::Buffer& source, std::size_t words) const {
  if (words == 0) return std::vector<std::uint32_t>{};
  if (is_lost()) return fail(ComputeError::device_lost("cannot read buffer \u2014 device lost"));
  if (words > std::numeric_limits<std::uint64_t>::max() / 4 || wgpuBufferGetSize(source.get()) < words * 4) {
    return fail(ComputeError::invalid_input(fmt::format("read_buffer: {} words exceed the source buffer of {} bytes",
                                                        words, wgpuBufferGetSize(source.get()))));
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(words) * 4;

  ConcurrencyLimiter::Permit permit(*concurrency_limiter_);
  auto staging = create_buffer({"readback staging", bytes, WGPUBufferUsage_MapRead | WGPUBufferUsage_CopyDst, false});
  if (!staging) return fail(staging.error());

  GuardedEncoder encoder = create_encoder("readback");
  {
    platform::GlCallScope scope;
    wgpuCommandEncoderCopyBufferToBuffer(encoder.get(), source.get(), 0, staging->get(), 0, bytes);
  }
  platform::CommandBuffer commands = std::move(encoder).finish();
  if (is_lost()) return fail(ComputeError::device_lost("cannot submit_and_map \u2014 device lost"));
  submit(std::move(commands));

  auto slot = std::make_shared<Slot<MapOutcome>>();
  WGPUFuture map_future{};
  {
    ActiveOperationScope active(*active_operations_);
    platform::GlCallScope scope;
    WGPUBufferMapCallbackInfo cb{};
    cb.mode = WGPUCallbackMode_WaitAnyOnly;
    cb.callback = [](WGPUMapAsyncStatus status, WGPUStringView message, void* u1, void*) {
      deliver(u1, MapOutcome{status == WGPUMapAsyncStatus_Success, platform::to_string(message)});
    };
    cb.userdata1 = new std::shared_ptr<Slot<MapOutcome>>(slot);
    map_future = wgpuBufferMapAsync(staging->get(), WGPUMapMode_Read, 0, static_cast<std::size_t>(bytes), cb);
  }

  if (auto polled = poll_safe(); !polled) return fail(polled.error());

  // The map callback runs inside the wait for its own future.
  platform::WaitOutcome outcome;
  {
    platform::GlCallScope scope;
    outcome = platform::wait_for(instance_, map_future, poll_limit().duration());
  }
  if (outcome == platform::WaitOutcome::TimedOut) return fail(timed_out().error());
  if (!slot->delivered.load(std::memory_order_acquire)) {
    return fail(ComputeError::execution("GPU buffer mapping channel closed"));
  }
  if (!slot->value.ok) {
    return fail(ComputeError::execution(slot->value.message.empty() ? std::string("GPU buffer mapping failed")
                                                                    : slot->value.message));
  }

  std::vector<std::uint32_t> out(words);
  {
    ActiveOperationScope active(*active_operations_);
    platform::GlCallScope scope;
    const void* mapped = wgpuBufferGetConstMappedRange(staging->get(), 0, static_cast<std::size_t>(bytes));
    if (mapped == nullptr) {
      wgpuBufferUnmap(staging->get());
      return fail(ComputeError::execution("GPU buffer mapping returned no data"));
    }
    std::memcpy(out.data(), mapped, static_cast<std::size_t>(bytes));
    wgpuBufferUnmap(staging->get());
  }
  return out;
}

}  // namespace trelliken

#pragma once
// Process-wide caches of bind-group layouts, shader modules and compute pipelines for the
// frequent operations, per-context bind-group reuse, and the recording of a launch.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "device/tensor_context/tensor_context.hpp"
#include "platform/handle.hpp"

namespace trelliken {

class GpuDevice;

/// Tells devices apart in every cache key: the hash of the adapter name, and a hash of the
/// backend, the device type and the underlying device object.
struct DeviceIdentity {
  std::uint64_t name_hash = 0;
  std::uint64_t device_hash = 0;
  friend auto operator<=>(const DeviceIdentity&, const DeviceIdentity&) = default;
};

[[nodiscard]] DeviceIdentity device_identity(const GpuDevice& device);

/// The layout for `signature`: read-only storage bindings first, then read-write, then uniform.
[[nodiscard]] platform::BindGroupLayout cached_bind_group_layout(const GpuDevice& device, LayoutSignature signature,
                                                                 std::string_view label);

/// The pipeline running entry point "main" of `source`. On a miss the module is created from the
/// source, downgraded to f32 when it mentions f64 types.
[[nodiscard]] platform::ComputePipeline cached_pipeline(const GpuDevice& device, std::string_view source,
                                                        LayoutSignature signature, std::string_view label);

/// A bind group binding each of `buffers` whole, in order, reused from the context's cache when
/// the same buffers were bound with the same signature before.
[[nodiscard]] platform::BindGroup cached_bind_group(TensorContext& context, std::span<const platform::Buffer> buffers,
                                                    LayoutSignature signature, std::string_view label);

/// Records a launch into the context: submitted at once (no wait), or queued when batching is on.
void record_launch(TensorContext& context, RecordedLaunch launch);

/// Encodes and submits every queued launch of the context in one command buffer.
void flush_batched_launches(TensorContext& context);

/// How many GPU objects the caches have created in this process (for diagnosis and tests).
struct PipelineCacheStats {
  std::uint64_t layouts_created = 0;
  std::uint64_t modules_created = 0;
  std::uint64_t pipelines_created = 0;
};
[[nodiscard]] PipelineCacheStats pipeline_cache_stats();

}  // namespace trelliken

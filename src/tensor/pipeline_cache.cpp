#include "tensor/pipeline_cache.hpp"

#include <atomic>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "device/gpu_device/gpu_device.hpp"
#include "platform/strings.hpp"
#include "shaders/module.hpp"
#include "shaders/precision/downgrade.hpp"
#include "tensor/text_hash.hpp"

namespace trelliken {

namespace {

using LayoutKey = std::pair<DeviceIdentity, LayoutSignature>;
using ModuleKey = std::pair<DeviceIdentity, std::uint64_t>;
using PipelineKey = std::tuple<DeviceIdentity, std::uint64_t, std::uint64_t, LayoutSignature>;

// One map behind one lock. Entries live until the process ends; no lock is held while a GPU
// object is created, so two threads missing on one key both create it and the second to insert
// adopts the first one's entry.
template <typename Key, typename Value>
class Cache {
 public:
  std::optional<Value> find(const Key& key) {
    std::lock_guard lock(mutex_);
    auto it = map_.find(key);
    if (it == map_.end()) return std::nullopt;
    return it->second;
  }
  Value insert_or_adopt(const Key& key, Value value) {
    std::lock_guard lock(mutex_);
    auto [it, inserted] = map_.emplace(key, std::move(value));
    return it->second;
  }

 private:
  std::mutex mutex_;
  std::map<Key, Value> map_;
};

// Deliberately never destroyed: cached objects must outlive every static that might use them.
auto& layout_cache() {
  static auto* c = new Cache<LayoutKey, platform::BindGroupLayout>();
  return *c;
}
auto& module_cache() {
  static auto* c = new Cache<ModuleKey, platform::ShaderModule>();
  return *c;
}
auto& pipeline_cache() {
  static auto* c = new Cache<PipelineKey, platform::ComputePipeline>();
  return *c;
}

std::atomic<std::uint64_t> g_layouts_created{0};
std::atomic<std::uint64_t> g_modules_created{0};
std::atomic<std::uint64_t> g_pipelines_created{0};

platform::BindGroupLayout create_layout(const GpuDevice& device, LayoutSignature sig, std::string_view label) {
  std::vector<WGPUBindGroupLayoutEntry> entries(sig.total());
  for (std::uint32_t i = 0; i < sig.total(); ++i) {
    entries[i] = WGPUBindGroupLayoutEntry{};
    entries[i].binding = i;
    entries[i].visibility = WGPUShaderStage_Compute;
    entries[i].buffer.type = i < sig.read_only                     ? WGPUBufferBindingType_ReadOnlyStorage
                             : i < sig.read_only + sig.read_write ? WGPUBufferBindingType_Storage
                                                                   : WGPUBufferBindingType_Uniform;
  }
  WGPUBindGroupLayoutDescriptor d{};
  d.label = platform::to_view(label);
  d.entryCount = entries.size();
  d.entries = entries.data();
  ActiveOperationScope active(device.active_operations());
  platform::GlCallScope scope;
  g_layouts_created.fetch_add(1, std::memory_order_relaxed);
  return platform::BindGroupLayout::acquire(wgpuDeviceCreateBindGroupLayout(device.device().get(), &d));
}

}  // namespace

DeviceIdentity device_identity(const GpuDevice& device) {
  const AdapterDetails& a = device.adapter();
  SipHasher13 h;
  h.write_u32(static_cast<std::uint32_t>(a.backend));
  h.write_u32(static_cast<std::uint32_t>(a.device_type));
  h.write_u64(reinterpret_cast<std::uintptr_t>(device.device().get()));
  return DeviceIdentity{text_hash(a.name), h.finish()};
}

platform::BindGroupLayout cached_bind_group_layout(const GpuDevice& device, LayoutSignature signature,
                                                   std::string_view label) {
  const LayoutKey key{device_identity(device), signature};
  if (auto hit = layout_cache().find(key)) return *hit;
  return layout_cache().insert_or_adopt(key, create_layout(device, signature, label));
}

platform::ComputePipeline cached_pipeline(const GpuDevice& device, std::string_view source, LayoutSignature signature,
                                          std::string_view label) {
  const DeviceIdentity id = device_identity(device);
  const std::uint64_t source_hash = text_hash(source);
  static const std::uint64_t kMainHash = text_hash("main");
  const PipelineKey key{id, source_hash, kMainHash, signature};
  if (auto hit = pipeline_cache().find(key)) return *hit;

  const ModuleKey module_key{id, source_hash};
  platform::ShaderModule module;
  if (auto hit = module_cache().find(module_key)) {
    module = *hit;
  } else {
    // Every built-in operation runs in f32 on this path.
    platform::ShaderModule created = mentions_f64_types(source)
                                         ? create_wgsl_module(device, downgrade_f64_to_f32(source), label)
                                         : create_wgsl_module(device, source, label);
    g_modules_created.fetch_add(1, std::memory_order_relaxed);
    module = module_cache().insert_or_adopt(module_key, std::move(created));
  }

  platform::BindGroupLayout layout = cached_bind_group_layout(device, signature, label);
  platform::ComputePipeline pipeline;
  {
    ActiveOperationScope active(device.active_operations());
    platform::GlCallScope scope;
    WGPUBindGroupLayout layouts[] = {layout.get()};
    WGPUPipelineLayoutDescriptor pd{};
    pd.label = platform::to_view(label);
    pd.bindGroupLayoutCount = 1;
    pd.bindGroupLayouts = layouts;
    auto pipeline_layout =
        platform::PipelineLayout::acquire(wgpuDeviceCreatePipelineLayout(device.device().get(), &pd));
    WGPUComputePipelineDescriptor cd{};
    cd.label = platform::to_view(label);
    cd.layout = pipeline_layout.get();
    cd.compute.module = module.get();
    cd.compute.entryPoint = platform::to_view("main");
    pipeline = platform::ComputePipeline::acquire(wgpuDeviceCreateComputePipeline(device.device().get(), &cd));
    g_pipelines_created.fetch_add(1, std::memory_order_relaxed);
  }
  return pipeline_cache().insert_or_adopt(key, std::move(pipeline));
}

platform::BindGroup cached_bind_group(TensorContext& context, std::span<const platform::Buffer> buffers,
                                      LayoutSignature signature, std::string_view label) {
  BindGroupKey key;
  key.signature = signature;
  key.buffer_hashes.reserve(buffers.size());
  for (const auto& b : buffers) key.buffer_hashes.push_back(id_hash(reinterpret_cast<std::uintptr_t>(b.get())));
  {
    std::lock_guard lock(context.bind_group_mutex);
    if (auto it = context.bind_groups.find(key); it != context.bind_groups.end()) {
      context.bind_group_hits.fetch_add(1, std::memory_order_relaxed);
      return it->second;
    }
    context.bind_group_misses.fetch_add(1, std::memory_order_relaxed);
  }
  const GpuDevice& device = *context.device();
  platform::BindGroupLayout layout = cached_bind_group_layout(device, signature, label);
  std::vector<WGPUBindGroupEntry> entries(buffers.size());
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    entries[i] = WGPUBindGroupEntry{};
    entries[i].binding = static_cast<std::uint32_t>(i);
    entries[i].buffer = buffers[i].get();
    entries[i].offset = 0;
    entries[i].size = WGPU_WHOLE_SIZE;
  }
  WGPUBindGroupDescriptor d{};
  d.label = platform::to_view(label);
  d.layout = layout.get();
  d.entryCount = entries.size();
  d.entries = entries.data();
  platform::BindGroup group;
  {
    ActiveOperationScope active(device.active_operations());
    platform::GlCallScope scope;
    group = platform::BindGroup::acquire(wgpuDeviceCreateBindGroup(device.device().get(), &d));
  }
  std::lock_guard lock(context.bind_group_mutex);
  auto [it, inserted] = context.bind_groups.emplace(std::move(key), std::move(group));
  return it->second;
}

namespace {

void encode_launch(WGPUCommandEncoder encoder, const RecordedLaunch& launch) {
  auto pass = platform::ComputePassEncoder::acquire(wgpuCommandEncoderBeginComputePass(encoder, nullptr));
  wgpuComputePassEncoderSetPipeline(pass.get(), launch.pipeline.get());
  wgpuComputePassEncoderSetBindGroup(pass.get(), 0, launch.bind_group.get(), 0, nullptr);
  wgpuComputePassEncoderDispatchWorkgroups(pass.get(), launch.x, launch.y, 1);
  wgpuComputePassEncoderEnd(pass.get());
}

}  // namespace

void record_launch(TensorContext& context, RecordedLaunch launch) {
  if (context.batching.load(std::memory_order_acquire)) {
    {
      std::lock_guard lock(context.pending_mutex);
      context.pending.push_back(std::move(launch));
    }
    context.batched_launches.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const GpuDevice& device = *context.device();
  platform::CommandBuffer commands;
  {
    ActiveOperationScope active(device.active_operations());
    GuardedEncoder encoder = device.create_encoder("TensorContext Immediate");
    {
      platform::GlCallScope scope;
      encode_launch(encoder.get(), launch);
    }
    // The encoded commands hold their own references; the extra buffers can go now.
    launch.keep_alive.clear();
    commands = std::move(encoder).finish();
  }
  device.submit(std::move(commands));
  context.immediate_launches.fetch_add(1, std::memory_order_relaxed);
}

void flush_batched_launches(TensorContext& context) {
  std::vector<RecordedLaunch> launches;
  {
    std::lock_guard lock(context.pending_mutex);
    launches.swap(context.pending);
  }
  if (launches.empty()) return;
  const GpuDevice& device = *context.device();
  platform::CommandBuffer commands;
  {
    ActiveOperationScope active(device.active_operations());
    GuardedEncoder encoder = device.create_encoder("TensorContext Batch");
    {
      platform::GlCallScope scope;
      for (const auto& launch : launches) encode_launch(encoder.get(), launch);
    }
    commands = std::move(encoder).finish();
  }
  device.submit(std::move(commands));
}

PipelineCacheStats pipeline_cache_stats() {
  return {g_layouts_created.load(), g_modules_created.load(), g_pipelines_created.load()};
}

}  // namespace trelliken

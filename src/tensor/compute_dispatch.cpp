#include "tensor/compute_dispatch.hpp"

#include "platform/strings.hpp"
#include "shaders/module.hpp"

namespace trelliken {

std::vector<LayoutEntryDescription> describe_layout(const std::vector<DispatchBinding>& bindings) {
  std::vector<LayoutEntryDescription> out;
  out.reserve(bindings.size());
  for (const auto& b : bindings) {
    const WGPUBufferBindingType type = b.uniform     ? WGPUBufferBindingType_Uniform
                                       : b.read_only ? WGPUBufferBindingType_ReadOnlyStorage
                                                     : WGPUBufferBindingType_Storage;
    out.push_back({b.binding, type});
  }
  return out;
}

ComputeDispatch&& ComputeDispatch::shader(std::string source, std::string entry_point) && {
  shader_source_ = std::move(source);
  entry_point_ = std::move(entry_point);
  return std::move(*this);
}

ComputeDispatch&& ComputeDispatch::storage_read(std::uint32_t binding, platform::Buffer buffer) && {
  bindings_.push_back({std::move(buffer), binding, true, false});
  return std::move(*this);
}

ComputeDispatch&& ComputeDispatch::storage_rw(std::uint32_t binding, platform::Buffer buffer) && {
  bindings_.push_back({std::move(buffer), binding, false, false});
  return std::move(*this);
}

ComputeDispatch&& ComputeDispatch::uniform(std::uint32_t binding, platform::Buffer buffer) && {
  bindings_.push_back({std::move(buffer), binding, true, true});
  return std::move(*this);
}

ComputeDispatch&& ComputeDispatch::dispatch(std::uint32_t x, std::uint32_t y, std::uint32_t z) && {
  x_ = x;
  y_ = y;
  z_ = z;
  return std::move(*this);
}

ComputeDispatch&& ComputeDispatch::f64() && {
  f64_ = true;
  return std::move(*this);
}

ComputeDispatch&& ComputeDispatch::df64() && {
  df64_ = true;
  return std::move(*this);
}

Result<void> ComputeDispatch::submit() && {
  if (!shader_source_) return fail(ComputeError::invalid_input("ComputeDispatch: shader source required"));
  const GpuDevice& device = *device_;
  ConcurrencyLimiter::Permit permit(device.concurrency_limiter());
  ActiveOperationScope active(device.active_operations());
  const WGPUDevice dev = device.device().get();
  const WGPUStringView label = platform::to_view(label_);

  platform::CommandBuffer commands;
  {
    const auto layout_entries = describe_layout(bindings_);
    std::vector<WGPUBindGroupLayoutEntry> entries(layout_entries.size());
    std::vector<WGPUBindGroupEntry> group_entries(bindings_.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i] = WGPUBindGroupLayoutEntry{};
      entries[i].binding = layout_entries[i].binding;
      entries[i].visibility = WGPUShaderStage_Compute;
      entries[i].buffer.type = layout_entries[i].type;
      entries[i].buffer.hasDynamicOffset = 0;
      entries[i].buffer.minBindingSize = 0;
      group_entries[i] = WGPUBindGroupEntry{};
      group_entries[i].binding = bindings_[i].binding;
      group_entries[i].buffer = bindings_[i].buffer.get();
      group_entries[i].offset = 0;
      group_entries[i].size = WGPU_WHOLE_SIZE;
    }

    platform::BindGroupLayout layout;
    platform::BindGroup group;
    {
      ActiveOperationScope creating(device.active_operations());
      platform::GlCallScope scope;
      WGPUBindGroupLayoutDescriptor ld{};
      ld.label = label;
      ld.entryCount = entries.size();
      ld.entries = entries.data();
      layout = platform::BindGroupLayout::acquire(wgpuDeviceCreateBindGroupLayout(dev, &ld));
      WGPUBindGroupDescriptor gd{};
      gd.label = label;
      gd.layout = layout.get();
      gd.entryCount = group_entries.size();
      gd.entries = group_entries.data();
      group = platform::BindGroup::acquire(wgpuDeviceCreateBindGroup(dev, &gd));
    }

    platform::ShaderModule module = prepare_and_create_module(device, *shader_source_, label_, f64_, df64_);

    platform::PipelineLayout pipeline_layout;
    platform::ComputePipeline pipeline;
    {
      ActiveOperationScope creating(device.active_operations());
      platform::GlCallScope scope;
      WGPUBindGroupLayout layouts[] = {layout.get()};
      WGPUPipelineLayoutDescriptor pd{};
      pd.label = label;
      pd.bindGroupLayoutCount = 1;
      pd.bindGroupLayouts = layouts;
      pd.immediateSize = 0;
      pipeline_layout = platform::PipelineLayout::acquire(wgpuDeviceCreatePipelineLayout(dev, &pd));
      WGPUComputePipelineDescriptor cd{};
      cd.label = label;
      cd.layout = pipeline_layout.get();
      cd.compute.module = module.get();
      cd.compute.entryPoint = platform::to_view(entry_point_);
      pipeline = platform::ComputePipeline::acquire(wgpuDeviceCreateComputePipeline(dev, &cd));
    }

    GuardedEncoder encoder = device.create_encoder(label_);
    {
      platform::GlCallScope scope;
      WGPUComputePassDescriptor pass_desc{};
      pass_desc.label = label;
      auto pass = platform::ComputePassEncoder::acquire(wgpuCommandEncoderBeginComputePass(encoder.get(), &pass_desc));
      wgpuComputePassEncoderSetPipeline(pass.get(), pipeline.get());
      wgpuComputePassEncoderSetBindGroup(pass.get(), 0, group.get(), 0, nullptr);
      wgpuComputePassEncoderDispatchWorkgroups(pass.get(), x_, y_, z_);
      wgpuComputePassEncoderEnd(pass.get());
    }
    commands = std::move(encoder).finish();
  }
  active.end();
  device.submit_and_poll(std::move(commands));
  return {};
}

}  // namespace trelliken

#include "ops/matmul/matmul.hpp"

#include <fmt/format.h>

#include <array>
#include <cstring>

#include "device/hardware_profile.hpp"
#include "device/tensor_context/tensor_context.hpp"
#include "shaders/embedded_wgsl.hpp"
#include "platform/strings.hpp"
#include "tensor/pipeline_cache.hpp"

namespace trelliken {

namespace {

constexpr LayoutSignature kSignature{2, 1, 1};

struct Checked {
  std::uint32_t m, k, n;
};

Result<Checked> check_shapes(const Tensor& a, const Tensor& b) {
  const Shape& sa = a.shape();
  const Shape& sb = b.shape();
  if (sa.size() < 2 || sb.size() < 2) {
    return fail(ComputeError::invalid_operation(
        "matmul", fmt::format("requires 2D+ tensors, got shapes {} and {}", format_shape(sa), format_shape(sb))));
  }
  if (sa[1] != sb[0]) return fail(ComputeError::shape_mismatch(sa, sb));
  // Buffers of one WebGPU device cannot be bound on another.
  if (a.device() != b.device()) {
    return fail(ComputeError::invalid_operation("matmul", "operands live on different devices"));
  }
  // The kernels index with 32-bit integers.
  constexpr std::size_t kMax = 0xFFFFFFFFu;
  if (sa[0] > kMax || sa[1] > kMax || sb[1] > kMax) {
    return fail(ComputeError::invalid_operation("matmul", fmt::format("sizes {} and {} exceed 32-bit indexing",
                                                                      format_shape(sa), format_shape(sb))));
  }
  return Checked{static_cast<std::uint32_t>(sa[0]), static_cast<std::uint32_t>(sa[1]),
                 static_cast<std::uint32_t>(sb[1])};
}

std::uint32_t groups(std::uint32_t count, unsigned shift) {
  const std::uint32_t mask = (1u << shift) - 1;
  return (count >> shift) + ((count & mask) != 0 ? 1 : 0);
}

Result<platform::Buffer> params_buffer(const GpuDevice& device, const Checked& dims) {
  const std::array<std::uint32_t, 4> words = {dims.m, dims.k, dims.n, 0};
  return device.create_buffer_with_words("MatMul Params", WGPUBufferUsage_Uniform, words);
}

}  // namespace

MatmulVariant choose_matmul_variant(AdapterType device_type, std::uint64_t m, std::uint64_t n) noexcept {
  if (device_type == AdapterType::Cpu) return MatmulVariant::CpuTiled32;
  if (m > 255 && n > 255) return MatmulVariant::GpuEvolved32;
  return MatmulVariant::Tiled16;
}

std::string_view matmul_label(MatmulVariant variant) noexcept {
  switch (variant) {
    case MatmulVariant::Tiled16: return "MatMul Tiled16";
    case MatmulVariant::CpuTiled32: return "MatMul CpuTiled32";
    case MatmulVariant::GpuEvolved32: return "MatMul GpuEvolved32";
  }
  return "MatMul Tiled16";
}

std::string_view matmul_source(MatmulVariant variant) {
  switch (variant) {
    case MatmulVariant::Tiled16: return embedded_wgsl("ops/matmul/tiled16.wgsl");
    case MatmulVariant::CpuTiled32: return embedded_wgsl("ops/matmul/cpu_tiled32.wgsl");
    case MatmulVariant::GpuEvolved32: return embedded_wgsl("ops/matmul/gpu_evolved32.wgsl");
  }
  return embedded_wgsl("ops/matmul/tiled16.wgsl");
}

Result<Tensor> matmul_with_variant(const Tensor& a, const Tensor& b, MatmulVariant variant) {
  auto dims = check_shapes(a, b);
  if (!dims) return fail(dims.error());
  const std::shared_ptr<GpuDevice>& device = a.device();
  auto context = TensorContext::for_device(device);
  PooledBuffer output = context->pool().acquire(static_cast<std::uint64_t>(dims->m) * dims->n);
  auto params = params_buffer(*device, *dims);
  if (!params) return fail(params.error());

  platform::BindGroupLayout layout = cached_bind_group_layout(*device, kSignature, "MatMul BGL");
  const WGPUBuffer bound[] = {a.buffer().get(), b.buffer().get(), output.buffer().get(), params->get()};
  std::array<WGPUBindGroupEntry, 4> entries{};
  for (std::uint32_t i = 0; i < 4; ++i) {
    entries[i].binding = i;
    entries[i].buffer = bound[i];
    entries[i].offset = 0;
    entries[i].size = WGPU_WHOLE_SIZE;
  }
  WGPUBindGroupDescriptor gd{};
  gd.label = platform::to_view("MatMul BG");
  gd.layout = layout.get();
  gd.entryCount = entries.size();
  gd.entries = entries.data();
  platform::BindGroup group;
  {
    platform::GlCallScope scope;
    group = platform::BindGroup::acquire(wgpuDeviceCreateBindGroup(device->device().get(), &gd));
  }

  platform::ComputePipeline pipeline =
      cached_pipeline(*device, matmul_source(variant), kSignature, matmul_label(variant));
  const unsigned shift = variant == MatmulVariant::Tiled16 ? 4 : 5;
  RecordedLaunch launch{std::move(pipeline), std::move(group), groups(dims->n, shift), groups(dims->m, shift), {}};
  launch.keep_alive.push_back(std::move(*params));
  record_launch(*context, std::move(launch));
  return Tensor::from_pooled(std::move(output), Shape{dims->m, dims->n}, device);
}

Result<Tensor> Tensor::matmul(const Tensor& other) const {
  auto dims = check_shapes(*this, other);
  if (!dims) return fail(dims.error());
  const HardwareProfile profile = HardwareProfile::from_device(device_);
  return matmul_with_variant(*this, other, choose_matmul_variant(profile.device_type, dims->m, dims->n));
}

}  // namespace trelliken

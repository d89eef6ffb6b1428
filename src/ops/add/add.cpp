#include "ops/add/add.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "device/hardware_profile.hpp"
#include "device/tensor_context/tensor_context.hpp"
#include "shaders/embedded_wgsl.hpp"
#include "tensor/pipeline_cache.hpp"

namespace trelliken {

namespace {

constexpr LayoutSignature kSignature{2, 1, 0};

unsigned shift_of(AddVariant variant) {
  switch (variant) {
    case AddVariant::Wide64: return 6;
    case AddVariant::Wide128: return 7;
    case AddVariant::Generic256: return 8;
  }
  return 8;
}

}  // namespace

AddVariant choose_add_variant(std::uint32_t max_invocations_per_workgroup) noexcept {
  if (max_invocations_per_workgroup < 128) return AddVariant::Wide64;
  if (max_invocations_per_workgroup < 256) return AddVariant::Wide128;
  return AddVariant::Generic256;
}

std::string_view add_source(AddVariant variant) {
  switch (variant) {
    case AddVariant::Wide64: return embedded_wgsl("ops/add/add_64.wgsl");
    case AddVariant::Wide128: return embedded_wgsl("ops/add/add_128.wgsl");
    case AddVariant::Generic256: return embedded_wgsl("ops/add/add_generic.wgsl");
  }
  return embedded_wgsl("ops/add/add_generic.wgsl");
}

std::uint32_t add_workgroup_size(AddVariant variant) noexcept { return 1u << shift_of(variant); }

Result<Tensor> add_with_variant(const Tensor& a, const Tensor& b, AddVariant variant) {
  if (a.shape() != b.shape()) return fail(ComputeError::shape_mismatch(a.shape(), b.shape()));
  // Buffers of one WebGPU device cannot be bound on another.
  if (a.device() != b.device()) return fail(ComputeError::invalid_operation("add", "operands live on different devices"));
  const std::uint64_t n = a.len();
  const unsigned shift = shift_of(variant);
  const std::uint64_t workgroups = (n >> shift) + ((n & ((1u << shift) - 1)) != 0 ? 1 : 0);
  const std::shared_ptr<GpuDevice>& device = a.device();
  // One dimension holds a limited number of workgroups; larger launches fold into y.
  const std::uint64_t per_dimension = std::max<std::uint32_t>(1, device->limits().max_compute_workgroups_per_dimension);
  const std::uint64_t x = std::min(workgroups, per_dimension);
  const std::uint64_t y = x == 0 ? 1 : (workgroups + x - 1) / x;
  if (y > per_dimension) {
    return fail(ComputeError::invalid_operation("add", fmt::format("{} elements exceed one dispatch", n)));
  }
  auto context = TensorContext::for_device(device);
  PooledBuffer output = context->pool().acquire(n);
  const std::array<platform::Buffer, 3> buffers = {a.buffer(), b.buffer(), output.buffer()};
  platform::BindGroup group = cached_bind_group(*context, buffers, kSignature, "Add Bind Group");
  platform::ComputePipeline pipeline = cached_pipeline(*device, add_source(variant), kSignature, "Add Pipeline");
  record_launch(*context, RecordedLaunch{std::move(pipeline), std::move(group), static_cast<std::uint32_t>(x),
                                          static_cast<std::uint32_t>(y), {}});
  return Tensor::from_pooled(std::move(output), a.shape(), device);
}

Result<Tensor> Tensor::add(const Tensor& other) const {
  if (shape_ != other.shape()) return fail(ComputeError::shape_mismatch(shape_, other.shape()));
  const HardwareProfile profile = HardwareProfile::from_device(device_);
  return add_with_variant(*this, other, choose_add_variant(profile.max_invocations_per_workgroup));
}

}  // namespace trelliken

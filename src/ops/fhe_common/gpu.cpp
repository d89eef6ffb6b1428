#include "ops/fhe_common/gpu.hpp"

#include <fmt/format.h>

#include <bit>
#include <cstring>
#include <utility>

#include "platform/gl_scope.hpp"
#include "tensor/compute_dispatch.hpp"

namespace trelliken::fhe {

Result<void> check_launch_size(const GpuDevice& device, std::uint64_t items) {
  const std::uint64_t groups = (items + kWorkgroupSize - 1) / kWorkgroupSize;
  const std::uint32_t limit = device.limits().max_compute_workgroups_per_dimension;
  if (groups > limit) {
    return fail(ComputeError::device(fmt::format("{} coefficients need {} workgroups, more than the device's {} per dimension",
                                                 items, groups, limit)));
  }
  return {};
}

namespace {

constexpr WGPUBufferUsage kWorkUsage = WGPUBufferUsage_Storage | WGPUBufferUsage_CopySrc;

}  // namespace

std::array<std::uint32_t, 8> transform_params(std::uint32_t degree, std::uint64_t modulus, std::uint64_t mu,
                                              std::uint64_t root, std::uint32_t stage) {
  return {degree,
          static_cast<std::uint32_t>(modulus),
          static_cast<std::uint32_t>(modulus >> 32),
          static_cast<std::uint32_t>(mu),
          static_cast<std::uint32_t>(mu >> 32),
          static_cast<std::uint32_t>(root),
          static_cast<std::uint32_t>(root >> 32),
          stage};
}

Result<TransformBuffers> run_transform_passes(const TransformPlan& plan) {
  const auto& device = plan.input->device();
  const TransformLabels& labels = *plan.labels;
  const std::uint64_t bytes = std::uint64_t{plan.degree} * 8;

  auto output = device->create_buffer({labels.output, bytes, kWorkUsage, false});
  if (!output) return fail(output.error());
  auto intermediate = device->create_buffer({labels.intermediate, bytes, kWorkUsage, false});
  if (!intermediate) return fail(intermediate.error());
  auto twiddles = device->create_buffer_with_words(labels.twiddles, WGPUBufferUsage_Storage, u64_to_words(*plan.twiddles));
  if (!twiddles) return fail(twiddles.error());
  const auto reverse_words = transform_params(plan.degree, plan.modulus, plan.mu, plan.root, 0);
  auto reverse_params = device->create_buffer_with_words(labels.bit_reverse_params, WGPUBufferUsage_Uniform, reverse_words);
  if (!reverse_params) return fail(reverse_params.error());

  const std::string source(plan.source);
  auto reversed = ComputeDispatch(device, std::string(labels.bit_reverse))
                      .shader(source, "bit_reverse")
                      .storage_read(0, plan.input->buffer())
                      .storage_rw(1, *intermediate)
                      .storage_read(2, *twiddles)
                      .uniform(3, *reverse_params)
                      .dispatch(workgroups_for(plan.degree), 1, 1)
                      .submit();
  if (!reversed) return fail(reversed.error());

  // The exact logarithm of a power of two; a float logarithm is only trusted up to rounding.
  const auto stages = static_cast<std::uint32_t>(std::countr_zero(plan.degree));
  platform::Buffer* last = &*intermediate;
  platform::Buffer* other = &*output;
  for (std::uint32_t s = 0; s < stages; ++s) {
    const auto stage_words = transform_params(plan.degree, plan.modulus, plan.mu, plan.root, s);
    auto stage_params = device->create_buffer_with_words(fmt::format("{}(Stage {})", labels.stage_params_prefix, s),
                                          WGPUBufferUsage_Uniform, stage_words);
    if (!stage_params) return fail(stage_params.error());
    auto stage = ComputeDispatch(device, std::string(labels.butterfly))
                     .shader(source, "main")
                     .storage_read(0, *last)
                     .storage_rw(1, *other)
                     .storage_read(2, *twiddles)
                     .uniform(3, *stage_params)
                     .dispatch(workgroups_for(plan.degree / 2), 1, 1)
                     .submit();
    if (!stage) return fail(stage.error());
    std::swap(last, other);
  }
  return TransformBuffers{std::move(*last), std::move(*twiddles)};
}

}  // namespace trelliken::fhe

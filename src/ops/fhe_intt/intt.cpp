#include "ops/fhe_intt/intt.hpp"

#include <fmt/format.h>

#include "ops/fhe_common/gpu.hpp"
#include "ops/fhe_common/modular.hpp"
#include "shaders/embedded_wgsl.hpp"
#include "tensor/compute_dispatch.hpp"

namespace trelliken {

namespace {

constexpr fhe::TransformLabels kLabels{
    "INTT Output Buffer", "INTT Intermediate Buffer", "INTT Inverse Twiddle Factors", "INTT Params (Bit Reverse)",
    "INTT Params ",       "INTT Bit Reverse",         "INTT Butterfly",
};

}  // namespace

Result<FheIntt> FheIntt::create(Tensor input, std::uint32_t degree, std::uint64_t modulus,
                                std::uint64_t inverse_root) {
  const std::uint64_t expected = std::uint64_t{degree} * 2;
  if (input.len() != expected) {
    return fail(ComputeError::device(
        fmt::format("Input length {} doesn't match expected {} (degree {} * 2)", input.len(), expected, degree)));
  }
  if (!fhe::is_power_of_two(degree)) {
    return fail(ComputeError::device(fmt::format("Degree {} must be a power of 2 for INTT", degree)));
  }
  if (modulus == 0) return fail(ComputeError::device("Modulus must be non-zero"));
  return FheIntt(std::move(input), degree, modulus, inverse_root);
}

FheIntt::FheIntt(Tensor input, std::uint32_t degree, std::uint64_t modulus, std::uint64_t inverse_root)
    : input_(std::move(input)),
      degree_(degree),
      modulus_(modulus),
      inverse_root_(inverse_root),
      inverse_twiddles_(fhe::power_table(inverse_root, degree, modulus)),
      mu_(fhe::barrett_mu(modulus)),
      n_inv_(fhe::mod_inverse(degree, modulus)) {}

Result<Tensor> FheIntt::execute() const {
  if (auto fits = fhe::check_launch_size(*input_.device(), degree_); !fits) return fail(fits.error());
  const std::string_view source = embedded_wgsl("ops/fhe_intt/intt.wgsl");
  const fhe::TransformPlan plan{&input_, degree_, modulus_, mu_, inverse_root_, &inverse_twiddles_, source, &kLabels};
  auto passes = fhe::run_transform_passes(plan);
  if (!passes) return fail(passes.error());

  const auto& device = input_.device();
  const std::uint64_t bytes = std::uint64_t{degree_} * 8;
  auto scaled = device->create_buffer(
      {"INTT Scaled Output", bytes, WGPUBufferUsage_Storage | WGPUBufferUsage_CopySrc, false});
  if (!scaled) return fail(scaled.error());
  const auto scale_words = fhe::transform_params(degree_, modulus_, mu_, n_inv_, 0);
  auto scale_params = device->create_buffer_with_words("INTT Scaling Params", WGPUBufferUsage_Uniform, scale_words);
  if (!scale_params) return fail(scale_params.error());
  auto scaled_pass = ComputeDispatch(device, "INTT Scale")
                         .shader(std::string(source), "scale_by_n")
                         .storage_read(0, passes->result)
                         .storage_rw(1, *scaled)
                         .storage_read(2, passes->twiddles)
                         .uniform(3, *scale_params)
                         .dispatch(fhe::workgroups_for(degree_), 1, 1)
                         .submit();
  if (!scaled_pass) return fail(scaled_pass.error());
  return Tensor::from_buffer(std::move(*scaled), Shape{std::size_t{degree_} * 2}, device);
}

}  // namespace trelliken

#include "ops/fhe_ntt/ntt.hpp"

#include <fmt/format.h>

#include "ops/fhe_common/gpu.hpp"
#include "ops/fhe_common/modular.hpp"
#include "shaders/embedded_wgsl.hpp"

namespace trelliken {

namespace {

constexpr fhe::TransformLabels kLabels{
    "NTT Output Buffer", "NTT Intermediate Buffer", "NTT Twiddle Factors", "NTT Params (Bit Reverse)",
    "NTT Params ",       "NTT Bit Reverse",         "NTT Butterfly",
};

}  // namespace

Result<FheNtt> FheNtt::create(Tensor input, std::uint32_t degree, std::uint64_t modulus, std::uint64_t root) {
  const std::uint64_t expected = std::uint64_t{degree} * 2;
  if (input.len() != expected) {
    return fail(ComputeError::device(
        fmt::format("Input length {} doesn't match expected {} (degree {} * 2)", input.len(), expected, degree)));
  }
  if (degree < 2 || !fhe::is_power_of_two(degree)) {
    return fail(ComputeError::device(fmt::format("Degree {} must be a power of 2 \u2265 2 for NTT", degree)));
  }
  if (modulus == 0) return fail(ComputeError::device("Modulus must be non-zero"));
  if ((modulus - 1) % expected != 0) {
    return fail(ComputeError::device(
        fmt::format("Modulus {} must satisfy q \u2261 1 (mod 2N) where N={}", modulus, degree)));
  }
  return FheNtt(std::move(input), degree, modulus, root);
}

FheNtt::FheNtt(Tensor input, std::uint32_t degree, std::uint64_t modulus, std::uint64_t root)
    : input_(std::move(input)),
      degree_(degree),
      modulus_(modulus),
      root_(root),
      twiddles_(fhe::power_table(root, degree, modulus)),
      mu_(fhe::barrett_mu(modulus)) {}

Result<Tensor> FheNtt::execute() const {
  if (auto fits = fhe::check_launch_size(*input_.device(), degree_); !fits) return fail(fits.error());
  const fhe::TransformPlan plan{&input_, degree_, modulus_, mu_, root_, &twiddles_,
                                embedded_wgsl("ops/fhe_ntt/ntt.wgsl"), &kLabels};
  auto passes = fhe::run_transform_passes(plan);
  if (!passes) return fail(passes.error());
  return Tensor::from_buffer(std::move(passes->result), Shape{std::size_t{degree_} * 2}, input_.device());
}

}  // namespace trelliken

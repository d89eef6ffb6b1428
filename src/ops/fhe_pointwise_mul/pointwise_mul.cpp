#include "ops/fhe_pointwise_mul/pointwise_mul.hpp"

#include <fmt/format.h>

#include <array>

#include "ops/fhe_common/gpu.hpp"
#include "ops/fhe_common/modular.hpp"
#include "shaders/embedded_wgsl.hpp"
#include "tensor/compute_dispatch.hpp"

namespace trelliken {

Result<FhePointwiseMul> FhePointwiseMul::create(Tensor a, Tensor b, std::uint64_t modulus, std::uint32_t degree) {
  const std::uint64_t expected = std::uint64_t{degree} * 2;
  if (a.len() != expected) {
    return fail(ComputeError::device(fmt::format("Input A has wrong length: expected {}, got {}", expected, a.len())));
  }
  if (b.len() != expected) {
    return fail(ComputeError::device(fmt::format("Input B has wrong length: expected {}, got {}", expected, b.len())));
  }
  if (a.device() != b.device()) return fail(ComputeError::device("input_a and input_b must be on the same device"));
  // The kernel needs a modulus to reduce by; q = 0 has no residues, so it is refused here
  // rather than left to divide by zero on the host.
  if (modulus == 0) return fail(ComputeError::device("Modulus must be non-zero"));
  return FhePointwiseMul(std::move(a), std::move(b), modulus, degree);
}

FhePointwiseMul::FhePointwiseMul(Tensor a, Tensor b, std::uint64_t modulus, std::uint32_t degree)
    : a_(std::move(a)), b_(std::move(b)), modulus_(modulus), degree_(degree), mu_(fhe::barrett_mu(modulus)) {}

Result<Tensor> FhePointwiseMul::execute() const {
  const auto& device = a_.device();
  if (auto fits = fhe::check_launch_size(*device, degree_); !fits) return fail(fits.error());
  auto output = device->create_buffer({"Point-wise Multiply Output", std::uint64_t{degree_} * 8,
                                       WGPUBufferUsage_Storage | WGPUBufferUsage_CopySrc, false});
  if (!output) return fail(output.error());
  const std::array<std::uint32_t, 8> words = {degree_,
                                              static_cast<std::uint32_t>(modulus_),
                                              static_cast<std::uint32_t>(modulus_ >> 32),
                                              static_cast<std::uint32_t>(mu_),
                                              static_cast<std::uint32_t>(mu_ >> 32),
                                              0,
                                              0,
                                              0};
  auto params = device->create_buffer_with_words("FHE Pointwise Mul Params",
                                       WGPUBufferUsage_Uniform | WGPUBufferUsage_CopyDst, words);
  if (!params) return fail(params.error());
  auto launched = ComputeDispatch(device, "FHE Pointwise Mul")
                      .shader(std::string(embedded_wgsl("ops/fhe_pointwise_mul/pointwise_mul.wgsl")), "main")
                      .storage_read(0, a_.buffer())
                      .storage_read(1, b_.buffer())
                      .storage_rw(2, *output)
                      .uniform(3, *params)
                      .dispatch(fhe::workgroups_for(degree_), 1, 1)
                      .submit();
  if (!launched) return fail(launched.error());
  return Tensor::from_buffer(std::move(*output), Shape{std::size_t{degree_} * 2}, device);
}

}  // namespace trelliken

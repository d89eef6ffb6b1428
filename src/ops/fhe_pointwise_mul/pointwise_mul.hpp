#pragma once
// Coefficient-by-coefficient product of two polynomials modulo q, on the GPU.

#include <cstdint>

#include "error/compute_error.hpp"
#include "tensor/tensor.hpp"

namespace trelliken {

/// a_i · b_i mod q for N coefficients held as u64 tensors of 2N words. Exact for every modulus
/// q ≥ 1 below 2^64 and every 64-bit operand.
class FhePointwiseMul {
 public:
  /// Validates, in this order: A holds 2N words, B holds 2N words, A and B share one device
  /// record. Each failure is a `Device` error with its fixed message.
  [[nodiscard]] static Result<FhePointwiseMul> create(Tensor a, Tensor b, std::uint64_t modulus,
                                                      std::uint32_t degree);

  /// One dispatch of N invocations; a u64 tensor of shape [2N] on the inputs' device.
  [[nodiscard]] Result<Tensor> execute() const;

  [[nodiscard]] std::uint32_t degree() const noexcept { return degree_; }
  [[nodiscard]] std::uint64_t modulus() const noexcept { return modulus_; }
  [[nodiscard]] std::uint64_t mu() const noexcept { return mu_; }

 private:
  FhePointwiseMul(Tensor a, Tensor b, std::uint64_t modulus, std::uint32_t degree);

  Tensor a_;
  Tensor b_;
  std::uint64_t modulus_;
  std::uint32_t degree_;
  std::uint64_t mu_;
};

}  // namespace trelliken

#pragma once
// Inverse number-theoretic transform of a polynomial modulo q, on the GPU.

#include <cstdint>
#include <vector>

#include "error/compute_error.hpp"
#include "tensor/tensor.hpp"

namespace trelliken {

/// The inverse NTT of N coefficients (a u64 tensor of 2N words) modulo q with the caller's
/// inverse root ω⁻¹: the forward passes with twiddles (ω⁻¹)^i, then a scaling by N⁻¹ mod q.
/// Exact for every modulus below 2^64; the result is in natural order.
class FheIntt {
 public:
  /// Validates, in this order: the input holds 2N words, N is a power of two (1 included) and
  /// q ≠ 0. Each failure is a `Device` error with its fixed message.
  [[nodiscard]] static Result<FheIntt> create(Tensor input, std::uint32_t degree, std::uint64_t modulus,
                                              std::uint64_t inverse_root);

  /// Runs bit reversal, log2(N) butterfly passes and the scaling pass; a u64 tensor of shape [2N].
  [[nodiscard]] Result<Tensor> execute() const;

  [[nodiscard]] std::uint32_t degree() const noexcept { return degree_; }
  [[nodiscard]] std::uint64_t modulus() const noexcept { return modulus_; }
  [[nodiscard]] std::uint64_t inverse_root() const noexcept { return inverse_root_; }
  [[nodiscard]] std::uint64_t mu() const noexcept { return mu_; }
  /// N⁻¹ mod q, or 0 when N has no inverse modulo q.
  [[nodiscard]] std::uint64_t n_inv() const noexcept { return n_inv_; }
  [[nodiscard]] const std::vector<std::uint64_t>& inverse_twiddles() const noexcept { return inverse_twiddles_; }

 private:
  FheIntt(Tensor input, std::uint32_t degree, std::uint64_t modulus, std::uint64_t inverse_root);

  Tensor input_;
  std::uint32_t degree_;
  std::uint64_t modulus_;
  std::uint64_t inverse_root_;
  std::vector<std::uint64_t> inverse_twiddles_;
  std::uint64_t mu_;
  std::uint64_t n_inv_;
};

}  // namespace trelliken

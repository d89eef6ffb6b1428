#pragma once
// Forward number-theoretic transform of a polynomial modulo q, on the GPU.

#include <cstdint>
#include <vector>

#include "error/compute_error.hpp"
#include "tensor/tensor.hpp"

namespace trelliken {

/// The NTT of N coefficients (a u64 tensor of 2N words) modulo q with twiddles ω^i, computed by
/// the host. Exact for every modulus below 2^64; the result is in natural order. Primality of q
/// and the order of ω are not checked.
class FheNtt {
 public:
  /// Validates, in this order: the input holds 2N words, N is a power of two ≥ 2, q ≠ 0 and
  /// q ≡ 1 (mod 2N). Each failure is a `Device` error with its fixed message.
  [[nodiscard]] static Result<FheNtt> create(Tensor input, std::uint32_t degree, std::uint64_t modulus,
                                             std::uint64_t root);

  /// Runs the bit-reversal pass and log2(N) butterfly passes; a u64 tensor of shape [2N].
  [[nodiscard]] Result<Tensor> execute() const;

  [[nodiscard]] std::uint32_t degree() const noexcept { return degree_; }
  [[nodiscard]] std::uint64_t modulus() const noexcept { return modulus_; }
  [[nodiscard]] std::uint64_t root() const noexcept { return root_; }
  [[nodiscard]] std::uint64_t mu() const noexcept { return mu_; }
  [[nodiscard]] const std::vector<std::uint64_t>& twiddles() const noexcept { return twiddles_; }

 private:
  FheNtt(Tensor input, std::uint32_t degree, std::uint64_t modulus, std::uint64_t root);

  Tensor input_;
  std::uint32_t degree_;
  std::uint64_t modulus_;
  std::uint64_t root_;
  std::vector<std::uint64_t> twiddles_;
  std::uint64_t mu_;
};

}  // namespace trelliken

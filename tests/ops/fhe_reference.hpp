#pragma once
// Host references for the FHE operation tests: plain 128-bit arithmetic, no GPU.

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "ops/fhe_common/modular.hpp"

namespace trelliken::testing {

using u128 = unsigned __int128;

inline constexpr std::uint64_t kGoldilocks = 0xFFFFFFFF00000001ull;  // 2^64 - 2^32 + 1
// The largest prime q < 2^64 with q ≡ 1 (mod 2^17), other than 2^64 - 2^32 + 1 (found with a
// Miller-Rabin search downwards from 2^64).
inline constexpr std::uint64_t kPrimeNear64 = 0xFFFFFFFFFFE40001ull;
inline constexpr std::uint64_t kLargestPrime = 0xFFFFFFFFFFFFFFC5ull;  // 2^64 - 59

/// Values drawn uniformly from [0, q), with the edges 0, 1 and q − 1 first.
inline std::vector<std::uint64_t> random_residues(std::size_t count, std::uint64_t q, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<std::uint64_t> pick(0, q - 1);
  std::vector<std::uint64_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = pick(rng);
  if (count > 0) out[0] = q - 1;
  if (count > 1) out[1] = 0;
  if (count > 2) out[2] = 1 % q;
  if (count > 3) out[3] = q - 1;
  return out;
}

/// A primitive N-th root of unity modulo the prime q (q ≡ 1 mod N, N a power of two ≥ 2).
inline std::uint64_t primitive_root_of_unity(std::uint64_t q, std::uint64_t n) {
  for (std::uint64_t x = 2;; ++x) {
    const std::uint64_t w = fhe::pow_mod(x, (q - 1) / n, q);
    if (fhe::pow_mod(w, n / 2, q) != 1) return w;
  }
}

/// The transform as the kernels compute it: bit reversal, then radix-2 butterflies with the
/// twiddles root^i, in 128-bit arithmetic. `scale` multiplies every output (1 for none).
inline std::vector<std::uint64_t> reference_transform(std::vector<std::uint64_t> a, std::uint64_t root,
                                                      std::uint64_t q, std::uint64_t scale = 1) {
  const std::size_t n = a.size();
  const unsigned log_n = static_cast<unsigned>(std::countr_zero(n));
  for (auto& v : a) v %= q;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t r = 0;
    for (unsigned bit = 0; bit < log_n; ++bit) r |= ((i >> bit) & 1) << (log_n - 1 - bit);
    if (i < r) std::swap(a[i], a[r]);
  }
  const auto twiddles = fhe::power_table(root, static_cast<std::uint32_t>(n), q);
  for (std::size_t stride = 1; stride < n; stride *= 2) {
    for (std::size_t start = 0; start < n; start += 2 * stride) {
      for (std::size_t j = 0; j < stride; ++j) {
        const std::uint64_t t = twiddles[j * (n / (2 * stride))];
        const std::uint64_t u = a[start + j];
        const std::uint64_t tv = fhe::mul_mod(t, a[start + j + stride], q);
        a[start + j] = static_cast<std::uint64_t>((static_cast<u128>(u) + tv) % q);
        a[start + j + stride] = static_cast<std::uint64_t>((static_cast<u128>(u) + q - tv) % q);
      }
    }
  }
  for (auto& v : a) v = fhe::mul_mod(v, scale, q);
  return a;
}

/// The transform from its definition, X_k = Σ_j x_j · root^(j·k) mod q; O(N²), for small N.
inline std::vector<std::uint64_t> definition_transform(const std::vector<std::uint64_t>& a, std::uint64_t root,
                                                       std::uint64_t q) {
  std::vector<std::uint64_t> out(a.size());
  for (std::size_t k = 0; k < a.size(); ++k) {
    u128 sum = 0;
    for (std::size_t j = 0; j < a.size(); ++j) {
      sum = (sum + fhe::mul_mod(a[j], fhe::pow_mod(root, j * k, q), q)) % q;
    }
    out[k] = static_cast<std::uint64_t>(sum);
  }
  return out;
}

}  // namespace trelliken::testing

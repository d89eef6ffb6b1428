#pragma once
// Host-side modular arithmetic for the FHE operations, with 128-bit intermediates.

#include <cstdint>
#include <vector>

namespace trelliken::fhe {

/// a · b mod q, exact for every 64-bit a, b and q ≥ 1.
[[nodiscard]] std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b, std::uint64_t q) noexcept;

/// base^exponent mod q, for q ≥ 1.
[[nodiscard]] std::uint64_t pow_mod(std::uint64_t base, std::uint64_t exponent, std::uint64_t q) noexcept;

/// The inverse of a modulo m in 0 … m−1 (extended Euclid on signed 128-bit integers), or 0 when
/// gcd(a, m) is not 1 or m is 0.
[[nodiscard]] std::uint64_t mod_inverse(std::uint64_t a, std::uint64_t m) noexcept;

/// The Barrett constant floor((2^64 − 1) / q) carried in the parameter blocks; q ≥ 1.
[[nodiscard]] constexpr std::uint64_t barrett_mu(std::uint64_t q) noexcept { return ~std::uint64_t{0} / q; }

/// root^i mod q for i = 0 … count − 1, each step one 128-bit product; every entry is reduced,
/// even when the root is not. q ≥ 1.
[[nodiscard]] std::vector<std::uint64_t> power_table(std::uint64_t root, std::uint32_t count, std::uint64_t q);

/// True when n is a power of two (1 included).
[[nodiscard]] constexpr bool is_power_of_two(std::uint64_t n) noexcept { return n != 0 && (n & (n - 1)) == 0; }

}  // namespace trelliken::fhe

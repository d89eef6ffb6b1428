#include "ops/fhe_common/modular.hpp"

namespace trelliken::fhe {

using u128 = unsigned __int128;
using i128 = __int128;

std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b, std::uint64_t q) noexcept {
  return static_cast<std::uint64_t>(static_cast<u128>(a) * b % q);
}

std::uint64_t pow_mod(std::uint64_t base, std::uint64_t exponent, std::uint64_t q) noexcept {
  std::uint64_t result = 1 % q;
  base %= q;
  while (exponent != 0) {
    if (exponent & 1) result = mul_mod(result, base, q);
    base = mul_mod(base, base, q);
    exponent >>= 1;
  }
  return result;
}

std::uint64_t mod_inverse(std::uint64_t a, std::uint64_t m) noexcept {
  if (m == 0) return 0;
  // Invariant: old_r ≡ old_s · a and r ≡ s · a (mod m); |s| stays below m, so 128 bits suffice.
  i128 old_r = a, r = m;
  i128 old_s = 1, s = 0;
  while (r != 0) {
    const i128 quotient = old_r / r;
    const i128 next_r = old_r - quotient * r;
    old_r = r;
    r = next_r;
    const i128 next_s = old_s - quotient * s;
    old_s = s;
    s = next_s;
  }
  if (old_r != 1) return 0;
  i128 inverse = old_s % static_cast<i128>(m);
  if (inverse < 0) inverse += m;
  return static_cast<std::uint64_t>(inverse);
}

std::vector<std::uint64_t> power_table(std::uint64_t root, std::uint32_t count, std::uint64_t q) {
  std::vector<std::uint64_t> table(count);
  std::uint64_t power = 1 % q;
  for (std::uint32_t i = 0; i < count; ++i) {
    table[i] = power;
    power = mul_mod(power, root, q);
  }
  return table;
}

}  // namespace trelliken::fhe

// Host modular arithmetic of the FHE operations, and the shared WGSL arithmetic text.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "fhe_reference.hpp"
#include "ops/fhe_common/gpu.hpp"
#include "ops/fhe_common/modular.hpp"
#include "support/gpu.hpp"
#include "shaders/embedded_wgsl.hpp"
#include "shaders/precision/downgrade.hpp"

namespace trelliken {
namespace {

using testing::u128;

TEST(FheModular, InverseByExtendedEuclid) {
  struct Case {
    std::uint64_t a, m, want;
  };
  const Case cases[] = {
      {4, 17, 13},
      {8, 12289, 10753},
      {11, 12289, 5586},
      {4, 8, 0},       // gcd 4
      {0, 7, 0},       // gcd 7
      {5, 1, 0},       // everything is 0 modulo 1
      {3, 0, 0},       // no modulus
      {20, 17, 6},     // a ≥ m
      {2, 0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull},
  };
  for (const auto& c : cases) EXPECT_EQ(fhe::mod_inverse(c.a, c.m), c.want) << c.a << " mod " << c.m;
  for (std::uint64_t q : {testing::kGoldilocks, testing::kPrimeNear64, testing::kLargestPrime}) {
    for (std::uint64_t a : {std::uint64_t{2}, std::uint64_t{65536}, q - 1, q / 3}) {
      const std::uint64_t inv = fhe::mod_inverse(a, q);
      EXPECT_EQ(static_cast<std::uint64_t>(static_cast<u128>(a) * inv % q), 1u) << a << " mod " << q;
    }
  }
}

TEST(FheModular, BarrettConstantAndPowerTable) {
  EXPECT_EQ(fhe::barrett_mu(12289), 1501077717772768u);
  EXPECT_EQ(fhe::barrett_mu(1), ~std::uint64_t{0});
  EXPECT_EQ(fhe::power_table(4, 4, 17), (std::vector<std::uint64_t>{1, 4, 16, 13}));
  // A root that is not reduced still gives reduced twiddles, and q = 1 gives zeros.
  EXPECT_EQ(fhe::power_table(21, 3, 17), (std::vector<std::uint64_t>{1, 4, 16}));
  EXPECT_EQ(fhe::power_table(3, 2, 1), (std::vector<std::uint64_t>{0, 0}));
  EXPECT_EQ(fhe::mul_mod(~0ull, ~0ull, testing::kLargestPrime),
            static_cast<std::uint64_t>(static_cast<u128>(~0ull) * ~0ull % testing::kLargestPrime));
}

TEST(FheModular, ReferenceTransformMatchesTheDefinition) {
  for (std::uint64_t q : {std::uint64_t{12289}, testing::kGoldilocks, testing::kPrimeNear64}) {
    const std::uint64_t w = testing::primitive_root_of_unity(q, 16);
    const auto input = testing::random_residues(16, q, q);
    EXPECT_EQ(testing::reference_transform(input, w, q), testing::definition_transform(input, w, q)) << q;
  }
}

// The three kernels carry the same arithmetic; WGSL has no includes, so it is copied.
std::string_view arithmetic_section(std::string_view text) {
  const auto begin = text.find("// ---- exact 64-bit modular arithmetic");
  const auto end = text.find(": end ----");
  if (begin == std::string_view::npos || end == std::string_view::npos) return {};
  return text.substr(begin, end - begin);
}

TEST(FheModular, KernelsShareOneArithmeticText) {
  const auto ntt = arithmetic_section(embedded_wgsl("ops/fhe_ntt/ntt.wgsl"));
  ASSERT_FALSE(ntt.empty());
  EXPECT_EQ(arithmetic_section(embedded_wgsl("ops/fhe_intt/intt.wgsl")), ntt);
  EXPECT_EQ(arithmetic_section(embedded_wgsl("ops/fhe_pointwise_mul/pointwise_mul.wgsl")), ntt);
  for (std::string_view path :
       {"ops/fhe_ntt/ntt.wgsl", "ops/fhe_intt/intt.wgsl", "ops/fhe_pointwise_mul/pointwise_mul.wgsl"}) {
    const auto text = embedded_wgsl(path);
    EXPECT_FALSE(mentions_f64_types(text)) << path;
    EXPECT_NE(text.find("@workgroup_size(256)"), std::string_view::npos) << path;
  }
}

}  // namespace
}  // namespace trelliken

namespace trelliken {
namespace {

TEST(FheLaunchSize, RefusesMoreWorkgroupsThanOneDimensionHolds) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const std::uint64_t limit = device->limits().max_compute_workgroups_per_dimension;
  EXPECT_TRUE(fhe::check_launch_size(*device, limit * 256));
  auto refused = fhe::check_launch_size(*device, limit * 256 + 1);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind(), ComputeError::Kind::Device);
}

}  // namespace
}  // namespace trelliken

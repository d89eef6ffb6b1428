// Forward and inverse NTT on the software device, against 128-bit host arithmetic.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "fhe_reference.hpp"
#include "ops/fhe_intt/intt.hpp"
#include "ops/fhe_ntt/ntt.hpp"
#include "support/gpu.hpp"

namespace trelliken {
namespace {

Result<std::vector<std::uint64_t>> ntt_on_gpu(const std::shared_ptr<GpuDevice>& device,
                                              const std::vector<std::uint64_t>& values, std::uint64_t q,
                                              std::uint64_t root) {
  auto input = Tensor::from_u64(values, device);
  if (!input) return fail(input.error());
  auto op = FheNtt::create(*input, static_cast<std::uint32_t>(values.size()), q, root);
  if (!op) return fail(op.error());
  auto out = op->execute();
  if (!out) return fail(out.error());
  if (out->shape() != Shape{values.size() * 2}) return fail(ComputeError::internal("unexpected output shape"));
  return out->to_vec_u64();
}

Result<std::vector<std::uint64_t>> intt_on_gpu(const std::shared_ptr<GpuDevice>& device,
                                               const std::vector<std::uint64_t>& values, std::uint64_t q,
                                               std::uint64_t inverse_root) {
  auto input = Tensor::from_u64(values, device);
  if (!input) return fail(input.error());
  auto op = FheIntt::create(*input, static_cast<std::uint32_t>(values.size()), q, inverse_root);
  if (!op) return fail(op.error());
  auto out = op->execute();
  if (!out) return fail(out.error());
  if (out->shape() != Shape{values.size() * 2}) return fail(ComputeError::internal("unexpected output shape"));
  return out->to_vec_u64();
}

TEST(FheNtt, SmallVectorModulo17) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto forward = ntt_on_gpu(device, {1, 2, 3, 4}, 17, 4);
  ASSERT_TRUE(forward) << forward.error().message();
  EXPECT_EQ(*forward, (std::vector<std::uint64_t>{10, 7, 15, 6}));
  auto back = intt_on_gpu(device, *forward, 17, 13);
  ASSERT_TRUE(back) << back.error().message();
  EXPECT_EQ(*back, (std::vector<std::uint64_t>{1, 2, 3, 4}));
}

TEST(FheNtt, RootThatIsNotAnEighthRootOfUnityStillRoundTrips) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto forward = ntt_on_gpu(device, {1, 2, 3, 4, 5, 6, 7, 8}, 12289, 11);
  ASSERT_TRUE(forward) << forward.error().message();
  EXPECT_EQ(*forward, (std::vector<std::uint64_t>{36, 6433, 11801, 332, 12285, 4880, 480, 628}));
  auto back = intt_on_gpu(device, *forward, 12289, 5586);
  ASSERT_TRUE(back) << back.error().message();
  EXPECT_EQ(*back, (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(FheIntt, InverseOfTheDegree) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto four = Tensor::from_u64(std::vector<std::uint64_t>(4), device).value();
  auto eight = Tensor::from_u64(std::vector<std::uint64_t>(8), device).value();
  EXPECT_EQ(FheIntt::create(four, 4, 17, 13).value().n_inv(), 13u);
  EXPECT_EQ(FheIntt::create(eight, 8, 12289, 5586).value().n_inv(), 10753u);
  EXPECT_EQ(FheIntt::create(four, 4, 18, 1).value().n_inv(), 0u);  // 4 has no inverse modulo 18
}

struct TransformCase {
  std::uint64_t q;
  std::uint32_t degree;
};

std::string case_name(const ::testing::TestParamInfo<TransformCase>& info) {
  return fmt::format("q{}_n{}", info.param.q, info.param.degree);
}

class FheTransforms : public ::testing::TestWithParam<TransformCase> {};

TEST_P(FheTransforms, MatchTheHostAndRoundTrip) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const auto [q, n] = GetParam();
  const std::uint64_t w = testing::primitive_root_of_unity(q, n);
  const std::uint64_t w_inv = fhe::mod_inverse(w, q);
  const auto input = testing::random_residues(n, q, q + n);

  auto forward = ntt_on_gpu(device, input, q, w);
  ASSERT_TRUE(forward) << forward.error().message();
  const auto want = testing::reference_transform(input, w, q);
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ((*forward)[i], want[i]) << "coefficient " << i;

  auto back = intt_on_gpu(device, *forward, q, w_inv);
  ASSERT_TRUE(back) << back.error().message();
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ((*back)[i], input[i]) << "coefficient " << i;
}

// Every size from 2 to 2^16 on 998244353; the 64-bit moduli on a spread of sizes up to 2^16.
std::vector<TransformCase> transform_cases() {
  std::vector<TransformCase> cases;
  for (std::uint32_t n : {2u, 4u, 8u, 256u, 2048u}) cases.push_back({12289, n});
  for (std::uint32_t n = 2; n <= (1u << 16); n *= 2) cases.push_back({998244353, n});
  for (std::uint32_t n : {2u, 16u, 512u, 1u << 16}) cases.push_back({testing::kGoldilocks, n});
  for (std::uint32_t n : {2u, 32u, 1024u, 1u << 14}) cases.push_back({testing::kPrimeNear64, n});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Sizes, FheTransforms, ::testing::ValuesIn(transform_cases()), case_name);

TEST(FheIntt, AnyRootAndModulusMatchTheHost) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  // No congruence is required of the inverse transform: an even modulus near 2^64, a root that
  // is not reduced, and inputs that are not reduced all follow the host arithmetic.
  struct Case {
    std::uint64_t q, root;
    std::uint32_t n;
  };
  const Case cases[] = {{0xFFFFFFFFFFFFFFFEull, 0xFFFFFFFFFFFFFFFFull, 64},
                        {testing::kLargestPrime, 3, 128},
                        {1000, 123457, 32},
                        {7, 3, 1}};
  for (const auto& c : cases) {
    const auto input = testing::random_residues(c.n, ~0ull, c.q);
    auto out = intt_on_gpu(device, input, c.q, c.root);
    ASSERT_TRUE(out) << out.error().message();
    EXPECT_EQ(*out, testing::reference_transform(input, c.root, c.q, fhe::mod_inverse(c.n, c.q))) << c.q;
  }
}

TEST(FheNtt, InputsThatAreNotReducedAreTransformedModuloQ) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const std::uint64_t q = testing::kGoldilocks;
  const std::uint64_t w = testing::primitive_root_of_unity(q, 64);
  const auto input = testing::random_residues(64, ~0ull, 99);
  auto out = ntt_on_gpu(device, input, q, w);
  ASSERT_TRUE(out) << out.error().message();
  EXPECT_EQ(*out, testing::reference_transform(input, w, q));
}

TEST(FheNtt, ValidationMessagesInOrder) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto ten = Tensor::from_u64(std::vector<std::uint64_t>(5), device).value();
  auto eight = Tensor::from_u64(std::vector<std::uint64_t>(4), device).value();
  auto six = Tensor::from_u64(std::vector<std::uint64_t>(3), device).value();
  auto two = Tensor::from_u64(std::vector<std::uint64_t>(1), device).value();
  struct Case {
    const char* name;
    Tensor input;
    std::uint32_t degree;
    std::uint64_t q;
    const char* message;
  };
  const Case cases[] = {
      {"length first", ten, 4, 0, "Input length 10 doesn't match expected 8 (degree 4 * 2)"},
      {"not a power of two", six, 3, 0, "Degree 3 must be a power of 2 \u2265 2 for NTT"},
      {"degree one", two, 1, 17, "Degree 1 must be a power of 2 \u2265 2 for NTT"},
      {"zero modulus", eight, 4, 0, "Modulus must be non-zero"},
      {"congruence", eight, 4, 19, "Modulus 19 must satisfy q \u2261 1 (mod 2N) where N=4"},
  };
  for (const auto& c : cases) {
    auto op = FheNtt::create(c.input, c.degree, c.q, 1);
    ASSERT_FALSE(op) << c.name;
    EXPECT_EQ(op.error().kind(), ComputeError::Kind::Device) << c.name;
    EXPECT_EQ(op.error().message(), std::string("Device error: ") + c.message) << c.name;
  }
  EXPECT_TRUE(FheNtt::create(eight, 4, 17, 4));
  EXPECT_TRUE(FheNtt::create(eight, 4, 1, 4));  // q = 1 is ≡ 1 modulo anything
}

TEST(FheIntt, ValidationMessagesInOrder) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto ten = Tensor::from_u64(std::vector<std::uint64_t>(5), device).value();
  auto six = Tensor::from_u64(std::vector<std::uint64_t>(3), device).value();
  auto eight = Tensor::from_u64(std::vector<std::uint64_t>(4), device).value();
  auto two = Tensor::from_u64(std::vector<std::uint64_t>(1), device).value();
  auto none = Tensor::from_u64({}, device).value();
  struct Case {
    const char* name;
    Tensor input;
    std::uint32_t degree;
    std::uint64_t q;
    const char* message;
  };
  const Case cases[] = {
      {"length first", ten, 4, 0, "Input length 10 doesn't match expected 8 (degree 4 * 2)"},
      {"not a power of two", six, 3, 0, "Degree 3 must be a power of 2 for INTT"},
      {"degree zero", none, 0, 17, "Degree 0 must be a power of 2 for INTT"},
      {"zero modulus", eight, 4, 0, "Modulus must be non-zero"},
  };
  for (const auto& c : cases) {
    auto op = FheIntt::create(c.input, c.degree, c.q, 1);
    ASSERT_FALSE(op) << c.name;
    EXPECT_EQ(op.error().kind(), ComputeError::Kind::Device) << c.name;
    EXPECT_EQ(op.error().message(), std::string("Device error: ") + c.message) << c.name;
  }
  EXPECT_TRUE(FheIntt::create(eight, 4, 19, 1));  // no congruence check
  EXPECT_TRUE(FheIntt::create(two, 1, 17, 1));    // N = 1 is accepted
}

TEST(FheNtt, OnALostDeviceTheLaunchesAreDroppedAndTheReadBackSaysSo) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  auto input = Tensor::from_u64(std::vector<std::uint64_t>{1, 2, 3, 4}, device).value();
  auto ntt = FheNtt::create(input, 4, 17, 4);
  auto intt = FheIntt::create(input, 4, 17, 13);
  ASSERT_TRUE(ntt && intt);
  device->force_loss_for_testing("fhe test");
  for (auto out : {ntt->execute(), intt->execute()}) {
    ASSERT_TRUE(out) << out.error().message();
    auto back = out->to_vec_u64();
    ASSERT_FALSE(back);
    EXPECT_EQ(back.error().message(), "GPU device lost: cannot read buffer \u2014 device lost");
  }
}

}  // namespace
}  // namespace trelliken

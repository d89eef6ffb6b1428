// Point-wise modular multiply on the software device, against 128-bit host arithmetic.

#include <gtest/gtest.h>

#include "fhe_reference.hpp"
#include "ops/fhe_pointwise_mul/pointwise_mul.hpp"
#include "ops/fhe_common/gpu.hpp"
#include "ops/fhe_common/modular.hpp"
#include "shaders/embedded_wgsl.hpp"
#include "support/gpu.hpp"
#include "tensor/compute_dispatch.hpp"

namespace trelliken {
namespace {

using testing::u128;

Result<std::vector<std::uint64_t>> multiply_on_gpu(const std::shared_ptr<GpuDevice>& device,
                                                   const std::vector<std::uint64_t>& a,
                                                   const std::vector<std::uint64_t>& b, std::uint64_t q) {
  auto ta = Tensor::from_u64(a, device);
  auto tb = Tensor::from_u64(b, device);
  if (!ta) return fail(ta.error());
  if (!tb) return fail(tb.error());
  auto op = FhePointwiseMul::create(*ta, *tb, q, static_cast<std::uint32_t>(a.size()));
  if (!op) return fail(op.error());
  auto out = op->execute();
  if (!out) return fail(out.error());
  if (out->shape() != Shape{a.size() * 2}) return fail(ComputeError::internal("unexpected output shape"));
  return out->to_vec_u64();
}

std::vector<std::uint64_t> multiply_on_host(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b,
                                            std::uint64_t q) {
  std::vector<std::uint64_t> out(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) out[i] = static_cast<std::uint64_t>(static_cast<u128>(a[i]) * b[i] % q);
  return out;
}

TEST(FhePointwiseMul, SmallProductsAndOneReduction) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto r = multiply_on_gpu(device, {100, 200, 300, 400}, {5, 10, 15, 20}, 12289);
  ASSERT_TRUE(r) << r.error().message();
  EXPECT_EQ(*r, (std::vector<std::uint64_t>{500, 2000, 4500, 8000}));
  auto reduced = multiply_on_gpu(device, {200}, {100}, 12289);
  ASSERT_TRUE(reduced) << reduced.error().message();
  EXPECT_EQ(*reduced, (std::vector<std::uint64_t>{7711}));
}

struct ModulusCase {
  const char* name;
  std::uint64_t q;
};

class FhePointwiseMulModuli : public ::testing::TestWithParam<ModulusCase> {};

TEST_P(FhePointwiseMulModuli, MatchesTheHostOnRandomResidues) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const std::uint64_t q = GetParam().q;
  // 1000 is not a multiple of the workgroup size, so the last group is partly idle.
  const auto a = testing::random_residues(1000, q, q ^ 1);
  auto b = testing::random_residues(1000, q, q ^ 2);
  b[0] = q - 1;  // (q − 1)² is the largest product
  auto r = multiply_on_gpu(device, a, b, q);
  ASSERT_TRUE(r) << r.error().message();
  const auto want = multiply_on_host(a, b, q);
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ((*r)[i], want[i]) << a[i] << " * " << b[i] << " mod " << q;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Moduli, FhePointwiseMulModuli,
    ::testing::Values(ModulusCase{"q2", 2}, ModulusCase{"q3", 3}, ModulusCase{"q12289", 12289},
                      ModulusCase{"q998244353", 998244353}, ModulusCase{"q2pow32minus5", 0xFFFFFFFBull},
                      ModulusCase{"q2pow32", 0x100000000ull}, ModulusCase{"q2pow32plus15", 0x10000000Full},
                      ModulusCase{"q2pow48plus21", 0x1000000000015ull}, ModulusCase{"q2pow63", 0x8000000000000000ull},
                      ModulusCase{"goldilocks", testing::kGoldilocks},
                      ModulusCase{"primeNear64", testing::kPrimeNear64},
                      ModulusCase{"largestPrime", testing::kLargestPrime},
                      ModulusCase{"q2pow64minus1", 0xFFFFFFFFFFFFFFFFull}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FhePointwiseMul, RandomModuliOfEveryWidth) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  std::mt19937_64 rng(2024);
  for (unsigned bits = 2; bits <= 64; ++bits) {
    const std::uint64_t top = std::uint64_t{1} << (bits - 1);
    const std::uint64_t q = top | (rng() & (top - 1));
    const auto a = testing::random_residues(512, q, rng());
    const auto b = testing::random_residues(512, q, rng());
    auto r = multiply_on_gpu(device, a, b, q);
    ASSERT_TRUE(r) << r.error().message();
    ASSERT_EQ(*r, multiply_on_host(a, b, q)) << "q = " << q;
  }
}

TEST(FhePointwiseMul, OperandsThatAreNotReducedStillGiveTheExactProduct) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  for (std::uint64_t q : {std::uint64_t{1}, std::uint64_t{12289}, testing::kGoldilocks, testing::kLargestPrime}) {
    const auto a = testing::random_residues(300, ~0ull, q + 7);
    const auto b = testing::random_residues(300, ~0ull, q + 8);
    auto r = multiply_on_gpu(device, a, b, q);
    ASSERT_TRUE(r) << r.error().message();
    EXPECT_EQ(*r, multiply_on_host(a, b, q)) << q;
  }
}

// The operation never launches the four-per-invocation entry point; it is checked directly.
TEST(FhePointwiseMul, BatchedEntryPointStopsAtTheDegree) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const std::uint64_t q = testing::kLargestPrime;
  const std::uint32_t n = 1001;
  const auto a = testing::random_residues(n, q, 5);
  const auto b = testing::random_residues(n, q, 6);
  auto ta = Tensor::from_u64(a, device).value();
  auto tb = Tensor::from_u64(b, device).value();
  // One spare coefficient past the degree must stay untouched.
  auto out = Tensor::from_u64(std::vector<std::uint64_t>(n + 1, 77), device).value();
  const std::uint64_t mu = fhe::barrett_mu(q);
  const std::vector<std::uint32_t> words = {n, static_cast<std::uint32_t>(q), static_cast<std::uint32_t>(q >> 32),
                                            static_cast<std::uint32_t>(mu), static_cast<std::uint32_t>(mu >> 32),
                                            0, 0, 0};
  auto params = device->create_buffer_with_words("batched params", WGPUBufferUsage_Uniform, words).value();
  ASSERT_TRUE(ComputeDispatch(device, "batched")
                  .shader(std::string(embedded_wgsl("ops/fhe_pointwise_mul/pointwise_mul.wgsl")), "batched")
                  .storage_read(0, ta.buffer())
                  .storage_read(1, tb.buffer())
                  .storage_rw(2, out.buffer())
                  .uniform(3, params)
                  .dispatch(fhe::workgroups_for((n + 3) / 4), 1, 1)
                  .submit());
  auto want = multiply_on_host(a, b, q);
  want.push_back(77);
  EXPECT_EQ(out.to_vec_u64().value(), want);
}

TEST(FhePointwiseMul, ZeroCoefficientsGiveAnEmptyTensor) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto r = multiply_on_gpu(device, {}, {}, 12289);
  ASSERT_TRUE(r) << r.error().message();
  EXPECT_TRUE(r->empty());
}

TEST(FhePointwiseMul, ValidationMessagesInOrder) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto other = testing::fresh_test_device();
  ASSERT_TRUE(other);
  auto four = Tensor::from_u64(std::vector<std::uint64_t>(4, 1), device).value();
  auto three = Tensor::from_u64(std::vector<std::uint64_t>(3, 1), device).value();
  auto elsewhere = Tensor::from_u64(std::vector<std::uint64_t>(4, 1), other).value();
  struct Case {
    const char* name;
    Tensor a, b;
    std::uint64_t q;
    std::uint32_t degree;
    const char* message;
  };
  const Case cases[] = {
      {"a short", three, three, 0, 4, "Device error: Input A has wrong length: expected 8, got 6"},
      {"b short", four, three, 0, 4, "Device error: Input B has wrong length: expected 8, got 6"},
      {"mixed devices", four, elsewhere, 0, 4, "Device error: input_a and input_b must be on the same device"},
      {"zero modulus", four, four, 0, 4, "Device error: Modulus must be non-zero"},
  };
  for (const auto& c : cases) {
    auto op = FhePointwiseMul::create(c.a, c.b, c.q, c.degree);
    ASSERT_FALSE(op) << c.name;
    EXPECT_EQ(op.error().kind(), ComputeError::Kind::Device) << c.name;
    EXPECT_EQ(op.error().message(), c.message) << c.name;
  }
  // The same adapter behind two device records is still two devices.
  EXPECT_EQ(device->adapter().name, other->adapter().name);
}

TEST(FhePointwiseMul, OnALostDeviceTheLaunchIsDroppedAndTheReadBackSaysSo) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  auto a = Tensor::from_u64(std::vector<std::uint64_t>{2, 3}, device).value();
  auto op = FhePointwiseMul::create(a, a, 12289, 2);
  ASSERT_TRUE(op);
  device->force_loss_for_testing("fhe test");
  auto out = op->execute();
  ASSERT_TRUE(out) << out.error().message();
  auto back = out->to_vec_u64();
  ASSERT_FALSE(back);
  EXPECT_EQ(back.error().kind(), ComputeError::Kind::DeviceLost);
  EXPECT_EQ(back.error().message(), "GPU device lost: cannot read buffer \u2014 device lost");
}

}  // namespace
}  // namespace trelliken

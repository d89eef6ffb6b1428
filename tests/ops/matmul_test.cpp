// Matrix multiply on the software device, every variant against a host reference.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "ops/matmul/matmul.hpp"
#include "support/gpu.hpp"
#include "tensor/pipeline_cache.hpp"

namespace trelliken {
namespace {

std::vector<float> random_values(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (auto& x : v) x = dist(rng);
  return v;
}

std::vector<double> host_matmul(const std::vector<float>& a, const std::vector<float>& b, std::size_t m,
                                std::size_t k, std::size_t n) {
  std::vector<double> c(m * n, 0.0);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t p = 0; p < k; ++p)
      for (std::size_t j = 0; j < n; ++j) c[i * n + j] += static_cast<double>(a[i * k + p]) * b[p * n + j];
  return c;
}

struct Case {
  Shape a, b;
};

class MatmulVariants : public ::testing::TestWithParam<MatmulVariant> {};

TEST_P(MatmulVariants, MatchTheHostReference) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const Case cases[] = {
      {{1, 1}, {1, 1}},     {{16, 16}, {16, 16}},   {{33, 17}, {17, 65}}, {{5, 33}, {33, 7}},
      {{64, 64}, {64, 64}}, {{256, 256}, {256, 256}}, {{300, 129}, {129, 300}},
      {{2, 3, 7}, {3, 5}},  // sizes beyond the second are ignored
  };
  std::uint32_t seed = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(format_shape(c.a) + " x " + format_shape(c.b));
    const std::size_t m = c.a[0], k = c.a[1], n = c.b[1];
    std::size_t a_len = 1, b_len = 1;
    for (auto s : c.a) a_len *= s;
    for (auto s : c.b) b_len *= s;
    const auto av = random_values(a_len, seed++);
    const auto bv = random_values(b_len, seed++);
    auto a = Tensor::from_data(av, c.a, device);
    auto b = Tensor::from_data(bv, c.b, device);
    ASSERT_TRUE(a && b);
    auto product = matmul_with_variant(*a, *b, GetParam());
    ASSERT_TRUE(product) << product.error().message();
    EXPECT_EQ(product->shape(), (Shape{m, n}));
    auto got = product->to_vec();
    ASSERT_TRUE(got) << got.error().message();
    const auto want = host_matmul(av, bv, m, k, n);
    ASSERT_EQ(got->size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      ASSERT_NEAR((*got)[i], want[i], 1e-5 * static_cast<double>(k)) << "element " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, MatmulVariants,
                         ::testing::Values(MatmulVariant::Tiled16, MatmulVariant::CpuTiled32,
                                           MatmulVariant::GpuEvolved32),
                         [](const auto& info) { return std::string(matmul_label(info.param).substr(7)); });

TEST(Matmul, IdentityTimesMatrixIsExact) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  std::vector<float> identity(4096, 0.0f), a(4096);
  for (int i = 0; i < 64; ++i) identity[i * 65] = 1.0f;
  for (int i = 0; i < 4096; ++i) a[i] = static_cast<float>(i) * 0.01f;
  auto ti = Tensor::from_data(identity, {64, 64}, device);
  auto ta = Tensor::from_data(a, {64, 64}, device);
  ASSERT_TRUE(ti && ta);
  auto c = ti->matmul(*ta);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->to_vec().value(), a);
}

TEST(Matmul, VariantChoice) {
  EXPECT_EQ(choose_matmul_variant(AdapterType::DiscreteGpu, 64, 64), MatmulVariant::Tiled16);
  EXPECT_EQ(choose_matmul_variant(AdapterType::DiscreteGpu, 256, 256), MatmulVariant::GpuEvolved32);
  EXPECT_EQ(choose_matmul_variant(AdapterType::IntegratedGpu, 256, 255), MatmulVariant::Tiled16);
  EXPECT_EQ(choose_matmul_variant(AdapterType::Other, 1000, 100), MatmulVariant::Tiled16);
  EXPECT_EQ(choose_matmul_variant(AdapterType::Cpu, 1, 1), MatmulVariant::CpuTiled32);
  EXPECT_EQ(choose_matmul_variant(AdapterType::Cpu, 4096, 4096), MatmulVariant::CpuTiled32);
}

TEST(Matmul, BadShapes) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto v4 = Tensor::from_data(std::vector<float>(4), {4}, device);
  auto m44 = Tensor::from_data(std::vector<float>(16), {4, 4}, device);
  auto m23 = Tensor::from_data(std::vector<float>(6), {2, 3}, device);
  auto m45 = Tensor::from_data(std::vector<float>(20), {4, 5}, device);
  ASSERT_TRUE(v4 && m44 && m23 && m45);
  auto r1 = v4->matmul(*m44);
  ASSERT_FALSE(r1);
  EXPECT_EQ(r1.error().message(), "Invalid operation: matmul - requires 2D+ tensors, got shapes [4] and [4, 4]");
  auto r2 = m23->matmul(*m45);
  ASSERT_FALSE(r2);
  EXPECT_EQ(r2.error().message(), "Shape mismatch: expected [2, 3], got [4, 5]");
}

TEST(Matmul, SecondCallOfAVariantCreatesNothingNew) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto a = Tensor::from_data(random_values(48 * 48, 7), {48, 48}, device);
  ASSERT_TRUE(a);
  ASSERT_TRUE(a->matmul(*a));
  const auto before = pipeline_cache_stats();
  auto c = a->matmul(*a);
  ASSERT_TRUE(c);
  ASSERT_TRUE(c->to_vec());
  const auto after = pipeline_cache_stats();
  EXPECT_EQ(after.modules_created, before.modules_created);
  EXPECT_EQ(after.pipelines_created, before.pipelines_created);
  EXPECT_EQ(after.layouts_created, before.layouts_created);
}

TEST(Matmul, TwoDevicesNeverShareCacheEntries) {
  auto first = testing::fresh_test_device();
  auto second = testing::fresh_test_device();
  ASSERT_TRUE(first && second);
  EXPECT_NE(device_identity(*first), device_identity(*second));
  EXPECT_EQ(device_identity(*first), device_identity(*first));
  for (const auto& device : {first, second}) {
    const auto before = pipeline_cache_stats();
    auto a = Tensor::from_data(std::vector<float>{1, 2, 3, 4}, {2, 2}, device);
    ASSERT_TRUE(a);
    auto c = a->matmul(*a);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->to_vec().value(), (std::vector<float>{7, 10, 15, 22}));
    EXPECT_GE(pipeline_cache_stats().pipelines_created, before.pipelines_created + 1);
    EXPECT_FALSE(device->is_lost());
  }
}

}  // namespace
}  // namespace trelliken

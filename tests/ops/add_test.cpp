// Element-wise add on the software device.

#include <gtest/gtest.h>

#include <numbers>

#include "device/tensor_context/tensor_context.hpp"
#include "ops/add/add.hpp"
#include "support/gpu.hpp"

namespace trelliken {
namespace {

TEST(Add, EveryVariantAddsIncludingAPooledOutputLargerThanN) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  for (AddVariant variant : {AddVariant::Wide64, AddVariant::Wide128, AddVariant::Generic256}) {
    for (std::size_t n : {std::size_t{1}, std::size_t{257}, std::size_t{1000}, std::size_t{65536 + 3}}) {
      SCOPED_TRACE(n);
      std::vector<float> a(n), b(n);
      for (std::size_t i = 0; i < n; ++i) {
        a[i] = static_cast<float>(i) * 0.5f;
        b[i] = 1.0f - static_cast<float>(i);
      }
      auto ta = Tensor::from_data(a, {n}, device);
      auto tb = Tensor::from_data(b, {n}, device);
      ASSERT_TRUE(ta && tb);
      auto c = add_with_variant(*ta, *tb, variant);
      ASSERT_TRUE(c) << c.error().message();
      EXPECT_GE(wgpuBufferGetSize(c->buffer().get()), n * 4);
      auto got = c->to_vec();
      ASSERT_TRUE(got);
      ASSERT_EQ(got->size(), n);
      for (std::size_t i = 0; i < n; ++i) ASSERT_EQ((*got)[i], a[i] + b[i]) << i;
    }
  }
}

TEST(Add, MoreWorkgroupsThanOneDimensionHolds) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const std::size_t n = std::size_t{65536} * 256 + 3;  // 65537 workgroups of 256
  std::vector<float> a(n), b(n);
  for (std::size_t i = 0; i < n; ++i) {
    a[i] = static_cast<float>(i % 1000);
    b[i] = static_cast<float>(i % 7);
  }
  auto ta = Tensor::from_data(a, {n}, device);
  auto tb = Tensor::from_data(b, {n}, device);
  ASSERT_TRUE(ta && tb);
  auto c = ta->add(*tb);
  ASSERT_TRUE(c) << c.error().message();
  auto got = c->to_vec();
  ASSERT_TRUE(got) << got.error().message();
  for (std::size_t i = 0; i < n; ++i) ASSERT_EQ((*got)[i], a[i] + b[i]) << i;
  EXPECT_FALSE(device->is_lost());
}

TEST(Add, PrecisionVectorOfTheValidationRun) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const float pi = std::numbers::pi_v<float>;
  auto a = Tensor::from_data(std::vector<float>{1.0f, 0.0f, pi, 0.0f}, {2, 2}, device);
  auto b = Tensor::from_data(std::vector<float>{1e-10f, 0.0f, -pi, 0.0f}, {2, 2}, device);
  ASSERT_TRUE(a && b);
  auto c = a->add(*b);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->shape(), (Shape{2, 2}));
  auto got = c->to_vec().value();
  EXPECT_EQ(got[0], 1.0f);
  EXPECT_EQ(got[2], 0.0f);
}

TEST(Add, ShapesMustBeEqualNotJustTheirCounts) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto a = Tensor::from_data(std::vector<float>(4), {2, 2}, device);
  auto b = Tensor::from_data(std::vector<float>(4), {4}, device);
  ASSERT_TRUE(a && b);
  auto c = a->add(*b);
  ASSERT_FALSE(c);
  EXPECT_EQ(c.error().message(), "Shape mismatch: expected [2, 2], got [4]");
}

TEST(Add, VariantChoiceByInvocationLimit) {
  EXPECT_EQ(choose_add_variant(64), AddVariant::Wide64);
  EXPECT_EQ(choose_add_variant(127), AddVariant::Wide64);
  EXPECT_EQ(choose_add_variant(128), AddVariant::Wide128);
  EXPECT_EQ(choose_add_variant(255), AddVariant::Wide128);
  EXPECT_EQ(choose_add_variant(256), AddVariant::Generic256);
  EXPECT_EQ(choose_add_variant(1024), AddVariant::Generic256);
  EXPECT_EQ(add_workgroup_size(AddVariant::Generic256), 256u);
}

TEST(Add, SameBuffersHitTheBindGroupCacheOtherBuffersMiss) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  auto context = TensorContext::for_device(device);
  auto a = Tensor::from_data(std::vector<float>(300, 1.0f), {300}, device);
  auto b = Tensor::from_data(std::vector<float>(300, 2.0f), {300}, device);
  auto other = Tensor::from_data(std::vector<float>(300, 5.0f), {300}, device);
  ASSERT_TRUE(a && b && other);

  WGPUBuffer first_output = nullptr;
  {
    auto c = a->add(*b);
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->to_vec());  // waits, so the returned buffer is idle
    first_output = c->buffer().get();
  }
  EXPECT_EQ(context->bind_group_misses.load(), 1u);
  EXPECT_EQ(context->bind_group_hits.load(), 0u);

  auto again = a->add(*b);  // same inputs, and the pool hands back the same output buffer
  ASSERT_TRUE(again);
  ASSERT_EQ(again->buffer().get(), first_output);
  EXPECT_EQ(context->bind_group_hits.load(), 1u);
  EXPECT_EQ(again->to_vec().value(), std::vector<float>(300, 3.0f));

  auto different = a->add(*other);
  ASSERT_TRUE(different);
  EXPECT_EQ(context->bind_group_misses.load(), 2u);
  EXPECT_EQ(different->to_vec().value(), std::vector<float>(300, 6.0f));
  EXPECT_EQ(context->immediate_launches.load(), 3u);
}

}  // namespace
}  // namespace trelliken

// Tensors and one-off dispatches on the real software device.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "device/tensor_context/quota.hpp"
#include "shaders/precision/downgrade.hpp"
#include "support/buffers.hpp"
#include "support/gpu.hpp"
#include "tensor/compute_dispatch.hpp"
#include "tensor/tensor.hpp"

namespace trelliken {
namespace {

TEST(Tensor, F32RoundTripKeepsEveryBit) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  std::vector<float> values = {0.0f, -0.0f, 1.5f, -3.25e-30f, std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::denorm_min(), 3.4028235e38f, 0.01f};
  auto t = Tensor::from_data(values, {2, 4}, device);
  ASSERT_TRUE(t) << t.error().message();
  EXPECT_EQ(t->len(), 8u);
  EXPECT_EQ(wgpuBufferGetSize(t->buffer().get()), 32u);
  auto back = t->to_vec();
  ASSERT_TRUE(back) << back.error().message();
  ASSERT_EQ(back->size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(std::signbit((*back)[i]), std::signbit(values[i]));
    EXPECT_EQ((*back)[i], values[i]) << i;
  }
}

TEST(Tensor, ShapeMustMatchTheData) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  std::vector<float> values(4095);
  auto t = Tensor::from_data(values, {64, 64}, device);
  ASSERT_FALSE(t);
  EXPECT_EQ(t.error().message(), "Shape mismatch: expected [4096], got [4095]");
  auto huge = Tensor::from_data(values, {std::size_t{1} << 40, std::size_t{1} << 40}, device);
  ASSERT_FALSE(huge);
  EXPECT_EQ(huge.error().kind(), ComputeError::Kind::ShapeMismatch);
}

TEST(Tensor, ZeroSizedShapesReadBackEmptyWithoutTheGpu) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  auto t = Tensor::from_data({}, {0, 5}, device);
  ASSERT_TRUE(t) << t.error().message();
  auto u = Tensor::from_u64({}, device);
  ASSERT_TRUE(u) << u.error().message();
  EXPECT_EQ(u->shape(), (Shape{0}));
  device->force_loss_for_testing("test");  // proves no GPU work happens
  EXPECT_TRUE(t->to_vec().value().empty());
  EXPECT_TRUE(u->to_vec_u64().value().empty());
}

TEST(Tensor, U64RoundTripLowWordFirst) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto t = Tensor::from_u64(std::vector<std::uint64_t>{1, 1ull << 32}, device);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->shape(), (Shape{4}));
  auto words = device->read_buffer(t->buffer(), 4);
  ASSERT_TRUE(words);
  EXPECT_EQ(*words, (std::vector<std::uint32_t>{1, 0, 0, 1}));
  std::vector<std::uint64_t> big = {0, ~0ull, 0xFFFFFFFF00000001ull, 0x123456789ABCDEF0ull, 1ull << 63};
  auto b = Tensor::from_u64(big, device);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->to_vec_u64().value(), big);
}

TEST(Tensor, QuotaAdmitsAndGetsBytesBackWhenTheTensorGoes) {
  auto device = testing::test_runtime().block_on(
      GpuDevice::create_with_quota({"tensors", 64, 3, std::nullopt}));
  ASSERT_TRUE(device) << device.error().message();
  const auto& quota = (*device)->buffer_quota();
  ASSERT_TRUE(quota);
  std::vector<float> eight(8, 1.0f);
  {
    auto a = Tensor::from_data(eight, {8}, *device);
    ASSERT_TRUE(a);
    Tensor copy = *a;
    auto b = Tensor::from_data(eight, {8}, *device);
    ASSERT_TRUE(b);
    EXPECT_EQ(quota->allocated_bytes(), 64u);
    auto c = Tensor::from_data(eight, {8}, *device);
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().kind(), ComputeError::Kind::ResourceExhausted);
    EXPECT_EQ(quota->buffer_count(), 2u);
  }
  EXPECT_EQ(quota->allocated_bytes(), 0u);
  EXPECT_EQ(quota->buffer_count(), 0u);
  EXPECT_EQ(quota->total_allocated_bytes(), 64u);
  EXPECT_EQ(quota->peak_bytes(), 64u);
  EXPECT_TRUE(Tensor::from_data(eight, {8}, *device));
}

TEST(ComputeDispatch, WithoutShaderFailsAndCreatesNothing) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const auto available = device->concurrency_limiter().available();
  auto r = ComputeDispatch(device, "no shader").dispatch(1, 1, 1).submit();
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message(), "Invalid input: ComputeDispatch: shader source required");
  EXPECT_EQ(device->concurrency_limiter().available(), available);
  EXPECT_EQ(device->active_operations().load(), 0u);
}

TEST(ComputeDispatch, LayoutFollowsTheBuilderCalls) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto b = testing::buffer_with_words(*device, {0});
  ComputeDispatch d = ComputeDispatch(device, "four")
                          .storage_read(0, b)
                          .storage_read(1, b)
                          .storage_rw(2, b)
                          .uniform(3, b);
  const auto layout = describe_layout(d.bindings());
  ASSERT_EQ(layout.size(), 4u);
  const WGPUBufferBindingType want[] = {WGPUBufferBindingType_ReadOnlyStorage, WGPUBufferBindingType_ReadOnlyStorage,
                                        WGPUBufferBindingType_Storage, WGPUBufferBindingType_Uniform};
  for (std::uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(layout[i].binding, i);
    EXPECT_EQ(layout[i].type, want[i]);
  }
}

constexpr const char* kScaleShader = R"(
@group(0) @binding(0) var<storage, read> input: array<f32>;
@group(0) @binding(1) var<storage, read_write> output: array<f32>;
struct Params { factor: f32, count: u32 }
@group(0) @binding(2) var<uniform> params: Params;

@compute @workgroup_size(256)
fn main(@builtin(global_invocation_id) id: vec3<u32>) {
  if (id.x < params.count) {
    output[id.x] = input[id.x] * params.factor;
  }
}
)";

TEST(ComputeDispatch, RunsAKernelAndWaitsForIt) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  std::vector<float> values(1000);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i);
  auto in = Tensor::from_data(values, {1000}, device);
  auto out = Tensor::from_data(std::vector<float>(1000, -1.0f), {1000}, device);
  ASSERT_TRUE(in && out);
  struct {
    float factor;
    std::uint32_t count;
  } params{2.5f, 1000};
  auto uniform = testing::buffer_with_words(*device, {std::bit_cast<std::uint32_t>(params.factor), params.count});
  auto r = ComputeDispatch(device, "scale")
               .shader(kScaleShader, "main")
               .storage_read(0, in->buffer())
               .storage_rw(1, out->buffer())
               .uniform(2, uniform)
               .dispatch(4, 1, 1)
               .submit();
  ASSERT_TRUE(r);
  auto back = out->to_vec();
  ASSERT_TRUE(back);
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ((*back)[i], values[i] * 2.5f) << i;
  EXPECT_FALSE(device->is_lost());
}

TEST(ComputeDispatch, DowngradedF64SourceIsAcceptedByTheDevice) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const std::string f64_source = R"(
@group(0) @binding(0) var<storage, read> a: array<f64>;
@group(0) @binding(1) var<storage, read_write> b: array<f64>;
@compute @workgroup_size(64)
fn main(@builtin(global_invocation_id) id: vec3<u32>) {
  if (id.x < arrayLength(&a)) {
    b[id.x] = a[id.x] * f64(3.0) + 0.5;
  }
}
)";
  ASSERT_TRUE(mentions_f64_types(f64_source));
  auto in = Tensor::from_data(std::vector<float>{1, 2, 3, 4}, {4}, device);
  auto out = Tensor::from_data(std::vector<float>(4, 0.0f), {4}, device);
  ASSERT_TRUE(in && out);
  ASSERT_TRUE(ComputeDispatch(device, "downgraded")
                  .shader(f64_source, "main")
                  .storage_read(0, in->buffer())
                  .storage_rw(1, out->buffer())
                  .dispatch(1, 1, 1)
                  .submit());
  EXPECT_EQ(out->to_vec().value(), (std::vector<float>{3.5f, 6.5f, 9.5f, 12.5f}));
  EXPECT_FALSE(device->is_lost());
}

TEST(ComputeDispatch, OnALostDeviceTheLaunchIsDroppedAndTheReadBackSaysSo) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  auto out = Tensor::from_data(std::vector<float>(4, 0.0f), {4}, device);
  ASSERT_TRUE(out);
  device->force_loss_for_testing("test");
  EXPECT_TRUE(ComputeDispatch(device, "after loss")
                  .shader(kScaleShader, "main")
                  .storage_read(0, out->buffer())
                  .storage_rw(1, out->buffer())
                  .dispatch(1, 1, 1)
                  .submit());
  auto back = out->to_vec();
  ASSERT_FALSE(back);
  EXPECT_EQ(back.error().message(), "GPU device lost: cannot read buffer \u2014 device lost");
}

}  // namespace
}  // namespace trelliken

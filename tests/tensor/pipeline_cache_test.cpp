#include <gtest/gtest.h>

#include "device/tensor_context/tensor_context.hpp"
#include "support/gpu.hpp"
#include "tensor/pipeline_cache.hpp"
#include "tensor/text_hash.hpp"

namespace trelliken {
namespace {

TEST(TextHash, DeterministicAndDistinct) {
  EXPECT_EQ(text_hash("main"), text_hash("main"));
  EXPECT_NE(text_hash("main"), text_hash("main "));
  EXPECT_NE(text_hash(""), text_hash(std::string_view("\xFF", 1)));
  // Feeding in pieces gives the same hash as feeding at once.
  SipHasher13 pieces;
  pieces.write("ab", 2);
  pieces.write("cdefghijk", 9);
  SipHasher13 whole;
  whole.write("abcdefghijk", 11);
  EXPECT_EQ(pieces.finish(), whole.finish());
  EXPECT_NE(id_hash(1), id_hash(2));
}

TEST(PipelineCache, LayoutsAreSharedPerDeviceAndSignature) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto a = cached_bind_group_layout(*device, {1, 2, 0}, "test layout");
  auto b = cached_bind_group_layout(*device, {1, 2, 0}, "another label");
  auto c = cached_bind_group_layout(*device, {2, 1, 0}, "test layout");
  EXPECT_EQ(a.get(), b.get());
  EXPECT_NE(a.get(), c.get());
}

constexpr const char* kFill = R"(
@group(0) @binding(0) var<storage, read_write> out: array<u32>;
@compute @workgroup_size(64)
fn main(@builtin(global_invocation_id) id: vec3<u32>) {
  if (id.x < arrayLength(&out)) {
    out[id.x] = out[id.x] + id.x + 1u;
  }
}
)";

TEST(PipelineCache, BatchedLaunchesRunInOrderWhenFlushed) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  auto context = TensorContext::for_device(device);
  PooledBuffer target = context->pool().acquire(64);  // 256 bytes: 64 words of zero
  auto pipeline = cached_pipeline(*device, kFill, {0, 1, 0}, "fill");
  const platform::Buffer buffers[] = {target.buffer()};
  auto group = cached_bind_group(*context, buffers, {0, 1, 0}, "fill group");

  context->batching.store(true);
  for (int i = 0; i < 3; ++i) record_launch(*context, RecordedLaunch{pipeline, group, 1, 1, {}});
  EXPECT_EQ(context->batched_launches.load(), 3u);
  EXPECT_EQ(context->immediate_launches.load(), 0u);
  flush_batched_launches(*context);
  context->batching.store(false);

  auto words = device->read_buffer(target.buffer(), 64);
  ASSERT_TRUE(words);
  for (std::uint32_t i = 0; i < 64; ++i) EXPECT_EQ((*words)[i], 3 * (i + 1)) << i;

  record_launch(*context, RecordedLaunch{pipeline, group, 1, 1, {}});
  EXPECT_EQ(context->immediate_launches.load(), 1u);
  words = device->read_buffer(target.buffer(), 1);
  ASSERT_TRUE(words);
  EXPECT_EQ((*words)[0], 4u);
}

}  // namespace
}  // namespace trelliken

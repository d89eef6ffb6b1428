// Buffer quotas and the buffer pool.

#include <gtest/gtest.h>

#include <thread>

#include "device/tensor_context/pool.hpp"
#include "device/tensor_context/quota.hpp"
#include "device/tensor_context/tensor_context.hpp"
#include "support/gossip_listener.hpp"
#include "support/gpu.hpp"

namespace trelliken {
namespace {

TEST(BufferQuota, RefusalsCarryTheirMessagesAndEvents) {
  testing::TempDir dir;
  testing::ScopedEnv socket("PELLWICK_SOCKET", (dir.path() / "gossip.sock").string());
  testing::Listener listener(dir.path() / "gossip.sock");

  const struct {
    QuotaLimits limits;
    std::vector<std::uint64_t> admitted;
    std::uint64_t refused;
    std::string message;
    std::string event_fragment;
  } cases[] = {
      {{"gpu0", std::nullopt, std::nullopt, 1000}, {}, 1001,
       "Resource exhausted: Quota 'gpu0': single buffer 1001 bytes exceeds limit 1000 bytes",
       R"("payload":{"device_name":"gpu0","limit_bytes":1000,"operation":"single_buffer","requested_bytes":1001})"},
      {{"gpu1", std::nullopt, 2, std::nullopt}, {10, 20}, 30,
       "Resource exhausted: Quota 'gpu1': buffer count 2 at limit 2",
       R"("payload":{"device_name":"gpu1","limit_bytes":0,"operation":"buffer_count","requested_bytes":30})"},
      {{"gpu2", 1000, std::nullopt, std::nullopt}, {600}, 500,
       "Resource exhausted: Quota 'gpu2': allocation of 500 bytes would exceed limit (600 + 500 > 1000)",
       R"("payload":{"device_name":"gpu2","limit_bytes":1000,"operation":"vram_budget","requested_bytes":500})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    BufferQuota quota(c.limits);
    for (auto bytes : c.admitted) ASSERT_TRUE(quota.admit(bytes));
    const auto allocated = quota.allocated_bytes();
    auto refused = quota.admit(c.refused);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind(), ComputeError::Kind::ResourceExhausted);
    EXPECT_EQ(refused.error().message(), c.message);
    EXPECT_EQ(quota.rejections(), 1u);
    EXPECT_EQ(quota.allocated_bytes(), allocated);
    EXPECT_EQ(quota.buffer_count(), c.admitted.size());
    const auto events = listener.received();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find(R"("key":"compute.quota.exceeded:)"), std::string::npos) << events[0];
    EXPECT_NE(events[0].find(c.event_fragment), std::string::npos) << events[0];
  }
}

TEST(BufferQuota, BudgetFillsExactlyAndPeakFollows) {
  BufferQuota quota({"q", 1000, std::nullopt, std::nullopt});
  ASSERT_TRUE(quota.admit(600));
  ASSERT_TRUE(quota.admit(400));
  EXPECT_EQ(quota.peak_bytes(), 1000u);
  EXPECT_FALSE(quota.admit(1));
  quota.release(400);
  EXPECT_EQ(quota.allocated_bytes(), 600u);
  EXPECT_EQ(quota.buffer_count(), 1u);
  EXPECT_EQ(quota.total_allocated_bytes(), 1000u);
  EXPECT_EQ(quota.peak_bytes(), 1000u);
  EXPECT_TRUE(quota.admit(400));
  EXPECT_EQ(quota.rejections(), 1u);
}

TEST(BufferQuota, WithoutLimitsAdmitsEverything) {
  BufferQuota quota({"open", std::nullopt, std::nullopt, std::nullopt});
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(quota.admit(1ull << 40));
  EXPECT_EQ(quota.buffer_count(), 100u);
  EXPECT_EQ(quota.rejections(), 0u);
}

TEST(BufferQuota, ConcurrentAdmissionsNeverExceedTheBudget) {
  constexpr std::uint64_t kBudget = 1'000'000;
  BufferQuota quota({"race", kBudget, std::nullopt, std::nullopt});
  std::atomic<std::uint64_t> admitted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        const std::uint64_t bytes = 97 + 13 * ((t + i) % 11);
        if (quota.admit(bytes)) admitted += bytes;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_LE(quota.allocated_bytes(), kBudget);
  EXPECT_EQ(quota.allocated_bytes(), admitted.load());
  EXPECT_EQ(quota.peak_bytes(), quota.allocated_bytes());
  EXPECT_GT(quota.rejections(), 0u);
}

TEST(BufferPool, SizeClasses) {
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {1, 256}, {64, 256}, {65, 512}, {1024, 4096}, {1025, 8192}, {0, 256}};
  for (auto [words, size_class] : cases) EXPECT_EQ(pool_size_class(words * 4), size_class) << words;
}

TEST(BufferPool, ReusesOnlyAfterAnIdlePoll) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  auto context = TensorContext::for_device(device);
  BufferPool& pool = context->pool();

  WGPUBuffer first_raw = nullptr;
  {
    PooledBuffer a = pool.acquire(65);
    EXPECT_EQ(a.size_class(), 512u);
    EXPECT_EQ(wgpuBufferGetSize(a.buffer().get()), 512u);
    first_raw = a.buffer().get();
  }
  EXPECT_EQ(pool.created(), 1u);
  EXPECT_EQ(pool.returned_count(), 1u);

  // While a submission holds the lock the returned buffer is not known to be idle.
  {
    std::lock_guard busy(device->submit_lock());
    std::thread([&] {
      PooledBuffer b = pool.acquire(100);
      EXPECT_NE(b.buffer().get(), first_raw);
    }).join();
  }
  EXPECT_EQ(pool.created(), 2u);
  EXPECT_EQ(pool.recycled(), 0u);

  // Idle device, free lock: both returned buffers are recycled and one is reused.
  PooledBuffer c = pool.acquire(128);
  EXPECT_EQ(pool.recycled(), 2u);
  EXPECT_EQ(pool.created(), 2u);
  EXPECT_EQ(c.size_class(), 512u);

  // A buffer taken for good never comes back.
  platform::Buffer kept = std::move(c).into_buffer();
  EXPECT_TRUE(kept);
  EXPECT_EQ(pool.returned_count(), 0u);
}

TEST(BufferPool, ABufferOutlivingItsPoolIsSimplyReleased) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto pool = std::make_shared<BufferPool>(device);
  std::optional<PooledBuffer> loan(pool->acquire(1));
  pool.reset();
  loan.reset();  // must not touch the destroyed pool
  SUCCEED();
}

TEST(TensorContext, OnePerDevice) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  auto a = TensorContext::for_device(device);
  auto b = TensorContext::for_device(device);
  EXPECT_EQ(a, b);
  auto other = testing::fresh_test_device();
  ASSERT_TRUE(other);
  EXPECT_NE(TensorContext::for_device(other), a);
}

}  // namespace
}  // namespace trelliken

// Submission, bounded waits and read-back on the real software device.

#include <gtest/gtest.h>

#include <future>
#include <numeric>
#include <thread>

#include "device/gpu_device/gpu_device.hpp"
#include "device/gpu_device/poll_limit.hpp"
#include "support/buffers.hpp"
#include "support/gpu.hpp"

namespace trelliken {
namespace {

using namespace std::chrono_literals;

TEST(PollLimit, ParsesTheEnvironmentText) {
  const struct {
    std::optional<std::string_view> text;
    std::uint64_t seconds;
    bool unlimited;
  } cases[] = {
      {std::nullopt, 120, false}, {"abc", 120, false}, {"-5", 120, false}, {"+", 120, false},
      {"", 120, false},           {"+30", 30, false},  {"30", 30, false},  {"0", 0, true},
      {"+0", 0, true},            {"3 ", 120, false},  {"18446744073709551615", 18446744073709551615ull, false},
      {"18446744073709551616", 120, false},
  };
  for (const auto& c : cases) {
    const PollLimit limit = parse_poll_limit(c.text);
    EXPECT_EQ(limit.seconds, c.seconds) << c.text.value_or("<unset>");
    EXPECT_EQ(limit.unlimited, c.unlimited) << c.text.value_or("<unset>");
  }
  EXPECT_EQ(parse_poll_limit("0").duration(), std::nullopt);
  EXPECT_EQ(parse_poll_limit("7").duration(), std::chrono::nanoseconds(7s));
}

TEST(ReadBuffer, ReturnsTheWordsInOrder) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  for (std::size_t n : {std::size_t{1}, std::size_t{3}, std::size_t{1023}, std::size_t{1} << 22}) {
    std::vector<std::uint32_t> words(n);
    std::iota(words.begin(), words.end(), 0xA5A50000u);
    const auto buffer = testing::buffer_with_words(*device, words);
    auto back = device->read_buffer(buffer, n);
    ASSERT_TRUE(back) << back.error().message();
    EXPECT_EQ(*back, words) << n << " words";
  }
  EXPECT_EQ(device->active_operations().load(), 0u);
  EXPECT_EQ(device->concurrency_limiter().available(), device->concurrency_limiter().budget());
}

TEST(ReadBuffer, ReadsAPrefix) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const auto buffer = testing::buffer_with_words(*device, {1, 2, 3, 4, 5});
  auto back = device->read_buffer(buffer, 2);
  ASSERT_TRUE(back) << back.error().message();
  EXPECT_EQ(*back, (std::vector<std::uint32_t>{1, 2}));
}

TEST(ReadBuffer, RefusesMoreWordsThanTheSourceHolds) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const auto buffer = testing::buffer_with_words(*device, {1, 2});
  auto back = device->read_buffer(buffer, 3);
  ASSERT_FALSE(back);
  EXPECT_EQ(back.error().kind(), ComputeError::Kind::InvalidInput);
}

TEST(ReadBuffer, LostDeviceIsRefusedButZeroWordsStillSucceed) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  const auto buffer = testing::buffer_with_words(*device, {7});
  device->force_loss_for_testing("test");
  ASSERT_TRUE(device->is_lost());

  auto none = device->read_buffer(buffer, 0);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());

  auto back = device->read_buffer(buffer, 1);
  ASSERT_FALSE(back);
  EXPECT_EQ(back.error().message(), "GPU device lost: cannot read buffer \u2014 device lost");

  auto polled = device->poll_safe();
  ASSERT_FALSE(polled);
  EXPECT_EQ(polled.error().message(), "GPU device lost: device lost");

  // Submissions on a lost device are dropped without a word.
  GuardedEncoder encoder = device->create_encoder("after loss");
  device->submit(std::move(encoder).finish());
  EXPECT_EQ(device->active_operations().load(), 0u);
}

TEST(ReadBuffer, BudgetOfOneSerialisesReadBacks) {
  ::setenv("TRELLIKEN_CONCURRENCY_BUDGET", "1", 1);
  auto device = testing::fresh_test_device();
  ::unsetenv("TRELLIKEN_CONCURRENCY_BUDGET");
  ASSERT_TRUE(device);
  ASSERT_EQ(device->concurrency_limiter().budget(), 1u);
  const auto buffer = testing::buffer_with_words(*device, {42, 43});

  std::future<Result<std::vector<std::uint32_t>>> second;
  {
    ConcurrencyLimiter::Permit first(device->concurrency_limiter());  // a read-back in progress
    second = std::async(std::launch::async, [&] { return device->read_buffer(buffer, 2); });
    EXPECT_EQ(second.wait_for(300ms), std::future_status::timeout) << "the second read-back did not wait";
  }
  auto back = second.get();
  ASSERT_TRUE(back) << back.error().message();
  EXPECT_EQ(*back, (std::vector<std::uint32_t>{42, 43}));
}

TEST(GuardedEncoder, DropAndFinishGiveTheirUnitBack) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const auto before = device->active_operations().load();
  {
    GuardedEncoder dropped = device->create_encoder("dropped");
    EXPECT_EQ(device->active_operations().load(), before + 1);
  }
  EXPECT_EQ(device->active_operations().load(), before);
  GuardedEncoder finished = device->create_encoder("finished");
  GuardedEncoder moved = std::move(finished);
  auto commands = std::move(moved).finish();
  EXPECT_TRUE(commands);
  EXPECT_EQ(device->active_operations().load(), before);
  device->submit_and_poll(std::move(commands));
  EXPECT_TRUE(device->poll_safe());
}

TEST(GuardedEncoderDeathTest, FinishTwiceAborts) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  EXPECT_DEATH(
      {
        GuardedEncoder encoder = device->create_encoder("twice");
        GuardedEncoder alias = std::move(encoder);
        (void)std::move(alias).finish();
        (void)std::move(alias).finish();
      },
      "GuardedEncoder::finish called twice \\(unreachable by ownership\\)");
}

}  // namespace
}  // namespace trelliken

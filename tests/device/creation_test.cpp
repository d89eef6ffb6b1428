#include <gtest/gtest.h>

#include "device/gpu_device/concurrency.hpp"
#include "device/gpu_device/error_handler.hpp"
#include "device/gpu_device/gpu_device.hpp"
#include "support/gpu.hpp"

namespace trelliken {
namespace {

TEST(ConcurrencyBudget, ParsesOnlyPositiveUnsignedDecimals) {
  const struct {
    const char* text;
    std::optional<std::size_t> want;
  } cases[] = {
      {"+6", 6},  {"6", 6},     {"0", std::nullopt},    {"-3", std::nullopt}, {"", std::nullopt},
      {"+", std::nullopt},      {"8x", std::nullopt},   {" 8", std::nullopt}, {"++8", std::nullopt},
      {"18446744073709551615", 18446744073709551615ull}, {"18446744073709551616", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_concurrency_budget(c.text), c.want) << "'" << c.text << "'";
  }
}

TEST(ConcurrencyBudget, DefaultsByDeviceType) {
  EXPECT_EQ(default_concurrency_budget(AdapterType::DiscreteGpu), 8u);
  EXPECT_EQ(default_concurrency_budget(AdapterType::Cpu), 2u);
  EXPECT_EQ(default_concurrency_budget(AdapterType::IntegratedGpu), 4u);
  EXPECT_EQ(default_concurrency_budget(AdapterType::VirtualGpu), 4u);
  EXPECT_EQ(default_concurrency_budget(AdapterType::Other), 4u);
}

TEST(ErrorHandler, ClassifiesErrorTexts) {
  const struct {
    const char* text;
    bool lost;
    bool oom;
  } cases[] = {
      {"Device was lost", true, false},
      {"Lost connection to GPU", true, false},
      {"Parent device is gone", true, false},
      {"OUT OF MEMORY while creating buffer", false, true},
      {"Allocation Failed", false, true},
      {"not enough memory", false, true},
      {"device lost: out of memory", true, false},
      {"device LOST", false, false},
      {"validation error: binding 3 missing", false, false},
  };
  for (const auto& c : cases) {
    DeviceFlags flags;
    handle_uncaptured_error(flags, c.text);
    EXPECT_EQ(flags.device_lost.load(), c.lost) << c.text;
    EXPECT_EQ(flags.out_of_memory.load(), c.oom) << c.text;
  }
}

TEST(ErrorHandler, FlagsNeverClear) {
  DeviceFlags flags;
  handle_uncaptured_error(flags, "lost");
  handle_uncaptured_error(flags, "harmless");
  EXPECT_TRUE(flags.device_lost.load());
}

TEST(AdapterKey, JoinsNameBackendAndVendor) {
  AdapterDetails d;
  d.name = "X";
  d.backend = BackendKind::Metal;
  d.vendor = 0;
  EXPECT_EQ(adapter_key(d), "X:Metal:0");
  d.name = "llvmpipe (LLVM 15.0.6, 256 bits)";
  d.backend = BackendKind::Gl;
  d.vendor = 4318;
  EXPECT_EQ(adapter_key(d), "llvmpipe (LLVM 15.0.6, 256 bits):Gl:4318");
}

TEST(DeviceCreation, OpensTheSoftwareAdapterWithTheRaisedLimits) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  EXPECT_FALSE(device->adapter().name.empty());
  EXPECT_FALSE(device->is_lost());
  EXPECT_FALSE(device->is_out_of_memory());
  EXPECT_EQ(device->active_operations().load(), 0u);
  const DeviceLimits limits = device->limits();
  EXPECT_EQ(limits.max_buffer_size >> 20, 2047u);
  EXPECT_EQ(limits.max_compute_workgroup_size_x, 256u);
  EXPECT_EQ(limits.max_compute_invocations_per_workgroup, 256u);
  EXPECT_GE(limits.max_compute_workgroup_storage_size, 16384u);
  EXPECT_GE(limits.max_storage_buffers_per_shader_stage, 8u);
  // No adapter of this implementation has native f64 shaders.
  EXPECT_FALSE(device->has_feature(DeviceFeature::ShaderF64));
  EXPECT_EQ(device->concurrency_limiter().budget(),
            concurrency_budget_from_env(device->adapter().device_type));
}

TEST(DeviceCreation, TwoDevicesAreIndependentRecords) {
  auto a = testing::fresh_test_device();
  auto b = testing::fresh_test_device();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->device().get(), b->device().get());
  EXPECT_EQ(adapter_key(a->adapter()), adapter_key(b->adapter()));
}

TEST(DeviceCreation, ForcedLossSetsTheStickyFlag) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  device->force_loss_for_testing("simulated driver reset");
  EXPECT_TRUE(device->is_lost());
  EXPECT_FALSE(device->is_out_of_memory());
}

TEST(DeviceCreation, BudgetComesFromTheEnvironment) {
  ::setenv("TRELLIKEN_CONCURRENCY_BUDGET", "+3", 1);
  auto device = testing::fresh_test_device();
  ::unsetenv("TRELLIKEN_CONCURRENCY_BUDGET");
  ASSERT_TRUE(device);
  EXPECT_EQ(device->concurrency_limiter().budget(), 3u);
  EXPECT_EQ(device->concurrency_limiter().available(), 3u);
}

}  // namespace
}  // namespace trelliken

#include <gtest/gtest.h>

#include <cmath>

#include "device/hardware_profile.hpp"
#include "support/gpu.hpp"

namespace trelliken {
namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

TEST(HardwareProfile, MemoryEstimate) {
  const struct {
    const char* name;
    std::uint64_t max_buffer;
    std::uint64_t want;
  } cases[] = {
      {"NVIDIA A100 80GB PCIe", 1ull << 40, 80 * kGiB},
      {"NVIDIA A100-SXM4-40GB", 1ull << 40, 40 * kGiB},
      {"NVIDIA A100 80GB PCIe", 2147483647, 2147483647},
      {"NVIDIA GeForce RTX 4090", 1ull << 40, 24 * kGiB},
      {"NVIDIA GeForce RTX 3080", 1ull << 40, 24 * kGiB},
      {"NVIDIA Titan V", 1ull << 40, 16 * kGiB},
      {"NVIDIA TITAN V", 1ull << 40, 8 * kGiB},
      {"nvidia titan v", 1ull << 40, 8 * kGiB},  // the memory match is case-sensitive
      {"NVIDIA RTX A4000", 1ull << 40, 12 * kGiB},
      {"Apple M2 Max", 1ull << 40, 8 * kGiB},
      {"anything", 64 * kGiB, 64 * kGiB},
  };
  for (const auto& c : cases) EXPECT_EQ(estimate_vram_bytes(c.name, c.max_buffer), c.want) << c.name;
}

TEST(HardwareProfile, ThroughputRatio) {
  const struct {
    const char* name;
    const char* env;
    std::optional<double> want;
  } cases[] = {
      {"NVIDIA GeForce RTX 4090", nullptr, 64.0},
      {"AMD Radeon RX 7900 XTX", nullptr, 16.0},
      {"Apple M2 Max", nullptr, std::nullopt},
      {"nvidia titan v", nullptr, 2.0},  // the throughput match ignores case
      {"NVIDIA RTX A6000", nullptr, 2.0},
      {"NVIDIA GeForce RTX 2080", nullptr, 32.0},
      {"\xEF\xAC\x80 tesla", nullptr, std::nullopt},
      {"ra\xEF\xAC\x81sh navi", nullptr, 16.0},
      {"Apple M2 Max", "4", 4.0},
      {"NVIDIA GeForce RTX 4090", "4", 4.0},
      {"NVIDIA GeForce RTX 4090", "fast", 64.0},
      {"Apple M2 Max", "2.5e1", 25.0},
      {"Apple M2 Max", "-3", -3.0},
      {"Apple M2 Max", " 4", std::nullopt},
      {"Apple M2 Max", "0x10", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(fp64_ratio_for(c.name, c.env), c.want) << c.name << " / " << (c.env ? c.env : "-");
  EXPECT_TRUE(std::isinf(*fp64_ratio_for("x", "inf")));
  EXPECT_TRUE(std::isnan(*fp64_ratio_for("x", "NaN")));
}

TEST(HardwareProfile, UnicodeUpperCase) {
  EXPECT_EQ(to_upper_unicode("stra\xC3\x9F" "e"), "STRASSE");
  EXPECT_EQ(to_upper_unicode("\xCE\xB1\xCE\xB2\xCE\xB3"), "\xCE\x91\xCE\x92\xCE\x93");
  EXPECT_EQ(to_upper_unicode("\xEF\xAC\x81"), "FI");
  EXPECT_EQ(to_upper_unicode("bad\xFFtext"), "BAD\xFFTEXT");
}

TEST(HardwareProfile, MesaDriverCheck) {
  const struct {
    const char* driver;
    const char* info;
    bool want;
  } cases[] = {
      {"Mesa 24.1", "", true},        {"", "NVK", true},   {"", "nouveau 1.0", true},
      {"", "OpenGL ES 3.2 Mesa 22.3.6", false},          {"", "", false},
      {"NVIDIA", "535.54", false},
  };
  for (const auto& c : cases) {
    AdapterDetails a;
    a.driver = c.driver;
    a.driver_info = c.info;
    EXPECT_EQ(uses_mesa_driver(a), c.want) << c.driver << " / " << c.info;
  }
}

TEST(HardwareProfile, FromTheSoftwareDevice) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  const HardwareProfile p = HardwareProfile::from_device(device);
  EXPECT_EQ(p.name, device->adapter().name);
  EXPECT_EQ(p.vram_estimate_bytes, device->limits().max_buffer_size);
  EXPECT_EQ(p.max_workgroup_size[0], 256u);
  EXPECT_EQ(p.max_invocations_per_workgroup, 256u);
  EXPECT_EQ(p.max_workgroups[0], p.max_workgroups[2]);
  EXPECT_FALSE(p.native_f64);
  EXPECT_FALSE(p.has_subgroups);
  EXPECT_EQ(p.device_type, device->adapter().device_type);
}

TEST(HardwareProfile, NoNativeF64WhateverTheRecordSays) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  F64Capabilities all;
  all.basic_f64 = true;
  store_capabilities(adapter_key(device->adapter()), all);
  const HardwareProfile p = HardwareProfile::from_device(device);
  ASSERT_TRUE(p.f64_capabilities);
  EXPECT_TRUE(p.f64_capabilities->basic_f64);
  EXPECT_FALSE(p.native_f64);
}

}  // namespace
}  // namespace trelliken

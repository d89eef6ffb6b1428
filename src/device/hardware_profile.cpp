#include "device/hardware_profile.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "device/gpu_device/gpu_device.hpp"

namespace trelliken {

namespace {

constexpr std::uint64_t kGiB = 1ull << 30;
constexpr std::uint64_t kUnlimitedBufferThreshold = 64 * kGiB;
constexpr std::uint64_t kDefaultVram = 8 * kGiB;

struct MemoryEntry {
  std::initializer_list<std::string_view> patterns;
  std::uint64_t bytes;
};

const MemoryEntry kMemoryTable[] = {
    {{"H100", "H200", "B100", "B200", "A100 80GB"}, 80 * kGiB},
    {{"A100", "MI300", "MI250"}, 40 * kGiB},
    {{"RTX 40", "RTX 50"}, 24 * kGiB},
    {{"RTX 30"}, 24 * kGiB},
    {{"Titan V", "V100", "Titan RTX"}, 16 * kGiB},
    {{"RTX 20", "RTX A"}, 12 * kGiB},
};

struct RatioEntry {
  std::initializer_list<std::string_view> patterns;
  double ratio;
};

const RatioEntry kRatioTable[] = {
    {{"TITAN V", "V100", "A100", "H100", "H200", "MI250", "MI300"}, 2.0},
    {{"RTX 3090", "RTX A6000", "RTX A5000"}, 2.0},
    {{"RX 6", "RX 7", "NAVI"}, 16.0},
    {{"RTX 40", "RTX 50", "ADA"}, 64.0},
    {{"RTX 20", "TURING"}, 32.0},
};

bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

std::uint64_t estimate_vram_bytes(std::string_view adapter_name, std::uint64_t max_buffer_size) {
  if (max_buffer_size <= kUnlimitedBufferThreshold) return max_buffer_size;
  for (const auto& entry : kMemoryTable) {
    for (auto pattern : entry.patterns) {
      if (contains(adapter_name, pattern)) return entry.bytes;
    }
  }
  return kDefaultVram;
}

std::optional<double> parse_fp64_ratio(std::string_view text) {
  if (text.empty()) return std::nullopt;
  // strtod would skip leading blanks and accept hexadecimal; the override takes plain decimal,
  // exponent notation, infinity and NaN only.
  const std::string t(text);
  const unsigned char first = static_cast<unsigned char>(t[0]);
  if (std::isspace(first)) return std::nullopt;
  std::string lowered = ascii_lower(t);
  if (lowered.find("0x") != std::string::npos || lowered.find("nan(") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) return std::nullopt;
  return value;
}

std::optional<double> fp64_ratio_for(std::string_view adapter_name, const char* env) {
  if (env != nullptr) {
    if (auto parsed = parse_fp64_ratio(env)) return parsed;
  }
  const std::string upper = to_upper_unicode(adapter_name);
  for (const auto& entry : kRatioTable) {
    for (auto pattern : entry.patterns) {
      if (contains(upper, pattern)) return entry.ratio;
    }
  }
  return std::nullopt;
}

bool uses_mesa_driver(const AdapterDetails& adapter) {
  const std::string driver = ascii_lower(adapter.driver);
  const std::string info = ascii_lower(adapter.driver_info);
  return contains(driver, "nvk") || contains(driver, "nouveau") || contains(driver, "mesa") ||
         contains(info, "nvk") || contains(info, "nouveau");
}

HardwareProfile HardwareProfile::from_device(const std::shared_ptr<GpuDevice>& device) { return from_device(*device); }

HardwareProfile HardwareProfile::from_device(const GpuDevice& device) {
  const AdapterDetails& a = device.adapter();
  const DeviceLimits limits = device.limits();
  HardwareProfile p;
  p.name = a.name;
  p.vram_estimate_bytes = estimate_vram_bytes(a.name, limits.max_buffer_size);
  p.max_workgroup_size = {limits.max_compute_workgroup_size_x, limits.max_compute_workgroup_size_y,
                          limits.max_compute_workgroup_size_z};
  p.max_workgroups = {limits.max_compute_workgroups_per_dimension, limits.max_compute_workgroups_per_dimension,
                      limits.max_compute_workgroups_per_dimension};
  p.max_invocations_per_workgroup = limits.max_compute_invocations_per_workgroup;
  p.max_storage_buffers_per_stage = limits.max_storage_buffers_per_shader_stage;
  p.max_uniform_buffers_per_stage = limits.max_uniform_buffers_per_shader_stage;
  p.max_bind_groups = limits.max_bind_groups;
  p.vendor = a.vendor;
  p.subgroup_min_size = a.subgroup_min_size;
  p.subgroup_max_size = a.subgroup_max_size;
  p.has_subgroups = device.has_feature(DeviceFeature::Subgroups);
  p.f64_capabilities = cached_capabilities(adapter_key(a));
  if (!device.has_feature(DeviceFeature::ShaderF64)) {
    p.native_f64 = false;
  } else {
    p.native_f64 = p.f64_capabilities ? p.f64_capabilities->basic_f64 : true;
  }
  p.device_type = a.device_type;
  p.backend = a.backend;
  p.fp64_ratio = fp64_ratio_for(a.name, std::getenv("TRELLIKEN_FP64_RATIO"));
  return p;
}

}  // namespace trelliken

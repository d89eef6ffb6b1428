#pragma once
// A compact picture of a GPU: limits, memory estimate, f64 usability and throughput, driver.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "device/gpu_device/adapter_details.hpp"
#include "device/probe/capabilities.hpp"

namespace trelliken {

class GpuDevice;

/// Computed on demand from a device; a plain value, cheap to recompute.
struct HardwareProfile {
  std::string name;
  std::uint64_t vram_estimate_bytes = 0;
  std::array<std::uint32_t, 3> max_workgroup_size{};
  std::array<std::uint32_t, 3> max_workgroups{};
  std::uint32_t max_invocations_per_workgroup = 0;
  std::uint32_t max_storage_buffers_per_stage = 0;
  std::uint32_t max_uniform_buffers_per_stage = 0;
  std::uint32_t max_bind_groups = 0;
  std::uint32_t vendor = 0;
  std::uint32_t subgroup_min_size = 0;
  std::uint32_t subgroup_max_size = 0;
  bool has_subgroups = false;
  bool native_f64 = false;
  std::optional<F64Capabilities> f64_capabilities;
  AdapterType device_type = AdapterType::Other;
  BackendKind backend = BackendKind::Empty;
  std::optional<double> fp64_ratio;

  /// The profile of `device` now. Never fails.
  [[nodiscard]] static HardwareProfile from_device(const std::shared_ptr<GpuDevice>& device);
  [[nodiscard]] static HardwareProfile from_device(const GpuDevice& device);
};

/// The memory estimate for a device reporting `max_buffer_size`: that size up to 64 GiB, above
/// it (an effectively unlimited report) the adapter-name table, else 8 GiB.
[[nodiscard]] std::uint64_t estimate_vram_bytes(std::string_view adapter_name, std::uint64_t max_buffer_size);

/// The f64-to-f32 throughput ratio: TRELLIKEN_FP64_RATIO when it parses as a double (`env`),
/// else the adapter-name table (matched case-insensitively), else none.
[[nodiscard]] std::optional<double> fp64_ratio_for(std::string_view adapter_name, const char* env);

/// Parses a floating-point text the way the ratio override accepts it (decimal or exponent
/// notation, inf and NaN included; the whole text must be the number).
[[nodiscard]] std::optional<double> parse_fp64_ratio(std::string_view text);

/// Whether the adapter runs on a Mesa-family driver (Mesa, NVK, nouveau).
[[nodiscard]] bool uses_mesa_driver(const AdapterDetails& adapter);

/// Full Unicode upper-casing of UTF-8 text (invalid sequences are kept as they are).
[[nodiscard]] std::string to_upper_unicode(std::string_view text);

}  // namespace trelliken

#pragma once
// What the WebGPU implementation reports about the chosen adapter.

#include <cstdint>
#include <string>
#include <string_view>

namespace trelliken {

/// Adapter category; printed by these exact names.
enum class AdapterType { Other, IntegratedGpu, DiscreteGpu, VirtualGpu, Cpu };

/// The graphics interface behind an adapter.
enum class BackendKind { Empty, Vulkan, Metal, Dx12, Gl, BrowserWebGpu };

[[nodiscard]] std::string_view adapter_type_name(AdapterType type) noexcept;
[[nodiscard]] std::string_view backend_name(BackendKind backend) noexcept;

/// The adapter's identity and description, copied once when the device is created.
struct AdapterDetails {
  std::string name;
  std::string driver;
  std::string driver_info;
  std::uint32_t vendor = 0;
  std::uint32_t device = 0;
  std::uint32_t subgroup_min_size = 0;
  std::uint32_t subgroup_max_size = 0;
  AdapterType device_type = AdapterType::Other;
  BackendKind backend = BackendKind::Empty;
};

/// "name:backend:vendor" — the key of every per-adapter cache.
[[nodiscard]] std::string adapter_key(const AdapterDetails& details);

}  // namespace trelliken

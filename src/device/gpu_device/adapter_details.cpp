#include "device/gpu_device/adapter_details.hpp"

#include <fmt/format.h>

namespace trelliken {

std::string_view adapter_type_name(AdapterType type) noexcept {
  switch (type) {
    case AdapterType::Other: return "Other";
    case AdapterType::IntegratedGpu: return "IntegratedGpu";
    case AdapterType::DiscreteGpu: return "DiscreteGpu";
    case AdapterType::VirtualGpu: return "VirtualGpu";
    case AdapterType::Cpu: return "Cpu";
  }
  return "Other";
}

std::string_view backend_name(BackendKind backend) noexcept {
  switch (backend) {
    case BackendKind::Empty: return "Empty";
    case BackendKind::Vulkan: return "Vulkan";
    case BackendKind::Metal: return "Metal";
    case BackendKind::Dx12: return "Dx12";
    case BackendKind::Gl: return "Gl";
    case BackendKind::BrowserWebGpu: return "BrowserWebGpu";
  }
  return "Empty";
}

std::string adapter_key(const AdapterDetails& details) {
  return fmt::format("{}:{}:{}", details.name, backend_name(details.backend), details.vendor);
}

}  // namespace trelliken

#include "shaders/module.hpp"

#include <string>

#include "platform/strings.hpp"
#include "shaders/precision/downgrade.hpp"

namespace trelliken {

platform::ShaderModule create_wgsl_module(const GpuDevice& device, std::string_view source, std::string_view label) {
  WGPUShaderSourceWGSL wgsl{};
  wgsl.chain.sType = WGPUSType_ShaderSourceWGSL;
  wgsl.code = platform::to_view(source);
  WGPUShaderModuleDescriptor desc{};
  desc.nextInChain = &wgsl.chain;
  desc.label = platform::to_view(label);
  WGPUShaderModule raw = nullptr;
  {
    ActiveOperationScope active(device.active_operations());
    platform::GlCallScope scope;
    raw = wgpuDeviceCreateShaderModule(device.device().get(), &desc);
  }
  return platform::ShaderModule::acquire(raw);
}

platform::ShaderModule prepare_and_create_module(const GpuDevice& device, std::string_view source,
                                                 std::string_view label, bool /*f64*/, bool /*df64*/) {
  if (mentions_f64_types(source)) {
    const std::string downgraded = downgrade_f64_to_f32(source);
    return create_wgsl_module(device, downgraded, label);
  }
  return create_wgsl_module(device, source, label);
}

}  // namespace trelliken

#pragma once
// Turning an operation's WGSL source into a shader module fit for the device.

#include <string_view>

#include "device/gpu_device/gpu_device.hpp"
#include "platform/handle.hpp"

namespace trelliken {

/// Prepares `source` for `device` and creates the module, labelled `label`. It reports no error:
/// a module the implementation rejects surfaces through the device's error handling.
///
/// Sources that mention f64 types are downgraded to f32 first; others are used unchanged. The
/// native-f64 and double-float precision routes (`f64`, `df64`) are not offered yet and take the
/// same f32 route.
[[nodiscard]] platform::ShaderModule prepare_and_create_module(const GpuDevice& device, std::string_view source,
                                                               std::string_view label, bool f64, bool df64);

/// Creates a WGSL module from `source` as it is.
[[nodiscard]] platform::ShaderModule create_wgsl_module(const GpuDevice& device, std::string_view source,
                                                        std::string_view label);

}  // namespace trelliken

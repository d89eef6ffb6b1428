#pragma once
// Conversions between WebGPU string views and C++ strings.

#include <string>
#include <string_view>

#include "platform/webgpu_c.h"

namespace trelliken::platform {

/// A view of `s` for the implementation; `s` must outlive the call it is passed to.
[[nodiscard]] inline WGPUStringView to_view(std::string_view s) noexcept {
  return WGPUStringView{s.data(), s.size()};
}

/// The "no string" value.
[[nodiscard]] inline WGPUStringView null_view() noexcept { return WGPUStringView{nullptr, WGPU_STRLEN}; }

/// Copies a string handed over by the implementation (callback strings are not NUL-terminated).
[[nodiscard]] inline std::string to_string(WGPUStringView v) {
  if (v.data == nullptr) return {};
  if (v.length == WGPU_STRLEN) return std::string(v.data);
  return std::string(v.data, v.length);
}

}  // namespace trelliken::platform

#pragma once
// Turning the library's f64 WGSL into f32 WGSL for devices and routes without 64-bit floats, so
// that every operation keeps a single source. Pure text functions: no WGSL is parsed.

#include <string>
#include <string_view>

namespace trelliken {

/// True when `source` declares something of an f64 type (an f64 array, an f64 parameter or
/// member, an f64 result). A mere conversion such as f64(1.0) does not count.
[[nodiscard]] bool mentions_f64_types(std::string_view source) noexcept;

/// The f32 version of `source`: the f64 enable is dropped, f64 types and conversions become f32,
/// literals beyond the f32 range are clamped to its largest finite value, and calls of the
/// software math library (exp_f64, sqrt_f64, ...) become the native builtins.
[[nodiscard]] std::string downgrade_f64_to_f32(std::string_view source);

}  // namespace trelliken

#pragma once
// WGSL texts compiled into the library from the .wgsl files under src/.

#include <cstddef>
#include <string_view>

namespace trelliken {

namespace detail {
struct EmbeddedWgsl {
  const char* path;
  const char* text;
};
extern const EmbeddedWgsl kEmbeddedWgsl[];
extern const std::size_t kEmbeddedWgslCount;
}  // namespace detail

/// The text of the embedded WGSL file at `path`, relative to src/ (for example
/// "ops/fhe_pointwise_mul/pointwise_mul.wgsl"). A path that names no embedded file is a
/// programmer error and aborts.
[[nodiscard]] std::string_view embedded_wgsl(std::string_view path);

}  // namespace trelliken

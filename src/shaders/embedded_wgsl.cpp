#include "shaders/embedded_wgsl.hpp"

#include <cstdio>
#include <cstdlib>

namespace trelliken {

std::string_view embedded_wgsl(std::string_view path) {
  for (std::size_t i = 0; i < detail::kEmbeddedWgslCount; ++i) {
    if (path == detail::kEmbeddedWgsl[i].path) return detail::kEmbeddedWgsl[i].text;
  }
  std::fprintf(stderr, "embedded WGSL file not found: %.*s\n", static_cast<int>(path.size()), path.data());
  std::abort();
}

}  // namespace trelliken

#pragma once
// Front door of the WGSL front end.

#include <string_view>

#include "wgsl/common/span.h"
#include "wgsl/ir/ir.h"

namespace trelliken::wgsl {

/// Parses WGSL compute-shader text into IR: names resolved, constants folded (abstract values in double
/// precision), references turned into pointers and loads, function bodies in Emit form, functions callees first.
/// Any malformed or ill-typed text yields a diagnostic with a span; nothing throws or aborts.
[[nodiscard]] Result<ir::Module> parse(std::string_view source);

}  // namespace trelliken::wgsl

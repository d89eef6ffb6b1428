#pragma once
// Front door of the WGSL writer.

#include <string>

#include "wgsl/common/span.h"
#include "wgsl/ir/ir.h"
#include "wgsl/validator/validate.h"

namespace trelliken::wgsl {

/// Writes a validated module (with the ModuleInfo its validation returned) as WGSL text. The output is
/// deterministic and parses back into an equivalent module that writes to the same text. Names that collide with
/// WGSL keywords, reserved words or predeclared names get "_" appended; repeated names get "_1", "_2", ...
/// Never aborts: a module the writer cannot express yields an error value.
[[nodiscard]] Result<std::string> write_wgsl(const ir::Module& module, const ModuleInfo& info);

}  // namespace trelliken::wgsl

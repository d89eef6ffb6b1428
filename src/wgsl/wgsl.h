#pragma once
// The WGSL translator: WGSL text to IR (parse), checks and type tables (validate), IR back to WGSL (write_wgsl).
// A self-contained library: it depends on the C++ standard library only.
//
//   auto module = wgsl::parse(text);                       // Result<ir::Module>
//   auto info = wgsl::validate(*module, Capabilities::all());  // Result<ModuleInfo>
//   auto out = wgsl::write_wgsl(*module, *info);           // Result<std::string>
//
// Errors are Diagnostic values; render(diagnostic, text) gives "line:column: message".

#include "wgsl/common/span.h"
#include "wgsl/ir/ir.h"
#include "wgsl/parser/parse.h"
#include "wgsl/validator/validate.h"
#include "wgsl/writer/write.h"

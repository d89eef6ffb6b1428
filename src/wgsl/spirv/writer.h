#pragma once
// SPIR-V writer: turns a validated IR module into a Vulkan-flavoured SPIR-V binary (logical addressing, GLSL450
// memory model, one GLCompute entry point per WGSL entry point).
//
// Promises: the same module and options always give the same words; a construct the writer cannot express is
// reported as an error value that names it, never as words that spirv-val would reject.

#include <cstdint>
#include <vector>

#include "wgsl/common/span.h"
#include "wgsl/ir/ir.h"

namespace trelliken::wgsl {

struct ModuleInfo;

/// Choices of the SPIR-V writer. The defaults are what the library uses.
struct SpirvOptions {
    /// Version word of the module header; the writer relies on SPIR-V 1.4+ rules (all globals in the entry point
    /// interface, scalar selectors for vector selects), so older versions are refused.
    uint32_t version = 0x00010500;
    /// Emit OpName/OpMemberName for functions, variables and structs (handy for spirv-dis; no effect on code).
    bool debug_names = true;
};

/// Writes `module` as SPIR-V words; `info` is the validator's result for it (proof that the module is valid;
/// the writer derives the pointer and storage-class details it needs on its own).
[[nodiscard]] Result<std::vector<uint32_t>> write_spirv(const ir::Module& module, const ModuleInfo& info,
                                                        const SpirvOptions& options = {});

/// The same without the validator's result, for IR built in code that is known to be valid.
[[nodiscard]] Result<std::vector<uint32_t>> write_spirv(const ir::Module& module, const SpirvOptions& options = {});

}  // namespace trelliken::wgsl

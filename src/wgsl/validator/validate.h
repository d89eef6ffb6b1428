#pragma once
// Front door of the validator: checks a module against the IR rules and WGSL's typing rules and records the
// type of every expression for later phases (the writers).

#include <cstdint>
#include <vector>

#include "wgsl/common/span.h"
#include "wgsl/ir/ir.h"

namespace trelliken::wgsl {

/// Optional features a module may use.
struct Capabilities {
    bool float64 = false;  // f64 types and literals
    bool float16 = false;  // f16 types and literals

    static constexpr Capabilities all() { return {true, true}; }
};

/// Analysis of one function.
struct FunctionInfo {
    /// Type of each expression, indexed by expression handle; handles of ModuleInfo::types.
    std::vector<ir::Handle<ir::Type>> expression_types;
    /// How many expressions and statements refer to each expression.
    std::vector<uint32_t> use_counts;
};

/// What validation learned about a module. Only valid together with the module it came from.
struct ModuleInfo {
    /// The module's types (same handles) followed by the further types that expression results need, such as
    /// pointers to struct members; every expression type is a handle of this arena.
    ir::Arena<ir::Type> types;
    std::vector<FunctionInfo> functions;     // indexed like Module::functions
    std::vector<FunctionInfo> entry_points;  // indexed like Module::entry_points
    std::vector<ir::Handle<ir::Type>> global_expression_types;

    /// The type of an expression of `fn`.
    [[nodiscard]] const ir::TypeInner& type_of(const FunctionInfo& fn, ir::Handle<ir::Expression> h) const {
        return types[fn.expression_types[h.index]].inner;
    }
};

/// Validates `module`; on success returns the analysis, otherwise the first problem found, naming the function
/// and the place.
[[nodiscard]] Result<ModuleInfo> validate(const ir::Module& module, Capabilities caps = Capabilities::all());

}  // namespace trelliken::wgsl

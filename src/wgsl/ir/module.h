#pragma once
// Module-level items of the IR: constants, overrides, variables, functions and entry points.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "wgsl/ir/statement.h"

namespace trelliken::wgsl::ir {

/// A module-scope `const` of concrete type. `init` is a fully evaluated expression of Module::global_expressions
/// (a literal, zero value, or a compose or splat of such). A `const` whose type stays abstract is not kept: its
/// uses are replaced by concrete literals while lowering.
struct Constant {
    std::string name;
    Handle<Type> type;
    Handle<Expression> init;
};

/// A pipeline-overridable constant (`override`). `init`, when present, is an expression of
/// Module::global_expressions that may refer to constants and earlier overrides.
struct Override {
    std::string name;
    std::optional<uint16_t> id;
    Handle<Type> type;
    std::optional<Handle<Expression>> init;
};

/// @group / @binding of a resource variable.
struct ResourceBinding {
    uint32_t group = 0;
    uint32_t binding = 0;
    friend bool operator==(const ResourceBinding&, const ResourceBinding&) = default;
};

/// A module-scope `var`. `type` is the store type; the GlobalVariable expression is a pointer to it in `space`
/// with `access`. Uniform and storage variables have a binding; `init` (private space only) refers to
/// Module::global_expressions.
struct GlobalVariable {
    std::string name;
    AddressSpace space = AddressSpace::Private;
    AccessMode access = AccessMode::ReadWrite;
    std::optional<ResourceBinding> binding;
    Handle<Type> type;
    std::optional<Handle<Expression>> init;
};

/// A function-scope `var`. The parser never sets `init` (a declaration with a value becomes a Store where it
/// stands, so loops re-initialise it); when set by other producers, it is a literal, constant, override or zero
/// value expression of the same function and initialises the variable on function entry.
struct LocalVariable {
    std::string name;
    Handle<Type> type;
    std::optional<Handle<Expression>> init;
};

struct FunctionArgument {
    std::string name;
    Handle<Type> type;
    std::optional<Binding> binding;
};

struct FunctionResult {
    Handle<Type> type;
    std::optional<Binding> binding;
};

/// A function: its signature, its locals, its expression arena and its body.
struct Function {
    std::string name;
    std::vector<FunctionArgument> arguments;
    std::optional<FunctionResult> result;
    Arena<LocalVariable> local_variables;
    Arena<Expression> expressions;
    /// Names that the source gave to expressions (`let` declarations); writers reuse them.
    std::unordered_map<Handle<Expression>, std::string> named_expressions;
    Block body;
};

/// A compute entry point. Each workgroup size dimension is either a number or, when
/// `workgroup_size_overrides[i]` is set, an expression of Module::global_expressions that involves overrides
/// (then `workgroup_size[i]` is 0).
struct EntryPoint {
    std::string name;
    ShaderStage stage = ShaderStage::Compute;
    std::array<uint32_t, 3> workgroup_size{1, 1, 1};
    std::array<std::optional<Handle<Expression>>, 3> workgroup_size_overrides{};
    Function function;
    Span span;
};

/// A whole shader.
struct Module {
    /// Extensions named by `enable` directives, in order (for instance "f16").
    std::vector<std::string> enables;
    Arena<Type> types;
    Arena<Constant> constants;
    Arena<Override> overrides;
    Arena<GlobalVariable> global_variables;
    /// Initialisers of constants, overrides and variables and override-dependent workgroup sizes. Allowed kinds:
    /// literal, constant, override, zero value, compose, splat, unary, binary, select, math, as, access index.
    Arena<Expression> global_expressions;
    /// Functions in dependency order: a function only calls functions of smaller handles.
    Arena<Function> functions;
    std::vector<EntryPoint> entry_points;
};

}  // namespace trelliken::wgsl::ir

#pragma once
// The translator's intermediate representation.
//
// Rules every producer keeps and every consumer may rely on (the validator checks them):
//
// 1. A Module owns arenas of types, constants, overrides, global variables, module-level expressions and
//    functions, plus a list of entry points, each of which owns its own Function.
// 2. Every Function has an expression arena. Expressions have no side effects: anything that writes memory or
//    synchronises (stores, calls, atomics, barriers) is a statement. An expression only refers to expressions
//    of the same arena with smaller handles, so one forward pass over the arena sees operands before users and
//    one backward pass sees users before operands.
// 3. The body is a tree of statements that points into the expression arena. An expression whose kind needs an
//    Emit (see needs_emit) may be used by a statement only after an Emit statement covering its handle, in the
//    same block or in an enclosing one; an Emit makes a range of expressions visible to the statements after it.
//    Each handle is covered by at most one Emit; a range may also cover expressions that need no Emit, which
//    changes nothing for them. Call and atomic results become available at their statement.
// 4. Pointers are values of pointer type: GlobalVariable and LocalVariable expressions are pointers to their
//    variable; Access and AccessIndex on a pointer give a pointer to the element; Load reads through one and
//    Store writes through one. WGSL references and the & and * operators disappear while lowering.
// 5. Function expressions never have abstract types; abstract values are made concrete while lowering (an
//    abstract float is evaluated in double precision first, so a literal that ends up f64 keeps its value).
// 6. Types are unique in Module::types: the same non-struct type is never stored twice.
// 7. Functions are stored callees first and never call themselves directly or indirectly.
// 8. Analysis results (expression types, use counts, liveness) live in side tables indexed by handle, never in
//    the IR. Passes may replace an expression in place with another whose operands still come earlier.

#include <optional>

#include "wgsl/ir/arena.h"
#include "wgsl/ir/expression.h"
#include "wgsl/ir/module.h"
#include "wgsl/ir/statement.h"
#include "wgsl/ir/types.h"

namespace trelliken::wgsl::ir {

/// Opens and closes Emit ranges over an expression arena, so no producer builds ranges by hand:
/// `emitter.start(arena); ...append expressions...; if (auto e = emitter.finish(arena)) block.push(*e, span);`
class Emitter {
public:
    void start(const Arena<Expression>& arena) {
        start_ = arena.size();
        active_ = true;
    }
    /// Closes the open range; yields an Emit statement when it covers at least one expression that needs one.
    [[nodiscard]] std::optional<stmt::Emit> finish(const Arena<Expression>& arena) {
        if (!active_) return std::nullopt;
        active_ = false;
        uint32_t first = start_;
        uint32_t end = arena.size();
        // Expressions that are available without an Emit at the ends of the range need not be covered.
        while (first < end && !needs_emit(arena[Handle<Expression>(first)])) ++first;
        while (end > first && !needs_emit(arena[Handle<Expression>(end - 1)])) --end;
        if (first >= end) return std::nullopt;
        return stmt::Emit{Range<Expression>{first, end}};
    }
    [[nodiscard]] bool active() const { return active_; }

private:
    uint32_t start_ = 0;
    bool active_ = false;
};

}  // namespace trelliken::wgsl::ir

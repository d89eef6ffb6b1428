#pragma once
// Statements of the IR. See ir.h for the rules they obey.

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "wgsl/ir/expression.h"

namespace trelliken::wgsl::ir {

struct Statement;

/// A sequence of statements with the source span of each.
struct Block {
    std::vector<Statement> statements;
    std::vector<Span> spans;

    void push(Statement s, Span span);
    [[nodiscard]] size_t size() const;
    [[nodiscard]] bool empty() const;
};

enum class AtomicFunction : uint8_t { Add, Subtract, And, ExclusiveOr, InclusiveOr, Min, Max, Exchange };

/// Memory kinds a barrier orders; a bit set.
enum BarrierFlags : uint8_t { BarrierStorage = 1, BarrierWorkGroup = 2 };

/// One selector of a switch case: an i32 or u32 value, or `default`.
struct SwitchValue {
    enum class Kind : uint8_t { I32, U32, Default };
    Kind kind = Kind::Default;
    int64_t value = 0;

    friend bool operator==(const SwitchValue&, const SwitchValue&) = default;
};

/// A switch clause: runs `body` when the selector equals any of `values`. Clauses never fall through.
struct SwitchCase {
    std::vector<SwitchValue> values;
    Block body;
};

namespace stmt {
/// Evaluates the expressions of `range` here; they may be used by the statements that follow, in the same block
/// or in blocks nested in it.
struct Emit {
    Range<Expression> range;
};
/// A nested scope.
struct Block {
    ir::Block block;
};
struct If {
    Handle<Expression> condition;
    ir::Block accept;
    ir::Block reject;
};
struct Switch {
    Handle<Expression> selector;
    std::vector<SwitchCase> cases;
};
/// Runs `body`, then `continuing`, then leaves when `break_if` (evaluated at the end of `continuing`) is true,
/// otherwise repeats. `continue` in `body` jumps to `continuing`.
struct Loop {
    ir::Block body;
    ir::Block continuing;
    std::optional<Handle<Expression>> break_if;
};
struct Break {};
struct Continue {};
struct Return {
    std::optional<Handle<Expression>> value;
};
/// Writes `value` through `pointer`. A pointer to atomic<T> is an atomic store (WGSL's atomicStore).
struct Store {
    Handle<Expression> pointer;
    Handle<Expression> value;
};
/// Calls a module function; `result` is a CallResult expression when the function returns a value.
struct Call {
    Handle<ir::Function> function;
    std::vector<Handle<Expression>> arguments;
    std::optional<Handle<Expression>> result;
};
/// Atomic read-modify-write through `pointer` (to atomic<T>). For Exchange with `compare` it is
/// atomicCompareExchangeWeak. `result` is the AtomicResult expression holding the previous value.
struct Atomic {
    Handle<Expression> pointer;
    AtomicFunction fun;
    Handle<Expression> value;
    std::optional<Handle<Expression>> compare;
    std::optional<Handle<Expression>> result;
};
/// Control and memory barrier across the workgroup for the memory kinds in `flags` (BarrierFlags).
struct Barrier {
    uint8_t flags;
};
}  // namespace stmt

using StatementVariant = std::variant<stmt::Emit, stmt::Block, stmt::If, stmt::Switch, stmt::Loop, stmt::Break,
                                      stmt::Continue, stmt::Return, stmt::Store, stmt::Call, stmt::Atomic,
                                      stmt::Barrier>;

struct Statement : StatementVariant {
    using StatementVariant::StatementVariant;
    using StatementVariant::operator=;

    template <class T>
    [[nodiscard]] const T* as() const { return std::get_if<T>(static_cast<const StatementVariant*>(this)); }
    template <class T>
    [[nodiscard]] T* as() { return std::get_if<T>(static_cast<StatementVariant*>(this)); }
    template <class T>
    [[nodiscard]] bool is() const { return std::holds_alternative<T>(static_cast<const StatementVariant&>(*this)); }
};

inline size_t Block::size() const { return statements.size(); }
inline bool Block::empty() const { return statements.empty(); }

inline void Block::push(Statement s, Span span) {
    statements.push_back(std::move(s));
    spans.push_back(span);
}

}  // namespace trelliken::wgsl::ir

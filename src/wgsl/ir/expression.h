#pragma once
// Expressions of the IR. See ir.h for the rules they obey.

#include <array>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

#include "wgsl/ir/arena.h"
#include "wgsl/ir/types.h"

namespace trelliken::wgsl::ir {

struct Constant;
struct Override;
struct GlobalVariable;
struct LocalVariable;
struct Function;

enum class UnaryOperator : uint8_t { Negate, LogicalNot, BitwiseNot };

/// `And`, `ExclusiveOr` and `InclusiveOr` are the bitwise (and, on bools, non-short-circuit) operators;
/// `LogicalAnd` and `LogicalOr` are && and ||. Expressions have no side effects, so evaluating both operands is
/// unobservable; a right operand with calls or atomics is lowered to statements under an `if` instead.
enum class BinaryOperator : uint8_t {
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    And,
    ExclusiveOr,
    InclusiveOr,
    LogicalAnd,
    LogicalOr,
    ShiftLeft,
    ShiftRight,
};

enum class RelationalFunction : uint8_t { All, Any };

/// Builtin functions without side effects that map to one expression.
enum class MathFunction : uint8_t {
    // comparison
    Abs, Min, Max, Clamp, Saturate,
    // trigonometry
    Cos, Cosh, Sin, Sinh, Tan, Tanh, Acos, Asin, Atan, Atan2, Asinh, Acosh, Atanh, Radians, Degrees,
    // decomposition
    Ceil, Floor, Round, Fract, Trunc, Ldexp,
    // exponent
    Exp, Exp2, Log, Log2, Pow,
    // geometry
    Dot, Cross, Distance, Length, Normalize, FaceForward, Reflect, Refract,
    // computational
    Sign, Fma, Mix, Step, SmoothStep, Sqrt, InverseSqrt, Transpose, Determinant,
    // bits
    CountTrailingZeros, CountLeadingZeros, CountOneBits, ReverseBits, ExtractBits, InsertBits,
    FirstTrailingBit, FirstLeadingBit,
    // data packing
    Pack4x8snorm, Pack4x8unorm, Pack2x16snorm, Pack2x16unorm, Pack2x16float,
    Unpack4x8snorm, Unpack4x8unorm, Unpack2x16snorm, Unpack2x16unorm, Unpack2x16float,
    // dot product of packed 4x8 integers
    Dot4I8Packed, Dot4U8Packed,
};

namespace expr {
/// A literal scalar.
using Literal = ir::Literal;
/// Value of a module constant.
struct Constant {
    Handle<ir::Constant> constant;
};
/// Value of a pipeline-overridable constant.
struct Override {
    Handle<ir::Override> override_;
};
/// The zero value of a constructible type.
struct ZeroValue {
    Handle<Type> type;
};
/// A vector, matrix, array or struct built from its components (vectors may also be built from smaller vectors,
/// as WGSL constructors allow).
struct Compose {
    Handle<Type> type;
    std::vector<Handle<Expression>> components;
};
/// Dynamic index into an array, vector or matrix, either a value or a pointer (then the result is a pointer).
struct Access {
    Handle<Expression> base;
    Handle<Expression> index;
};
/// Constant index: struct member, vector component, matrix column or array element; of a value or a pointer.
struct AccessIndex {
    Handle<Expression> base;
    uint32_t index;
};
/// A vector with every component equal to a scalar.
struct Splat {
    VectorSize size;
    Handle<Expression> value;
};
/// Components of a vector value picked by `pattern` (first `size` entries are used, each 0..3).
struct Swizzle {
    VectorSize size;
    Handle<Expression> vector;
    std::array<uint8_t, 4> pattern{};
};
/// Value of the function's argument number `index`.
struct FunctionArgument {
    uint32_t index;
};
/// Pointer to a module variable.
struct GlobalVariable {
    Handle<ir::GlobalVariable> variable;
};
/// Pointer to a local variable of the function.
struct LocalVariable {
    Handle<ir::LocalVariable> variable;
};
/// Value read through a pointer. A pointer to atomic<T> yields T (WGSL's atomicLoad).
struct Load {
    Handle<Expression> pointer;
};
struct Unary {
    UnaryOperator op;
    Handle<Expression> expr;
};
/// Operands have the same type, except: Multiply also takes vector*scalar, scalar*vector, matrix*scalar,
/// scalar*matrix, matrix*vector, vector*matrix and matrix*matrix; shifts take a u32 right operand of the left
/// operand's shape. Comparisons yield bool of the operands' shape.
struct Binary {
    BinaryOperator op;
    Handle<Expression> left;
    Handle<Expression> right;
};
/// `accept` where `condition` is true, else `reject` (WGSL select(reject, accept, condition)).
struct Select {
    Handle<Expression> condition;
    Handle<Expression> accept;
    Handle<Expression> reject;
};
struct Relational {
    RelationalFunction fun;
    Handle<Expression> argument;
};
struct Math {
    MathFunction fun;
    Handle<Expression> arg;
    std::optional<Handle<Expression>> arg1;
    std::optional<Handle<Expression>> arg2;
    std::optional<Handle<Expression>> arg3;
};
/// Scalar or vector `expr` as scalar kind `kind` of `width` bytes: a value conversion when `convert` is true,
/// else a bit reinterpretation (bitcast; the total size must not change).
struct As {
    Handle<Expression> expr;
    ScalarKind kind;
    uint8_t width;
    bool convert;
};
/// Result of a Call statement; valid only after that statement.
struct CallResult {
    Handle<ir::Function> function;
};
/// Result of an Atomic statement: the previous value, or for a compare-exchange the predeclared result struct
/// `type` (old_value, exchanged). Valid only after that statement.
struct AtomicResult {
    Handle<Type> type;
    bool comparison;
};
/// Element count of a runtime-sized array; `array` is a pointer to it.
struct ArrayLength {
    Handle<Expression> array;
};
}  // namespace expr

using ExpressionVariant =
    std::variant<expr::Literal, expr::Constant, expr::Override, expr::ZeroValue, expr::Compose, expr::Access,
                 expr::AccessIndex, expr::Splat, expr::Swizzle, expr::FunctionArgument, expr::GlobalVariable,
                 expr::LocalVariable, expr::Load, expr::Unary, expr::Binary, expr::Select, expr::Relational,
                 expr::Math, expr::As, expr::CallResult, expr::AtomicResult, expr::ArrayLength>;

/// One element of an expression arena. Replace one in place with `arena[h] = expr::Math{...};`.
struct Expression : ExpressionVariant {
    using ExpressionVariant::ExpressionVariant;
    using ExpressionVariant::operator=;

    template <class T>
    [[nodiscard]] const T* as() const { return std::get_if<T>(static_cast<const ExpressionVariant*>(this)); }
    template <class T>
    [[nodiscard]] T* as() { return std::get_if<T>(static_cast<ExpressionVariant*>(this)); }
    template <class T>
    [[nodiscard]] bool is() const { return std::holds_alternative<T>(static_cast<const ExpressionVariant&>(*this)); }
};

/// True for the kinds that are available without an Emit: literal, constant, override, zero value, function
/// argument, global variable and local variable. Call and atomic results are produced by their statements.
[[nodiscard]] inline bool needs_emit(const Expression& e) {
    return !(e.is<expr::Literal>() || e.is<expr::Constant>() || e.is<expr::Override>() ||
             e.is<expr::ZeroValue>() || e.is<expr::FunctionArgument>() || e.is<expr::GlobalVariable>() ||
             e.is<expr::LocalVariable>() || e.is<expr::CallResult>() || e.is<expr::AtomicResult>());
}

/// Calls `f(Handle<Expression>)` for every operand of `e`, in source order.
template <class F>
void for_each_operand(const Expression& e, F&& f) {
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, expr::Compose>) {
                for (auto h : x.components) f(h);
            } else if constexpr (std::is_same_v<T, expr::Access>) {
                f(x.base);
                f(x.index);
            } else if constexpr (std::is_same_v<T, expr::AccessIndex>) {
                f(x.base);
            } else if constexpr (std::is_same_v<T, expr::Splat>) {
                f(x.value);
            } else if constexpr (std::is_same_v<T, expr::Swizzle>) {
                f(x.vector);
            } else if constexpr (std::is_same_v<T, expr::Load>) {
                f(x.pointer);
            } else if constexpr (std::is_same_v<T, expr::Unary>) {
                f(x.expr);
            } else if constexpr (std::is_same_v<T, expr::Binary>) {
                f(x.left);
                f(x.right);
            } else if constexpr (std::is_same_v<T, expr::Select>) {
                f(x.condition);
                f(x.accept);
                f(x.reject);
            } else if constexpr (std::is_same_v<T, expr::Relational>) {
                f(x.argument);
            } else if constexpr (std::is_same_v<T, expr::Math>) {
                f(x.arg);
                if (x.arg1) f(*x.arg1);
                if (x.arg2) f(*x.arg2);
                if (x.arg3) f(*x.arg3);
            } else if constexpr (std::is_same_v<T, expr::As>) {
                f(x.expr);
            } else if constexpr (std::is_same_v<T, expr::ArrayLength>) {
                f(x.array);
            }
        },
        static_cast<const ExpressionVariant&>(e));
}

}  // namespace trelliken::wgsl::ir

#pragma once
// Compile-time evaluation of WGSL constant expressions. Abstract floats are evaluated in double precision and
// abstract integers in 64 bits; concrete results are rounded to their type and checked like a GPU compiler
// must check them (overflow, division by zero, non-finite results are errors).
//
// Evaluators return an optional value: empty means "valid, but this translator leaves it to run time" (for
// instance matrix products), which callers in a function turn into IR; a diagnostic means the expression is
// invalid.

#include <optional>
#include <vector>

#include "wgsl/common/value.h"

namespace trelliken::wgsl {

using MaybeConst = Result<std::optional<ConstValue>>;

/// Converts one literal to `target`. `explicit_conversion` selects WGSL's value-conversion rules (T(x):
/// float to integer truncates and saturates); otherwise it is an automatic conversion of an abstract value, which
/// must be exactly representable (integers) or finite in range (floats).
[[nodiscard]] Result<ir::Literal> convert_literal(const ir::Literal& v, ir::Scalar target, bool explicit_conversion,
                                                  Span span);

/// Converts every scalar inside `v` (same shape) to `target`.
[[nodiscard]] Result<ConstValue> convert_value(const ConstValue& v, ir::Scalar target, bool explicit_conversion,
                                               Span span);

/// The zero value of a type.
[[nodiscard]] ConstValue zero_value(const ir::Arena<ir::Type>& types, const VType& t);

/// A scalar ConstValue.
[[nodiscard]] ConstValue scalar_value(const ir::Literal& lit);

/// A vector with every component `v`.
[[nodiscard]] ConstValue splat_value(const ConstValue& v, ir::VectorSize n);

[[nodiscard]] MaybeConst eval_unary(ir::UnaryOperator op, const ConstValue& v, Span span);

/// Operands already have matching scalar kinds; vector-scalar mixing is broadcast, shifts take u32 amounts.
/// `result` is the result type the caller computed.
[[nodiscard]] MaybeConst eval_binary(ir::BinaryOperator op, const ConstValue& a, const ConstValue& b,
                                     const VType& result, Span span);

[[nodiscard]] MaybeConst eval_math(ir::MathFunction fun, const std::vector<ConstValue>& args, const VType& result,
                                   Span span);

/// select(reject, accept, condition) with a scalar or per-component condition.
[[nodiscard]] MaybeConst eval_select(const ConstValue& reject, const ConstValue& accept, const ConstValue& cond,
                                     Span span);

/// all/any of a bool vector (or scalar).
[[nodiscard]] ConstValue eval_relational(ir::RelationalFunction fun, const ConstValue& v);

/// True when the scalar is numerically zero / false.
[[nodiscard]] bool is_zero_literal(const ir::Literal& lit);

}  // namespace trelliken::wgsl

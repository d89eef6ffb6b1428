#pragma once
// The builtin math functions: WGSL names, argument counts and argument/result shapes, shared by the parser, the
// validator and the writer.

#include <cstdint>
#include <string_view>

#include "wgsl/ir/expression.h"

namespace trelliken::wgsl {

/// What the arguments of a math builtin may be.
enum class MathArgs : uint8_t {
    Float,     // float scalar or vector
    Numeric,   // any numeric scalar or vector
    Signed,    // signed integer or float scalar or vector
    Integer,   // integer scalar or vector
    FloatVec,  // float vector
    Matrix,    // float matrix
    Packed,    // fixed per function (packing helpers)
};

/// What a math builtin returns.
enum class MathResult : uint8_t { Same, Scalar, Transpose, U32, I32, Vec4F32, Vec2F32 };

struct MathInfo {
    std::string_view name;
    ir::MathFunction fun;
    uint8_t args;
    MathArgs kind;
    MathResult result;
};

/// The builtin called `name`, or null.
[[nodiscard]] const MathInfo* math_by_name(std::string_view name);

/// The description of a math function (every MathFunction has one).
[[nodiscard]] const MathInfo& math_info(ir::MathFunction fun);

}  // namespace trelliken::wgsl

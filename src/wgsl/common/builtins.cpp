#include "wgsl/common/builtins.h"

#include <array>

namespace trelliken::wgsl {
namespace {

using M = ir::MathFunction;
using A = MathArgs;
using R = MathResult;

constexpr MathInfo kTable[] = {
    {"abs", M::Abs, 1, A::Numeric, R::Same},
    {"min", M::Min, 2, A::Numeric, R::Same},
    {"max", M::Max, 2, A::Numeric, R::Same},
    {"clamp", M::Clamp, 3, A::Numeric, R::Same},
    {"saturate", M::Saturate, 1, A::Float, R::Same},
    {"cos", M::Cos, 1, A::Float, R::Same},
    {"cosh", M::Cosh, 1, A::Float, R::Same},
    {"sin", M::Sin, 1, A::Float, R::Same},
    {"sinh", M::Sinh, 1, A::Float, R::Same},
    {"tan", M::Tan, 1, A::Float, R::Same},
    {"tanh", M::Tanh, 1, A::Float, R::Same},
    {"acos", M::Acos, 1, A::Float, R::Same},
    {"asin", M::Asin, 1, A::Float, R::Same},
    {"atan", M::Atan, 1, A::Float, R::Same},
    {"atan2", M::Atan2, 2, A::Float, R::Same},
    {"asinh", M::Asinh, 1, A::Float, R::Same},
    {"acosh", M::Acosh, 1, A::Float, R::Same},
    {"atanh", M::Atanh, 1, A::Float, R::Same},
    {"radians", M::Radians, 1, A::Float, R::Same},
    {"degrees", M::Degrees, 1, A::Float, R::Same},
    {"ceil", M::Ceil, 1, A::Float, R::Same},
    {"floor", M::Floor, 1, A::Float, R::Same},
    {"round", M::Round, 1, A::Float, R::Same},
    {"fract", M::Fract, 1, A::Float, R::Same},
    {"trunc", M::Trunc, 1, A::Float, R::Same},
    {"ldexp", M::Ldexp, 2, A::Float, R::Same},
    {"exp", M::Exp, 1, A::Float, R::Same},
    {"exp2", M::Exp2, 1, A::Float, R::Same},
    {"log", M::Log, 1, A::Float, R::Same},
    {"log2", M::Log2, 1, A::Float, R::Same},
    {"pow", M::Pow, 2, A::Float, R::Same},
    {"dot", M::Dot, 2, A::Numeric, R::Scalar},
    {"cross", M::Cross, 2, A::FloatVec, R::Same},
    {"distance", M::Distance, 2, A::Float, R::Scalar},
    {"length", M::Length, 1, A::Float, R::Scalar},
    {"normalize", M::Normalize, 1, A::FloatVec, R::Same},
    {"faceForward", M::FaceForward, 3, A::FloatVec, R::Same},
    {"reflect", M::Reflect, 2, A::FloatVec, R::Same},
    {"refract", M::Refract, 3, A::FloatVec, R::Same},
    {"sign", M::Sign, 1, A::Signed, R::Same},
    {"fma", M::Fma, 3, A::Float, R::Same},
    {"mix", M::Mix, 3, A::Float, R::Same},
    {"step", M::Step, 2, A::Float, R::Same},
    {"smoothstep", M::SmoothStep, 3, A::Float, R::Same},
    {"sqrt", M::Sqrt, 1, A::Float, R::Same},
    {"inverseSqrt", M::InverseSqrt, 1, A::Float, R::Same},
    {"transpose", M::Transpose, 1, A::Matrix, R::Transpose},
    {"determinant", M::Determinant, 1, A::Matrix, R::Scalar},
    {"countTrailingZeros", M::CountTrailingZeros, 1, A::Integer, R::Same},
    {"countLeadingZeros", M::CountLeadingZeros, 1, A::Integer, R::Same},
    {"countOneBits", M::CountOneBits, 1, A::Integer, R::Same},
    {"reverseBits", M::ReverseBits, 1, A::Integer, R::Same},
    {"extractBits", M::ExtractBits, 3, A::Integer, R::Same},
    {"insertBits", M::InsertBits, 4, A::Integer, R::Same},
    {"firstTrailingBit", M::FirstTrailingBit, 1, A::Integer, R::Same},
    {"firstLeadingBit", M::FirstLeadingBit, 1, A::Integer, R::Same},
    {"pack4x8snorm", M::Pack4x8snorm, 1, A::Packed, R::U32},
    {"pack4x8unorm", M::Pack4x8unorm, 1, A::Packed, R::U32},
    {"pack2x16snorm", M::Pack2x16snorm, 1, A::Packed, R::U32},
    {"pack2x16unorm", M::Pack2x16unorm, 1, A::Packed, R::U32},
    {"pack2x16float", M::Pack2x16float, 1, A::Packed, R::U32},
    {"unpack4x8snorm", M::Unpack4x8snorm, 1, A::Packed, R::Vec4F32},
    {"unpack4x8unorm", M::Unpack4x8unorm, 1, A::Packed, R::Vec4F32},
    {"unpack2x16snorm", M::Unpack2x16snorm, 1, A::Packed, R::Vec2F32},
    {"unpack2x16unorm", M::Unpack2x16unorm, 1, A::Packed, R::Vec2F32},
    {"unpack2x16float", M::Unpack2x16float, 1, A::Packed, R::Vec2F32},
    {"dot4I8Packed", M::Dot4I8Packed, 2, A::Packed, R::I32},
    {"dot4U8Packed", M::Dot4U8Packed, 2, A::Packed, R::U32},
};

constexpr size_t kCount = static_cast<size_t>(M::Dot4U8Packed) + 1;
static_assert(std::size(kTable) == kCount, "every math function needs an entry");

constexpr std::array<const MathInfo*, kCount> by_fun() {
    std::array<const MathInfo*, kCount> out{};
    for (const MathInfo& m : kTable) out[static_cast<size_t>(m.fun)] = &m;
    return out;
}
constexpr auto kByFun = by_fun();

}  // namespace

const MathInfo* math_by_name(std::string_view name) {
    for (const MathInfo& m : kTable)
        if (m.name == name) return &m;
    return nullptr;
}

const MathInfo& math_info(ir::MathFunction fun) {
    const size_t i = static_cast<size_t>(fun);
    return i < kCount ? *kByFun[i] : kTable[0];
}

}  // namespace trelliken::wgsl

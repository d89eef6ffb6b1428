#include "wgsl/common/const_eval.h"

#include <cmath>
#include <limits>

#include "wgsl/common/numeric.h"

namespace trelliken::wgsl {
namespace {

using ir::Literal;
using ir::LiteralKind;
using ir::ScalarKind;

LiteralKind literal_kind(ir::Scalar s) {
    switch (s.kind) {
        case ScalarKind::Bool: return LiteralKind::Bool;
        case ScalarKind::Sint: return LiteralKind::I32;
        case ScalarKind::Uint: return LiteralKind::U32;
        case ScalarKind::Float: return s.width == 2 ? LiteralKind::F16 : s.width == 8 ? LiteralKind::F64 : LiteralKind::F32;
        case ScalarKind::AbstractInt: return LiteralKind::AbstractInt;
        case ScalarKind::AbstractFloat: return LiteralKind::AbstractFloat;
    }
    return LiteralKind::I32;
}

bool is_float_kind(LiteralKind k) {
    return k == LiteralKind::F16 || k == LiteralKind::F32 || k == LiteralKind::F64 || k == LiteralKind::AbstractFloat;
}

// Rounds a double to the float kind `k`; fails when the value is not finite in that type.
Result<Literal> make_float(LiteralKind k, double v, Span span) {
    if (!std::isfinite(v)) return error_at(span, "constant expression result is not finite");
    Literal out;
    out.kind = k;
    if (k == LiteralKind::F32) {
        if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max()))
            return error_at(span, "constant value out of range for f32");
        out.f = static_cast<double>(static_cast<float>(v));
    } else if (k == LiteralKind::F16) {
        out.f = round_to_f16(v);
        if (std::fabs(out.f) > 65504.0) return error_at(span, "constant value out of range for f16");
    } else {
        out.f = v;
    }
    return out;
}

Result<Literal> make_int(LiteralKind k, __int128 v, Span span) {
    Literal out;
    out.kind = k;
    if (k == LiteralKind::I32) {
        if (v < INT32_MIN || v > INT32_MAX) return error_at(span, "constant value out of range for i32");
    } else if (k == LiteralKind::U32) {
        if (v < 0 || v > UINT32_MAX) return error_at(span, "constant value out of range for u32");
    } else if (v < INT64_MIN || v > INT64_MAX) {
        return error_at(span, "constant value out of range for an abstract integer");
    }
    out.i = static_cast<int64_t>(v);
    return out;
}

double as_double(const Literal& l) {
    if (l.kind == LiteralKind::Bool) return l.b ? 1.0 : 0.0;
    return is_float_kind(l.kind) ? l.f : static_cast<double>(l.i);
}

template <class F>
Result<ConstValue> map1(const ConstValue& v, const VType& rt, F&& f) {
    ConstValue out;
    out.type = rt;
    if (v.elems.empty()) {
        auto r = f(v.scalar);
        if (!r) return std::unexpected(r.error());
        out.scalar = *r;
        return out;
    }
    VType et = rt.kind == VType::Kind::Vector ? VType::scalar_of(rt.scalar) : rt;
    if (rt.kind == VType::Kind::Matrix) et = VType::vector_of(rt.rows, rt.scalar);
    for (const ConstValue& e : v.elems) {
        auto r = map1(e, et, f);
        if (!r) return r;
        out.elems.push_back(std::move(*r));
    }
    return out;
}

// Elementwise over two values of the same shape, or a scalar broadcast against a vector.
template <class F>
Result<ConstValue> map2(const ConstValue& a, const ConstValue& b, const VType& rt, F&& f) {
    ConstValue out;
    out.type = rt;
    if (a.elems.empty() && b.elems.empty()) {
        auto r = f(a.scalar, b.scalar);
        if (!r) return std::unexpected(r.error());
        out.scalar = *r;
        return out;
    }
    const size_t n = a.elems.empty() ? b.elems.size() : a.elems.size();
    VType et = rt.kind == VType::Kind::Vector ? VType::scalar_of(rt.scalar) : rt;
    if (rt.kind == VType::Kind::Matrix) et = VType::vector_of(rt.rows, rt.scalar);
    for (size_t i = 0; i < n; ++i) {
        const ConstValue& x = a.elems.empty() ? a : a.elems[i];
        const ConstValue& y = b.elems.empty() ? b : b.elems[i];
        auto r = map2(x, y, et, f);
        if (!r) return r;
        out.elems.push_back(std::move(*r));
    }
    return out;
}

}  // namespace

bool is_zero_literal(const Literal& l) {
    if (l.kind == LiteralKind::Bool) return !l.b;
    return is_float_kind(l.kind) ? l.f == 0.0 : l.i == 0;
}

ConstValue scalar_value(const Literal& lit) {
    ConstValue v;
    v.type = VType::scalar_of(lit.scalar());
    v.scalar = lit;
    return v;
}

ConstValue splat_value(const ConstValue& v, ir::VectorSize n) {
    ConstValue out;
    out.type = VType::vector_of(n, v.type.scalar);
    out.elems.assign(static_cast<size_t>(n), v);
    return out;
}

Result<Literal> convert_literal(const Literal& v, ir::Scalar target, bool explicit_conversion, Span span) {
    const LiteralKind k = literal_kind(target);
    if (v.kind == k) return v;
    if (k == LiteralKind::Bool) {
        if (!explicit_conversion) return error_at(span, "cannot convert to bool implicitly");
        return Literal::boolean(!is_zero_literal(v));
    }
    if (v.kind == LiteralKind::Bool) {
        if (!explicit_conversion) return error_at(span, "cannot convert bool implicitly");
        if (is_float_kind(k)) return make_float(k, v.b ? 1.0 : 0.0, span);
        return make_int(k, v.b ? 1 : 0, span);
    }
    if (is_float_kind(k)) {
        if (!explicit_conversion && v.kind != LiteralKind::AbstractInt && v.kind != LiteralKind::AbstractFloat)
            return error_at(span, "no automatic conversion from " + scalar_name(v.scalar()) + " to " +
                                      scalar_name(target));
        return make_float(k, as_double(v), span);
    }
    // Integer target.
    if (is_float_kind(v.kind)) {
        if (!explicit_conversion) return error_at(span, "cannot convert a float to " + scalar_name(target) + " implicitly");
        // Value conversion truncates toward zero and saturates at the target's limits.
        double t = std::trunc(v.f);
        double lo = k == LiteralKind::I32 ? -2147483648.0 : k == LiteralKind::U32 ? 0.0 : -9223372036854775808.0;
        double hi = k == LiteralKind::I32 ? 2147483647.0 : k == LiteralKind::U32 ? 4294967295.0 : 9223372036854774784.0;
        if (t < lo) t = lo;
        if (t > hi) t = hi;
        return make_int(k, static_cast<__int128>(t), span);
    }
    if (!explicit_conversion && v.kind != LiteralKind::AbstractInt)
        return error_at(span, "no automatic conversion from " + scalar_name(v.scalar()) + " to " + scalar_name(target));
    if (explicit_conversion) {
        // Integer value conversion between i32 and u32 reinterprets the bits.
        if (k == LiteralKind::I32 && v.kind != LiteralKind::AbstractInt)
            return make_int(k, static_cast<int32_t>(static_cast<uint32_t>(v.i)), span);
        if (k == LiteralKind::U32 && v.kind != LiteralKind::AbstractInt)
            return make_int(k, static_cast<uint32_t>(v.i), span);
    }
    return make_int(k, v.i, span);
}

Result<ConstValue> convert_value(const ConstValue& v, ir::Scalar target, bool explicit_conversion, Span span) {
    if (v.type.kind == VType::Kind::Named || v.type.kind == VType::Kind::Pointer) {
        if (v.type.kind == VType::Kind::Named) return v;  // arrays and structs are always concrete
        return error_at(span, "cannot convert a pointer");
    }
    return map1(v, v.type.with_scalar(target),
                [&](const Literal& l) { return convert_literal(l, target, explicit_conversion, span); });
}

ConstValue zero_value(const ir::Arena<ir::Type>& types, const VType& t) {
    ConstValue out;
    out.type = t;
    Literal z;
    z.kind = literal_kind(t.scalar);
    switch (t.kind) {
        case VType::Kind::Scalar: out.scalar = z; break;
        case VType::Kind::Vector:
            out.elems.assign(static_cast<size_t>(t.size), scalar_value(z));
            break;
        case VType::Kind::Matrix:
            out.elems.assign(static_cast<size_t>(t.size), zero_value(types, VType::vector_of(t.rows, t.scalar)));
            break;
        case VType::Kind::Named: {
            if (!types.contains(t.handle)) break;
            const ir::TypeInner& inner = types[t.handle].inner;
            if (auto* a = std::get_if<ir::type::Array>(&inner)) {
                if (a->size.kind == ir::ArraySize::Kind::Constant && a->size.count <= 65536)
                    out.elems.assign(a->size.count, zero_value(types, vtype_of(types, a->base)));
            } else if (auto* s = std::get_if<ir::type::Struct>(&inner)) {
                for (const auto& m : s->members) out.elems.push_back(zero_value(types, vtype_of(types, m.type)));
            }
            break;
        }
        default: break;
    }
    return out;
}

MaybeConst eval_unary(ir::UnaryOperator op, const ConstValue& v, Span span) {
    auto r = map1(v, v.type, [&](const Literal& l) -> Result<Literal> {
        switch (op) {
            case ir::UnaryOperator::Negate:
                if (is_float_kind(l.kind)) return make_float(l.kind, -l.f, span);
                if (l.kind == LiteralKind::U32) return error_at(span, "cannot negate a u32");
                return make_int(l.kind, -static_cast<__int128>(l.i), span);
            case ir::UnaryOperator::LogicalNot: return Literal::boolean(!l.b);
            case ir::UnaryOperator::BitwiseNot:
                if (l.kind == LiteralKind::U32) return Literal::u32(~static_cast<uint32_t>(l.i));
                if (l.kind == LiteralKind::I32) return Literal::i32(~static_cast<int32_t>(l.i));
                return Literal::abstract_int(~l.i);
        }
        return l;
    });
    if (!r) return std::unexpected(r.error());
    return std::optional<ConstValue>(std::move(*r));
}

MaybeConst eval_binary(ir::BinaryOperator op, const ConstValue& a, const ConstValue& b, const VType& result,
                       Span span) {
    using B = ir::BinaryOperator;
    if (a.type.is_matrix() || b.type.is_matrix()) {
        if (op == B::Multiply) return std::optional<ConstValue>();  // linear algebra is left to run time
    }
    auto scalar_op = [&](const Literal& x, const Literal& y) -> Result<Literal> {
        const LiteralKind k = x.kind;
        const bool fl = is_float_kind(k);
        switch (op) {
            case B::Add: return fl ? make_float(k, x.f + y.f, span) : make_int(k, static_cast<__int128>(x.i) + y.i, span);
            case B::Subtract:
                return fl ? make_float(k, x.f - y.f, span) : make_int(k, static_cast<__int128>(x.i) - y.i, span);
            case B::Multiply:
                return fl ? make_float(k, x.f * y.f, span) : make_int(k, static_cast<__int128>(x.i) * y.i, span);
            case B::Divide:
                if (fl) return make_float(k, x.f / y.f, span);
                if (y.i == 0) return error_at(span, "integer division by zero in a constant expression");
                return make_int(k, static_cast<__int128>(x.i) / y.i, span);
            case B::Modulo:
                if (fl) return make_float(k, std::fmod(x.f, y.f), span);
                if (y.i == 0) return error_at(span, "integer remainder by zero in a constant expression");
                return make_int(k, static_cast<__int128>(x.i) % y.i, span);
            case B::Equal: return Literal::boolean(fl ? x.f == y.f : k == LiteralKind::Bool ? x.b == y.b : x.i == y.i);
            case B::NotEqual:
                return Literal::boolean(fl ? x.f != y.f : k == LiteralKind::Bool ? x.b != y.b : x.i != y.i);
            case B::Less: return Literal::boolean(fl ? x.f < y.f : x.i < y.i);
            case B::LessEqual: return Literal::boolean(fl ? x.f <= y.f : x.i <= y.i);
            case B::Greater: return Literal::boolean(fl ? x.f > y.f : x.i > y.i);
            case B::GreaterEqual: return Literal::boolean(fl ? x.f >= y.f : x.i >= y.i);
            case B::LogicalAnd: return Literal::boolean(x.b && y.b);
            case B::LogicalOr: return Literal::boolean(x.b || y.b);
            case B::And:
                if (k == LiteralKind::Bool) return Literal::boolean(x.b && y.b);
                return make_int(k, x.i & y.i, span);
            case B::InclusiveOr:
                if (k == LiteralKind::Bool) return Literal::boolean(x.b || y.b);
                return make_int(k, x.i | y.i, span);
            case B::ExclusiveOr:
                if (k == LiteralKind::Bool) return Literal::boolean(x.b != y.b);
                return make_int(k, x.i ^ y.i, span);
            case B::ShiftLeft:
            case B::ShiftRight: {
                const int bits = k == LiteralKind::AbstractInt ? 64 : 32;
                if (y.i < 0 || y.i >= bits) return error_at(span, "shift amount out of range in a constant expression");
                if (op == B::ShiftRight) return make_int(k, x.i >> y.i, span);
                if (k == LiteralKind::U32) return Literal::u32(static_cast<uint32_t>(x.i) << y.i);
                if (k == LiteralKind::I32) {
                    const int64_t r = static_cast<int64_t>(static_cast<uint64_t>(x.i) << y.i);
                    return Literal::i32(static_cast<int32_t>(static_cast<uint32_t>(r)));
                }
                return make_int(k, static_cast<__int128>(x.i) << y.i, span);
            }
        }
        return x;
    };
    auto r = map2(a, b, result, scalar_op);
    if (!r) return std::unexpected(r.error());
    return std::optional<ConstValue>(std::move(*r));
}

MaybeConst eval_math(ir::MathFunction fun, const std::vector<ConstValue>& args, const VType& result, Span span) {
    using M = ir::MathFunction;
    if (args.empty()) return std::optional<ConstValue>();
    for (const ConstValue& a : args)
        if (!a.type.is_numeric_leaf()) return std::optional<ConstValue>();
    // Component-wise functions of one float argument.
    auto unary_float = [&](double (*fn)(double)) -> MaybeConst {
        auto r = map1(args[0], result, [&](const Literal& l) { return make_float(l.kind, fn(l.f), span); });
        if (!r) return std::unexpected(r.error());
        return std::optional<ConstValue>(std::move(*r));
    };
    switch (fun) {
        case M::Abs: {
            auto r = map1(args[0], result, [&](const Literal& l) -> Result<Literal> {
                if (is_float_kind(l.kind)) return make_float(l.kind, std::fabs(l.f), span);
                if (l.kind == LiteralKind::U32) return l;
                if (l.kind == LiteralKind::I32 && l.i == INT32_MIN) return l;  // wraps like the GPU
                return make_int(l.kind, l.i < 0 ? -static_cast<__int128>(l.i) : l.i, span);
            });
            if (!r) return std::unexpected(r.error());
            return std::optional<ConstValue>(std::move(*r));
        }
        case M::Min:
        case M::Max: {
            if (args.size() != 2) return std::optional<ConstValue>();
            const bool mx = fun == M::Max;
            auto r = map2(args[0], args[1], result, [&](const Literal& x, const Literal& y) -> Result<Literal> {
                const bool fl = is_float_kind(x.kind);
                const bool less = fl ? x.f < y.f : x.i < y.i;
                return (mx ? !less : less) ? x : y;
            });
            if (!r) return std::unexpected(r.error());
            return std::optional<ConstValue>(std::move(*r));
        }
        case M::Sqrt: return unary_float([](double v) { return std::sqrt(v); });
        case M::Floor: return unary_float([](double v) { return std::floor(v); });
        case M::Ceil: return unary_float([](double v) { return std::ceil(v); });
        case M::Trunc: return unary_float([](double v) { return std::trunc(v); });
        case M::Round: return unary_float([](double v) { return std::nearbyint(v); });
        case M::Fract: return unary_float([](double v) { return v - std::floor(v); });
        case M::Exp: return unary_float([](double v) { return std::exp(v); });
        case M::Exp2: return unary_float([](double v) { return std::exp2(v); });
        case M::Log: return unary_float([](double v) { return std::log(v); });
        case M::Log2: return unary_float([](double v) { return std::log2(v); });
        case M::Sin: return unary_float([](double v) { return std::sin(v); });
        case M::Cos: return unary_float([](double v) { return std::cos(v); });
        case M::Tan: return unary_float([](double v) { return std::tan(v); });
        case M::Radians: return unary_float([](double v) { return v * 0.017453292519943295769; });
        case M::Degrees: return unary_float([](double v) { return v * 57.295779513082320876798; });
        case M::InverseSqrt: return unary_float([](double v) { return 1.0 / std::sqrt(v); });
        case M::Pow: {
            if (args.size() != 2) return std::optional<ConstValue>();
            auto r = map2(args[0], args[1], result,
                          [&](const Literal& x, const Literal& y) { return make_float(x.kind, std::pow(x.f, y.f), span); });
            if (!r) return std::unexpected(r.error());
            return std::optional<ConstValue>(std::move(*r));
        }
        default: return std::optional<ConstValue>();
    }
}

MaybeConst eval_select(const ConstValue& reject, const ConstValue& accept, const ConstValue& cond, Span) {
    if (cond.elems.empty()) return std::optional<ConstValue>(cond.scalar.b ? accept : reject);
    ConstValue out = reject;
    for (size_t i = 0; i < out.elems.size() && i < cond.elems.size(); ++i)
        if (cond.elems[i].scalar.b) out.elems[i] = accept.elems[i];
    return std::optional<ConstValue>(std::move(out));
}

ConstValue eval_relational(ir::RelationalFunction fun, const ConstValue& v) {
    if (v.elems.empty()) return scalar_value(Literal::boolean(v.scalar.b));
    bool all = true, any = false;
    for (const ConstValue& e : v.elems) {
        all = all && e.scalar.b;
        any = any || e.scalar.b;
    }
    return scalar_value(Literal::boolean(fun == ir::RelationalFunction::All ? all : any));
}

}  // namespace trelliken::wgsl

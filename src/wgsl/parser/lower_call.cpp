// Calls: user functions, type constructors and conversions, and the builtin functions compute shaders use.

#include <unordered_map>

#include "wgsl/common/builtins.h"
#include "wgsl/common/try.h"
#include "wgsl/parser/lower.h"

namespace trelliken::wgsl::lower {
namespace {

using M = ir::MathFunction;
using ArgKind = MathArgs;
using ResultKind = MathResult;

}  // namespace

static std::string_view math_function_name(ir::MathFunction fun) { return math_info(fun).name; }

Result<Operand> Lowerer::call(const ast::Expr& e, bool as_statement) {
    // The callee: a local name cannot be called.
    if (fn_) {
        for (auto& scope : fn_->scopes)
            if (scope.count(e.name)) return fail(e.span, "'" + std::string(e.name) + "' is not a function");
    }
    if (auto it = globals_.find(e.name); it != globals_.end() && it->second.kind == GlobalEntry::Kind::Function) {
        std::vector<Operand> args;
        for (ast::ExprId a : ast_.list(e.args)) {
            WGSL_TRY(Operand v, value(a));
            args.push_back(std::move(v));
        }
        return user_call(it->second, e, std::move(args), as_statement);
    }
    std::vector<Operand> args;
    args.reserve(e.args.size());
    const bool takes_pointers = e.name.starts_with("atomic") || e.name == "arrayLength";
    for (ast::ExprId a : ast_.list(e.args)) {
        WGSL_TRY(Operand v, takes_pointers ? expr(a) : value(a));
        if (v.type.kind == VType::Kind::Void) return fail(v.span, "expression has no value");
        args.push_back(std::move(v));
    }
    WGSL_TRY(auto constructed, construct(e, args));
    if (constructed) return std::move(*constructed);
    return builtin(e, std::move(args), as_statement);
}

Result<Operand> Lowerer::user_call(GlobalEntry& g, const ast::Expr& e, std::vector<Operand> args, bool as_statement) {
    if (!fn_) return fail(e.span, "function calls are not allowed in constant expressions");
    if (g.entry_point) return fail(e.span, "entry point '" + std::string(e.name) + "' cannot be called");
    if (g.state != GlobalEntry::State::Done) return fail(e.span, "internal: callee not lowered yet");
    const ir::Function& callee = m_.functions[g.function];
    if (args.size() != callee.arguments.size())
        return fail(e.span, "'" + std::string(e.name) + "' takes " + std::to_string(callee.arguments.size()) +
                                " arguments, found " + std::to_string(args.size()));
    std::vector<ir::Handle<ir::Expression>> handles;
    for (size_t i = 0; i < args.size(); ++i) {
        WGSL_TRY(Operand a, coerce(std::move(args[i]), vtype_of(m_.types, callee.arguments[i].type), "argument"));
        WGSL_TRY(auto h, materialize(a));
        handles.push_back(h);
    }
    flush(e.span);
    std::optional<ir::Handle<ir::Expression>> result;
    VType rt;
    if (callee.result) {
        rt = vtype_of(m_.types, callee.result->type);
        result = arena().append(ir::expr::CallResult{g.function}, e.span);
    } else if (!as_statement) {
        return fail(e.span, "function '" + std::string(e.name) + "' does not return a value");
    }
    fn_->block->push(ir::stmt::Call{g.function, std::move(handles), result}, e.span);
    restart();
    Operand out;
    out.type = rt;
    out.span = e.span;
    if (result) out.handle = *result;
    return out;
}

Result<Operand> Lowerer::conversion(const VType& target, Operand arg, Span span) {
    if (!(arg.type.is_numeric_leaf()) || arg.type.kind != target.kind ||
        (target.is_vector() && target.size != arg.type.size))
        return fail(span, "cannot convert " + name_of(arg.type) + " to " + name_of(target));
    if (arg.type == target) return arg;
    if (arg.value) {
        WGSL_TRY(ConstValue v, convert_value(*arg.value, target.scalar, true, span));
        Operand out;
        out.type = target;
        out.value = std::move(v);
        out.span = span;
        return out;
    }
    const auto h = append(ir::expr::As{arg.handle, target.scalar.kind, target.scalar.width, true}, span);
    return runtime(target, h, span);
}

Result<std::optional<Operand>> Lowerer::construct(const ast::Expr& e, std::vector<Operand> args) {
    WGSL_TRY(auto maybe_type, type_from_name(e.name, ast_.list(e.templ), e.span, true));
    if (!maybe_type) return std::optional<Operand>();
    VType t = *maybe_type;
    const bool partial = e.templ.empty() && (e.name == "vec2" || e.name == "vec3" || e.name == "vec4" ||
                                             e.name == "array" || (e.name.size() == 6 && e.name.starts_with("mat")));
    const Span span = e.span;
    if (t.kind == VType::Kind::Pointer) return fail(span, "pointers cannot be constructed");
    // Partial types take their component type from the arguments.
    if (partial) {
        if (args.empty()) return fail(span, "'" + std::string(e.name) + "' without template needs arguments");
        std::vector<Operand*> ptrs;
        for (auto& a : args) ptrs.push_back(&a);
        WGSL_CHECK(unify_abstract(ptrs, span));
        if (t.kind == VType::Kind::Void) {  // array(...)
            VType elem = concretize(args[0].type);
            for (auto& a : args) {
                WGSL_TRY(a, coerce(std::move(a), elem, "array element"));
            }
            const ir::Handle<ir::Type> eh = intern(elem);
            const Layout l = layout_of(m_.types, eh);
            t = VType::named(interner_.intern(
                ir::type::Array{eh, {ir::ArraySize::Kind::Constant, static_cast<uint32_t>(args.size())},
                                round_up(l.align, l.size)}));
        } else {
            if (!args[0].type.is_numeric_leaf() && !args[0].type.is_matrix())
                return fail(span, "invalid constructor argument " + name_of(args[0].type));
            ir::Scalar s = args[0].type.scalar;
            if (t.is_matrix() && s.kind == ir::ScalarKind::AbstractInt) s = ir::Scalar::abstract_float();
            t = t.with_scalar(s);
        }
    }
    if (args.empty()) {
        if (t.kind == VType::Kind::Named) {
            const auto& inner = m_.types[t.handle].inner;
            if (std::holds_alternative<ir::type::Atomic>(inner)) return fail(span, "atomics cannot be constructed");
            if (auto* a = std::get_if<ir::type::Array>(&inner); a && a->size.kind == ir::ArraySize::Kind::Dynamic)
                return fail(span, "runtime-sized arrays cannot be constructed");
        }
        Operand out;
        out.type = t;
        out.value = zero_value(m_.types, t);
        out.span = span;
        return std::optional<Operand>(std::move(out));
    }
    // Scalar conversion.
    if (t.is_scalar()) {
        if (args.size() != 1) return fail(span, "conversion takes one argument");
        WGSL_TRY(Operand r, conversion(t, std::move(args[0]), span));
        return std::optional<Operand>(std::move(r));
    }
    if (t.is_vector()) {
        // Splat or conversion from one argument.
        if (args.size() == 1 && args[0].type.is_vector()) {
            WGSL_TRY(Operand r, conversion(t, std::move(args[0]), span));
            return std::optional<Operand>(std::move(r));
        }
        const VType st = VType::scalar_of(t.scalar);
        if (args.size() == 1) {
            WGSL_TRY(Operand a, coerce(std::move(args[0]), st, "vector component"));
            WGSL_TRY(Operand r, splat_to(std::move(a), t.size, span));
            r.type = t;
            return std::optional<Operand>(std::move(r));
        }
        uint32_t count = 0;
        bool all_const = true;
        for (auto& a : args) {
            if (a.type.is_vector()) {
                WGSL_TRY(a, coerce(std::move(a), VType::vector_of(a.type.size, t.scalar), "vector component"));
                count += static_cast<uint32_t>(a.type.size);
            } else {
                WGSL_TRY(a, coerce(std::move(a), st, "vector component"));
                ++count;
            }
            all_const = all_const && a.value.has_value();
        }
        if (count != static_cast<uint32_t>(t.size))
            return fail(span, name_of(t) + " needs " + std::to_string(static_cast<int>(t.size)) + " components, found " +
                                  std::to_string(count));
        Operand out;
        out.type = t;
        out.span = span;
        if (all_const) {
            ConstValue v;
            v.type = t;
            for (auto& a : args) {
                if (a.value->elems.empty()) v.elems.push_back(*a.value);
                else for (auto& c : a.value->elems) v.elems.push_back(c);
            }
            out.value = std::move(v);
            return std::optional<Operand>(std::move(out));
        }
        const VType ct = concretize(t);
        std::vector<ir::Handle<ir::Expression>> comps;
        for (auto& a : args) {
            WGSL_TRY(auto h, materialize(a));
            comps.push_back(h);
        }
        out.type = ct;
        out.handle = append(ir::expr::Compose{intern(ct), std::move(comps)}, span);
        return std::optional<Operand>(std::move(out));
    }
    std::vector<VType> elem_types;
    if (t.is_matrix()) {
        const VType col = VType::vector_of(t.rows, t.scalar);
        const uint32_t cols = static_cast<uint32_t>(t.size), rows = static_cast<uint32_t>(t.rows);
        if (args.size() == 1 && args[0].type.is_matrix()) {
            if (args[0].type.size == t.size && args[0].type.rows == t.rows) {
                WGSL_TRY(Operand r, coerce(std::move(args[0]), t, "matrix"));
                return std::optional<Operand>(std::move(r));
            }
            return fail(span, "cannot convert " + name_of(args[0].type) + " to " + name_of(t));
        }
        if (args.size() == cols * rows && cols * rows != cols) {
            // Scalars in column-major order: group them into columns.
            std::vector<Operand> columns;
            for (uint32_t c = 0; c < cols; ++c) {
                std::vector<Operand> comps(args.begin() + c * rows, args.begin() + (c + 1) * rows);
                bool all_const = true;
                for (auto& a : comps) {
                    WGSL_TRY(a, coerce(std::move(a), VType::scalar_of(t.scalar), "matrix component"));
                    all_const = all_const && a.value.has_value();
                }
                Operand colop;
                colop.type = col;
                colop.span = span;
                if (all_const) {
                    ConstValue v;
                    v.type = col;
                    for (auto& a : comps) v.elems.push_back(*a.value);
                    colop.value = std::move(v);
                } else {
                    std::vector<ir::Handle<ir::Expression>> hs;
                    for (auto& a : comps) {
                        WGSL_TRY(auto h, materialize(a));
                        hs.push_back(h);
                    }
                    colop.type = concretize(col);
                    colop.handle = append(ir::expr::Compose{intern(colop.type), std::move(hs)}, span);
                }
                columns.push_back(std::move(colop));
            }
            args = std::move(columns);
        }
        if (args.size() != cols) return fail(span, name_of(t) + " needs " + std::to_string(cols) + " columns");
        elem_types.assign(cols, col);
    } else if (t.kind == VType::Kind::Named) {
        const auto& inner = m_.types[t.handle].inner;
        if (auto* a = std::get_if<ir::type::Array>(&inner)) {
            if (a->size.kind != ir::ArraySize::Kind::Constant) return fail(span, "runtime-sized arrays cannot be constructed");
            if (args.size() != a->size.count)
                return fail(span, name_of(t) + " needs " + std::to_string(a->size.count) + " elements, found " +
                                      std::to_string(args.size()));
            elem_types.assign(args.size(), vtype_of(m_.types, a->base));
        } else if (auto* s = std::get_if<ir::type::Struct>(&inner)) {
            if (args.size() != s->members.size())
                return fail(span, name_of(t) + " has " + std::to_string(s->members.size()) + " members, found " +
                                      std::to_string(args.size()) + " arguments");
            for (const auto& m : s->members) elem_types.push_back(vtype_of(m_.types, m.type));
        } else {
            return fail(span, name_of(t) + " cannot be constructed");
        }
    } else {
        return fail(span, name_of(t) + " cannot be constructed");
    }
    bool all_const = true;
    for (size_t i = 0; i < args.size(); ++i) {
        WGSL_TRY(args[i], coerce(std::move(args[i]), elem_types[i], "component"));
        all_const = all_const && args[i].value.has_value();
    }
    Operand out;
    out.type = t;
    out.span = span;
    if (all_const) {
        ConstValue v;
        v.type = t;
        for (auto& a : args) v.elems.push_back(*a.value);
        out.value = std::move(v);
        return std::optional<Operand>(std::move(out));
    }
    const VType ct = concretize(t);
    std::vector<ir::Handle<ir::Expression>> comps;
    for (auto& a : args) {
        WGSL_TRY(auto h, materialize(a, a.value ? std::optional<VType>(concretize(a.type)) : std::nullopt));
        comps.push_back(h);
    }
    out.type = ct;
    out.handle = append(ir::expr::Compose{intern(ct), std::move(comps)}, span);
    return std::optional<Operand>(std::move(out));
}

Result<Operand> Lowerer::math(ir::MathFunction fun, std::vector<Operand> args, Span span) {
    const MathInfo* info = &math_info(fun);
    if (args.size() != info->args)
        return fail(span, std::string(math_function_name(fun)) + " takes " + std::to_string(info->args) +
                              " arguments, found " + std::to_string(args.size()));
    // Arguments that share the first argument's type; the others have fixed types.
    std::vector<Operand*> same{&args[0]};
    std::vector<std::pair<size_t, VType>> fixed;
    const VType a0 = args[0].type;
    auto shape_of = [&](ir::Scalar s) { return a0.with_scalar(s); };
    switch (fun) {
        case M::Ldexp: fixed.push_back({1, shape_of(ir::Scalar::i32())}); break;
        case M::ExtractBits:
            fixed.push_back({1, VType::scalar_of(ir::Scalar::u32())});
            fixed.push_back({2, VType::scalar_of(ir::Scalar::u32())});
            break;
        case M::InsertBits:
            same.push_back(&args[1]);
            fixed.push_back({2, VType::scalar_of(ir::Scalar::u32())});
            fixed.push_back({3, VType::scalar_of(ir::Scalar::u32())});
            break;
        case M::Refract:
            same.push_back(&args[1]);
            break;
        case M::Mix:
        case M::SmoothStep:
        case M::Clamp:
            same.push_back(&args[1]);
            same.push_back(&args[2]);
            break;
        default:
            for (size_t i = 1; i < args.size(); ++i) same.push_back(&args[i]);
            break;
    }
    if (info->kind == ArgKind::Float || info->kind == ArgKind::FloatVec || fun == M::Refract) {
        for (Operand* o : same)
            if (o->type.is_abstract() && o->type.scalar.kind == ir::ScalarKind::AbstractInt) {
                WGSL_TRY(ConstValue v, convert_value(*o->value, ir::Scalar::abstract_float(), false, o->span));
                o->value = std::move(v);
                o->type = o->type.with_scalar(ir::Scalar::abstract_float());
            }
    }
    if (fun == M::Mix && args[2].type.is_scalar() && args[0].type.is_vector()) {
        same.pop_back();  // mix(vecN, vecN, scalar)
        fixed.push_back({2, VType{}});
    }
    if (fun == M::Refract) fixed.push_back({2, VType{}});
    WGSL_CHECK(unify_abstract(same, span));
    const VType t = args[0].type;
    for (Operand* o : same)
        if (!(o->type == t))
            return fail(span, std::string(math_function_name(fun)) + ": arguments of different types " + name_of(t) +
                                  " and " + name_of(o->type));
    for (auto& [i, ft] : fixed) {
        if (ft.kind == VType::Kind::Void) {  // a float scalar of the first argument's kind
            WGSL_TRY(args[i], coerce(std::move(args[i]), VType::scalar_of(t.is_abstract() ? ir::Scalar::f32() : t.scalar), "argument"));
        } else {
            WGSL_TRY(args[i], coerce(std::move(args[i]), ft, "argument"));
        }
    }
    const ir::Scalar s = t.scalar;
    bool ok = true;
    switch (info->kind) {
        case ArgKind::Float: ok = t.is_numeric_leaf() && s.is_float(); break;
        case ArgKind::FloatVec: ok = t.is_vector() && s.is_float(); break;
        case ArgKind::Numeric: ok = t.is_numeric_leaf() && s.kind != ir::ScalarKind::Bool; break;
        case ArgKind::Signed: ok = t.is_numeric_leaf() && (s.is_float() || s.kind == ir::ScalarKind::Sint || s.kind == ir::ScalarKind::AbstractInt); break;
        case ArgKind::Integer: ok = t.is_numeric_leaf() && s.is_integer(); break;
        case ArgKind::Matrix: ok = t.is_matrix(); break;
        case ArgKind::Packed: ok = true; break;
    }
    if (fun == M::Dot && !t.is_vector()) ok = false;
    if (fun == M::Cross && t.size != ir::VectorSize::Tri) ok = false;
    if (fun == M::Determinant && t.size != t.rows) ok = false;
    if (info->kind == ArgKind::Packed) {
        WGSL_TRY(args[0], coerce(std::move(args[0]),
                                 [&] {
                                     switch (fun) {
                                         case M::Pack4x8snorm:
                                         case M::Pack4x8unorm: return VType::vector_of(ir::VectorSize::Quad, ir::Scalar::f32());
                                         case M::Pack2x16snorm:
                                         case M::Pack2x16unorm:
                                         case M::Pack2x16float: return VType::vector_of(ir::VectorSize::Bi, ir::Scalar::f32());
                                         default: return VType::scalar_of(ir::Scalar::u32());
                                     }
                                 }(),
                                 "argument"));
        if (args.size() == 2) {
            WGSL_TRY(args[1], coerce(std::move(args[1]), VType::scalar_of(ir::Scalar::u32()), "argument"));
        }
    }
    if (!ok) return fail(span, std::string(math_function_name(fun)) + " does not accept " + name_of(t));
    VType rt = args[0].type;
    switch (info->result) {
        case ResultKind::Same: break;
        case ResultKind::Scalar: rt = VType::scalar_of(t.scalar); break;
        case ResultKind::Transpose: rt = VType::matrix_of(t.rows, t.size, t.scalar); break;
        case ResultKind::U32: rt = VType::scalar_of(ir::Scalar::u32()); break;
        case ResultKind::I32: rt = VType::scalar_of(ir::Scalar::i32()); break;
        case ResultKind::Vec4F32: rt = VType::vector_of(ir::VectorSize::Quad, ir::Scalar::f32()); break;
        case ResultKind::Vec2F32: rt = VType::vector_of(ir::VectorSize::Bi, ir::Scalar::f32()); break;
    }
    bool all_const = true;
    for (auto& a : args) all_const = all_const && a.value.has_value();
    if (all_const) {
        std::vector<ConstValue> vals;
        for (auto& a : args) vals.push_back(*a.value);
        WGSL_TRY(auto v, eval_math(fun, vals, rt, span));
        if (v) {
            Operand out;
            out.type = rt;
            out.value = std::move(*v);
            out.span = span;
            return out;
        }
    }
    std::vector<ir::Handle<ir::Expression>> hs;
    for (auto& a : args) {
        WGSL_TRY(auto h, materialize(a));
        hs.push_back(h);
    }
    ir::expr::Math mx{fun, hs[0], std::nullopt, std::nullopt, std::nullopt};
    if (hs.size() > 1) mx.arg1 = hs[1];
    if (hs.size() > 2) mx.arg2 = hs[2];
    if (hs.size() > 3) mx.arg3 = hs[3];
    return runtime(concretize(rt), append(mx, span), span);
}

Result<Operand> Lowerer::builtin(const ast::Expr& e, std::vector<Operand> args, bool as_statement) {
    const std::string_view name = e.name;
    const Span span = e.span;
    if (const MathInfo* mi = math_by_name(name)) {
        if (!e.templ.empty()) return fail(span, "'" + std::string(name) + "' takes no template arguments");
        return math(mi->fun, std::move(args), span);
    }
    if (name.starts_with("atomic")) return atomic(e, std::move(args), as_statement);
    if (name == "workgroupBarrier" || name == "storageBarrier") {
        if (!fn_) return fail(span, "barriers are not allowed in constant expressions");
        if (!args.empty()) return fail(span, "'" + std::string(name) + "' takes no arguments");
        if (!as_statement) return fail(span, "'" + std::string(name) + "' does not return a value");
        WGSL_CHECK(push(ir::stmt::Barrier{static_cast<uint8_t>(name == "workgroupBarrier" ? ir::BarrierWorkGroup
                                                                                           : ir::BarrierStorage)},
                        span));
        return Operand{};
    }
    if (name == "select") {
        if (args.size() != 3) return fail(span, "select takes 3 arguments");
        Operand* pair[] = {&args[0], &args[1]};
        WGSL_CHECK(unify_abstract(pair, span));
        if (!(args[0].type == args[1].type)) return fail(span, "select: arguments of different types");
        const VType& c = args[2].type;
        const VType& t = args[0].type;
        if (!c.is_numeric_leaf() || c.scalar.kind != ir::ScalarKind::Bool ||
            (c.is_vector() && (!t.is_vector() || t.size != c.size)))
            return fail(span, "select: condition must be bool or a bool vector of the values' size");
        if (args[0].value && args[1].value && args[2].value) {
            WGSL_TRY(auto v, eval_select(*args[0].value, *args[1].value, *args[2].value, span));
            Operand out;
            out.type = t;
            out.value = std::move(*v);
            out.span = span;
            return out;
        }
        WGSL_TRY(auto reject, materialize(args[0]));
        WGSL_TRY(auto accept, materialize(args[1]));
        WGSL_TRY(auto cond, materialize(args[2]));
        return runtime(concretize(t), append(ir::expr::Select{cond, accept, reject}, span), span);
    }
    if (name == "all" || name == "any") {
        if (args.size() != 1) return fail(span, std::string(name) + " takes one argument");
        if (!args[0].type.is_numeric_leaf() || args[0].type.scalar.kind != ir::ScalarKind::Bool)
            return fail(span, std::string(name) + " needs bool or a bool vector");
        const auto fun = name == "all" ? ir::RelationalFunction::All : ir::RelationalFunction::Any;
        if (args[0].value) {
            Operand out;
            out.type = VType::scalar_of(ir::Scalar::boolean());
            out.value = eval_relational(fun, *args[0].value);
            out.span = span;
            return out;
        }
        if (args[0].type.is_scalar()) return args[0];
        return runtime(VType::scalar_of(ir::Scalar::boolean()), append(ir::expr::Relational{fun, args[0].handle}, span), span);
    }
    if (name == "arrayLength") {
        if (args.size() != 1) return fail(span, "arrayLength takes one argument");
        Operand p = args[0];
        if (p.is_ref) return fail(span, "arrayLength needs a pointer: write arrayLength(&x)");
        if (p.type.kind != VType::Kind::Pointer) return fail(span, "arrayLength needs a pointer to a runtime-sized array");
        auto* a = std::get_if<ir::type::Array>(&m_.types[p.type.handle].inner);
        if (!a || a->size.kind != ir::ArraySize::Kind::Dynamic)
            return fail(span, "arrayLength needs a pointer to a runtime-sized array");
        return runtime(VType::scalar_of(ir::Scalar::u32()), append(ir::expr::ArrayLength{p.handle}, span), span);
    }
    if (name == "bitcast") {
        if (args.size() != 1) return fail(span, "bitcast takes one argument");
        WGSL_TRY(VType t, [&]() -> Result<VType> {
            if (e.templ.size() != 1) return fail(span, "bitcast needs a target type: bitcast<T>(x)");
            return resolve_type(ast_.list(e.templ)[0]);
        }());
        Operand a = std::move(args[0]);
        if (a.type.is_abstract()) {
            WGSL_TRY(a, coerce(std::move(a), concretize(a.type), "argument"));
        }
        const uint32_t an = a.type.is_vector() ? static_cast<uint32_t>(a.type.size) : 1;
        const uint32_t tn = t.is_vector() ? static_cast<uint32_t>(t.size) : 1;
        if (!t.is_numeric_leaf() || !a.type.is_numeric_leaf() || t.scalar.kind == ir::ScalarKind::Bool ||
            a.type.scalar.kind == ir::ScalarKind::Bool || an * a.type.scalar.width != tn * t.scalar.width ||
            an != tn)
            return fail(span, "cannot bitcast " + name_of(a.type) + " to " + name_of(t));
        WGSL_TRY(auto h, materialize(a));
        return runtime(t, append(ir::expr::As{h, t.scalar.kind, t.scalar.width, false}, span), span);
    }
    if (name == "workgroupUniformLoad")
        return fail(span, "workgroupUniformLoad is not supported by this translator");
    return fail(span, "unknown function '" + std::string(name) + "'");
}

Result<Operand> Lowerer::atomic(const ast::Expr& e, std::vector<Operand> args, bool as_statement) {
    const std::string_view name = e.name;
    const Span span = e.span;
    if (!fn_) return fail(span, "atomics are not allowed in constant expressions");
    static const std::unordered_map<std::string_view, ir::AtomicFunction> rmw = {
        {"atomicAdd", ir::AtomicFunction::Add},         {"atomicSub", ir::AtomicFunction::Subtract},
        {"atomicMax", ir::AtomicFunction::Max},         {"atomicMin", ir::AtomicFunction::Min},
        {"atomicAnd", ir::AtomicFunction::And},         {"atomicOr", ir::AtomicFunction::InclusiveOr},
        {"atomicXor", ir::AtomicFunction::ExclusiveOr}, {"atomicExchange", ir::AtomicFunction::Exchange},
        {"atomicCompareExchangeWeak", ir::AtomicFunction::Exchange},
    };
    const bool is_load = name == "atomicLoad", is_store = name == "atomicStore";
    const auto it = rmw.find(name);
    if (!is_load && !is_store && it == rmw.end()) return fail(span, "unknown function '" + std::string(name) + "'");
    const size_t want = is_load ? 1 : name == "atomicCompareExchangeWeak" ? 3 : 2;
    if (args.size() != want) return fail(span, std::string(name) + " takes " + std::to_string(want) + " arguments");
    Operand p = args[0];
    if (p.is_ref) return fail(span, std::string(name) + " needs a pointer: write " + std::string(name) + "(&x, ...)");
    if (p.type.kind != VType::Kind::Pointer) return fail(span, std::string(name) + " needs a pointer to an atomic");
    const auto* atp = std::get_if<ir::type::Atomic>(&m_.types[p.type.handle].inner);
    if (!atp) return fail(span, std::string(name) + " needs a pointer to an atomic, found " + name_of(p.type));
    const ir::type::Atomic at_copy = *atp;  // the type arena may grow below
    const ir::type::Atomic* at = &at_copy;
    if (p.type.space != ir::AddressSpace::Storage && p.type.space != ir::AddressSpace::WorkGroup)
        return fail(span, "atomics must live in storage or workgroup memory");
    const VType vt = VType::scalar_of(at->scalar);
    std::vector<ir::Handle<ir::Expression>> vals;
    for (size_t i = 1; i < args.size(); ++i) {
        WGSL_TRY(Operand v, load(std::move(args[i])));
        WGSL_TRY(v, coerce(std::move(v), vt, "atomic operand"));
        WGSL_TRY(auto h, materialize(v));
        vals.push_back(h);
    }
    if (is_load) return runtime(vt, append(ir::expr::Load{p.handle}, span), span);
    if (is_store) {
        if (!as_statement) return fail(span, "atomicStore does not return a value");
        WGSL_CHECK(push(ir::stmt::Store{p.handle, vals[0]}, span));
        return Operand{};
    }
    flush(span);
    ir::Handle<ir::Type> rt = intern(vt);
    VType result_type = vt;
    const bool cmp = name == "atomicCompareExchangeWeak";
    if (cmp) {
        const std::string sname = "__atomic_compare_exchange_result_" + scalar_name(at->scalar);
        std::optional<ir::Handle<ir::Type>> found;
        for (uint32_t i = 0; i < m_.types.size(); ++i)
            if (m_.types[m_.types.handle(i)].name == sname) found = m_.types.handle(i);
        if (!found) {
            ir::type::Struct s;
            s.members.push_back({"old_value", rt, std::nullopt, 0, std::nullopt, std::nullopt});
            s.members.push_back({"exchanged", intern(VType::scalar_of(ir::Scalar::boolean())), std::nullopt, 0,
                                 std::nullopt, std::nullopt});
            WGSL_CHECK(compute_struct_layout(m_.types, s, span));
            found = interner_.add_struct(sname, std::move(s), span);
        }
        rt = *found;
        result_type = VType::named(rt);
    }
    const auto result = arena().append(ir::expr::AtomicResult{rt, cmp}, span);
    ir::stmt::Atomic st{p.handle, it->second, cmp ? vals[1] : vals[0], std::nullopt, result};
    if (cmp) st.compare = vals[0];
    fn_->block->push(st, span);
    restart();
    return runtime(result_type, result, span);
}

}  // namespace trelliken::wgsl::lower

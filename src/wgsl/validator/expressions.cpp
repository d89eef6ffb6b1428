// Expression typing: the type of every expression from the types of its operands, with WGSL's rules on
// operands.

#include "wgsl/common/builtins.h"
#include "wgsl/common/try.h"
#include "wgsl/validator/validator_impl.h"

namespace trelliken::wgsl::validation {

using namespace ir::type;
using ir::Handle;

namespace {

struct Shape {
    enum Kind { Other, Scalar, Vector, Matrix } kind = Other;
    ir::Scalar scalar{};
    ir::VectorSize size = ir::VectorSize::Bi;  // vector size or columns
    ir::VectorSize rows = ir::VectorSize::Bi;
};

Shape shape_of(const ir::TypeInner& t) {
    if (auto* s = std::get_if<ir::type::Scalar>(&t)) return {Shape::Scalar, s->scalar};
    if (auto* v = std::get_if<ir::type::Vector>(&t)) return {Shape::Vector, v->scalar, v->size};
    if (auto* m = std::get_if<ir::type::Matrix>(&t)) return {Shape::Matrix, m->scalar, m->columns, m->rows};
    return {};
}

bool same_shape(const Shape& a, const Shape& b) {
    return a.kind == b.kind && a.scalar == b.scalar && (a.kind == Shape::Scalar || a.size == b.size) &&
           (a.kind != Shape::Matrix || a.rows == b.rows);
}

ir::TypeInner make(const Shape& s) {
    if (s.kind == Shape::Vector) return Vector{s.size, s.scalar};
    if (s.kind == Shape::Matrix) return Matrix{s.size, s.rows, s.scalar};
    return ir::type::Scalar{s.scalar};
}

}  // namespace

Result<std::vector<Handle<ir::Type>>> Validator::resolve_all(const ir::Arena<ir::Expression>& arena,
                                                             const ir::Function* fn, bool global) {
    std::vector<Handle<ir::Type>> types;
    types.reserve(arena.size());
    for (uint32_t i = 0; i < arena.size(); ++i) {
        WGSL_TRY(auto t, resolve(arena, arena.handle(i), types, fn, global));
        types.push_back(t);
    }
    return types;
}

Result<Handle<ir::Type>> Validator::resolve(const ir::Arena<ir::Expression>& arena, Handle<ir::Expression> h,
                                            const std::vector<Handle<ir::Type>>& types, const ir::Function* fn,
                                            bool global) {
    const ir::Expression& e = arena[h];
    const Span span = arena.span(h);
    // Operands come first.
    bool backwards = true;
    ir::for_each_operand(e, [&](Handle<ir::Expression> o) { backwards = backwards && o.index < h.index; });
    if (!backwards) return fail(span, "expression [" + std::to_string(h.index) + "] refers to a later expression");
    auto ty = [&](Handle<ir::Expression> o) -> const ir::TypeInner& { return inner(types[o.index]); };
    auto tyh = [&](Handle<ir::Expression> o) { return types[o.index]; };
    auto bad = [&](const std::string& msg) { return fail(span, msg); };
    auto check_type = [&](Handle<ir::Type> t) -> Result<void> {
        if (!m_.types.contains(t)) return bad("expression refers to an invalid type");
        return {};
    };
    if (global) {
        const bool allowed = e.is<ir::expr::Literal>() || e.is<ir::expr::Constant>() || e.is<ir::expr::Override>() ||
                             e.is<ir::expr::ZeroValue>() || e.is<ir::expr::Compose>() || e.is<ir::expr::Splat>() ||
                             e.is<ir::expr::Unary>() || e.is<ir::expr::Binary>() || e.is<ir::expr::Select>() ||
                             e.is<ir::expr::Math>() || e.is<ir::expr::As>() || e.is<ir::expr::AccessIndex>() ||
                             e.is<ir::expr::Relational>() || e.is<ir::expr::Swizzle>();
        if (!allowed) return bad("this kind of expression is not allowed at module scope");
    }

    if (auto* lit = e.as<ir::expr::Literal>()) {
        WGSL_CHECK(check_scalar(lit->scalar(), span, "literal"));
        return intern(ir::type::Scalar{lit->scalar()});
    }
    if (auto* c = e.as<ir::expr::Constant>()) {
        if (!m_.constants.contains(c->constant)) return bad("invalid constant handle");
        return m_.constants[c->constant].type;
    }
    if (auto* o = e.as<ir::expr::Override>()) {
        if (!m_.overrides.contains(o->override_)) return bad("invalid override handle");
        return m_.overrides[o->override_].type;
    }
    if (auto* z = e.as<ir::expr::ZeroValue>()) {
        WGSL_CHECK(check_type(z->type));
        if (!is_constructible(z->type)) return bad("zero value of a type that cannot be constructed");
        return z->type;
    }
    if (auto* c = e.as<ir::expr::Compose>()) {
        WGSL_CHECK(check_type(c->type));
        const ir::TypeInner& t = inner(c->type);
        auto mismatch = [&](size_t i) {
            return bad("component " + std::to_string(i) + " of " + name(c->type) + " has type " +
                       name(tyh(c->components[i])));
        };
        if (auto* v = std::get_if<Vector>(&t)) {
            uint32_t n = 0;
            for (size_t i = 0; i < c->components.size(); ++i) {
                const Shape s = shape_of(ty(c->components[i]));
                if (s.scalar != v->scalar || (s.kind != Shape::Scalar && s.kind != Shape::Vector)) return mismatch(i);
                n += s.kind == Shape::Scalar ? 1 : static_cast<uint32_t>(s.size);
            }
            if (n != static_cast<uint32_t>(v->size)) return bad("wrong number of components for " + name(c->type));
        } else if (auto* m = std::get_if<Matrix>(&t)) {
            if (c->components.size() != static_cast<size_t>(m->columns)) return bad("wrong number of columns");
            for (size_t i = 0; i < c->components.size(); ++i)
                if (!(ty(c->components[i]) == ir::TypeInner(Vector{m->rows, m->scalar}))) return mismatch(i);
        } else if (auto* a = std::get_if<Array>(&t)) {
            if (a->size.kind != ir::ArraySize::Kind::Constant || c->components.size() != a->size.count)
                return bad("wrong number of elements for " + name(c->type));
            for (size_t i = 0; i < c->components.size(); ++i)
                if (tyh(c->components[i]) != a->base && !(ty(c->components[i]) == inner(a->base))) return mismatch(i);
        } else if (auto* s = std::get_if<Struct>(&t)) {
            if (c->components.size() != s->members.size()) return bad("wrong number of members for " + name(c->type));
            for (size_t i = 0; i < c->components.size(); ++i)
                if (tyh(c->components[i]) != s->members[i].type &&
                    !(ty(c->components[i]) == inner(s->members[i].type)))
                    return mismatch(i);
        } else {
            return bad("cannot compose " + name(c->type));
        }
        if (!is_constructible(c->type)) return bad("cannot compose " + name(c->type));
        return c->type;
    }
    if (auto* a = e.is<ir::expr::Access>() ? e.as<ir::expr::Access>() : nullptr; a || e.is<ir::expr::AccessIndex>()) {
        const Handle<ir::Expression> base = a ? a->base : e.as<ir::expr::AccessIndex>()->base;
        std::optional<uint32_t> index;
        if (a) {
            const Shape is = shape_of(ty(a->index));
            if (is.kind != Shape::Scalar || (is.scalar != ir::Scalar::i32() && is.scalar != ir::Scalar::u32()))
                return bad("index must be i32 or u32, found " + name(tyh(a->index)));
        } else {
            index = e.as<ir::expr::AccessIndex>()->index;
        }
        // Interning below may grow the type arena, so keep copies rather than references into it.
        const ir::TypeInner* bt = &ty(base);
        std::optional<Pointer> ptr;
        if (auto* p = std::get_if<Pointer>(bt)) ptr = *p;
        if (ptr) bt = &inner(ptr->base);
        Handle<ir::Type> elem;
        std::optional<uint32_t> bound;
        if (auto* v = std::get_if<Vector>(bt)) {
            bound = static_cast<uint32_t>(v->size);
            elem = intern(ir::type::Scalar{v->scalar});
        } else if (auto* m = std::get_if<Matrix>(bt)) {
            bound = static_cast<uint32_t>(m->columns);
            elem = intern(Vector{m->rows, m->scalar});
        } else if (auto* arr = std::get_if<Array>(bt)) {
            elem = arr->base;
            if (arr->size.kind == ir::ArraySize::Kind::Constant) bound = arr->size.count;
            else if (!ptr) return bad("runtime-sized arrays can only be indexed through a pointer");
        } else if (auto* s = std::get_if<Struct>(bt)) {
            if (!index) return bad("struct members need a constant index");
            bound = static_cast<uint32_t>(s->members.size());
            if (*index < *bound) elem = s->members[*index].type;
        } else {
            return bad("cannot index " + name(ptr ? ptr->base : tyh(base)));
        }
        if (index && bound && *index >= *bound) return bad("index " + std::to_string(*index) + " out of bounds");
        if (ptr) return intern(Pointer{elem, ptr->space, ptr->access});
        return elem;
    }
    if (auto* s = e.as<ir::expr::Splat>()) {
        const Shape vs = shape_of(ty(s->value));
        if (vs.kind != Shape::Scalar) return bad("splat needs a scalar");
        return intern(Vector{s->size, vs.scalar});
    }
    if (auto* s = e.as<ir::expr::Swizzle>()) {
        const Shape vs = shape_of(ty(s->vector));
        if (vs.kind != Shape::Vector) return bad("swizzle needs a vector");
        for (int i = 0; i < static_cast<int>(s->size); ++i)
            if (s->pattern[i] >= static_cast<uint8_t>(vs.size)) return bad("swizzle component out of range");
        return intern(Vector{s->size, vs.scalar});
    }
    if (auto* a = e.as<ir::expr::FunctionArgument>()) {
        if (!fn || a->index >= fn->arguments.size()) return bad("invalid function argument index");
        return fn->arguments[a->index].type;
    }
    if (auto* g = e.as<ir::expr::GlobalVariable>()) {
        if (!m_.global_variables.contains(g->variable)) return bad("invalid global variable handle");
        const ir::GlobalVariable& v = m_.global_variables[g->variable];
        return intern(Pointer{v.type, v.space, v.access});
    }
    if (auto* l = e.as<ir::expr::LocalVariable>()) {
        if (!fn || !fn->local_variables.contains(l->variable)) return bad("invalid local variable handle");
        return intern(Pointer{fn->local_variables[l->variable].type, ir::AddressSpace::Function, ir::AccessMode::ReadWrite});
    }
    if (auto* l = e.as<ir::expr::Load>()) {
        const Pointer* p = std::get_if<Pointer>(&ty(l->pointer));
        if (!p) return bad("load needs a pointer, found " + name(tyh(l->pointer)));
        if (p->access == ir::AccessMode::Write) return bad("cannot read through a write-only pointer");
        if (auto* at = std::get_if<Atomic>(&inner(p->base))) return intern(ir::type::Scalar{at->scalar});
        if (!is_constructible(p->base)) return bad("cannot load a value of type " + name(p->base));
        return p->base;
    }
    if (auto* u = e.as<ir::expr::Unary>()) {
        const Shape s = shape_of(ty(u->expr));
        const bool ok = u->op == ir::UnaryOperator::Negate
                            ? s.kind != Shape::Other && (s.scalar.is_float() || s.scalar.kind == ir::ScalarKind::Sint)
                        : u->op == ir::UnaryOperator::LogicalNot
                            ? (s.kind == Shape::Scalar || s.kind == Shape::Vector) && s.scalar.kind == ir::ScalarKind::Bool
                            : (s.kind == Shape::Scalar || s.kind == Shape::Vector) && s.scalar.is_integer();
        if (!ok) return bad("invalid operand " + name(tyh(u->expr)) + " for a unary operator");
        return tyh(u->expr);
    }
    if (auto* b = e.as<ir::expr::Binary>()) {
        using B = ir::BinaryOperator;
        const Shape l = shape_of(ty(b->left)), r = shape_of(ty(b->right));
        auto mismatch = [&] {
            return bad("invalid operands " + name(tyh(b->left)) + " and " + name(tyh(b->right)) + " for a binary operator");
        };
        if (l.kind == Shape::Other || r.kind == Shape::Other) return mismatch();
        switch (b->op) {
            case B::ShiftLeft:
            case B::ShiftRight:
                if (l.kind == Shape::Matrix || !l.scalar.is_integer() || r.scalar != ir::Scalar::u32() ||
                    l.kind != r.kind || (l.kind == Shape::Vector && l.size != r.size))
                    return mismatch();
                return tyh(b->left);
            default: break;
        }
        if (l.scalar != r.scalar) return mismatch();
        switch (b->op) {
            case B::Multiply:
                if (l.scalar.kind == ir::ScalarKind::Bool) return mismatch();
                if (same_shape(l, r) && l.kind != Shape::Matrix) return tyh(b->left);
                if (l.kind == Shape::Scalar) return tyh(b->right);
                if (r.kind == Shape::Scalar) return tyh(b->left);
                if (l.kind == Shape::Matrix && r.kind == Shape::Vector && l.size == r.size)
                    return intern(Vector{l.rows, l.scalar});
                if (l.kind == Shape::Vector && r.kind == Shape::Matrix && l.size == r.rows)
                    return intern(Vector{r.size, l.scalar});
                if (l.kind == Shape::Matrix && r.kind == Shape::Matrix && l.size == r.rows)
                    return intern(Matrix{r.size, l.rows, l.scalar});
                return mismatch();
            case B::Add:
            case B::Subtract:
            case B::Divide:
            case B::Modulo:
                if (l.scalar.kind == ir::ScalarKind::Bool || !same_shape(l, r)) return mismatch();
                if (l.kind == Shape::Matrix && (b->op == B::Divide || b->op == B::Modulo)) return mismatch();
                return tyh(b->left);
            case B::Equal:
            case B::NotEqual:
            case B::Less:
            case B::LessEqual:
            case B::Greater:
            case B::GreaterEqual: {
                if (!same_shape(l, r) || l.kind == Shape::Matrix) return mismatch();
                if (l.scalar.kind == ir::ScalarKind::Bool && b->op != B::Equal && b->op != B::NotEqual) return mismatch();
                Shape out = l;
                out.scalar = ir::Scalar::boolean();
                return intern(make(out));
            }
            case B::And:
            case B::InclusiveOr:
            case B::ExclusiveOr:
                if (!same_shape(l, r) || l.kind == Shape::Matrix ||
                    !(l.scalar.is_integer() || l.scalar.kind == ir::ScalarKind::Bool))
                    return mismatch();
                return tyh(b->left);
            case B::LogicalAnd:
            case B::LogicalOr:
                if (l.kind != Shape::Scalar || !same_shape(l, r) || l.scalar.kind != ir::ScalarKind::Bool) return mismatch();
                return tyh(b->left);
            default: return mismatch();
        }
    }
    if (auto* s = e.as<ir::expr::Select>()) {
        const Shape c = shape_of(ty(s->condition)), a = shape_of(ty(s->accept));
        if (tyh(s->accept) != tyh(s->reject) && !(ty(s->accept) == ty(s->reject)))
            return bad("select between different types " + name(tyh(s->accept)) + " and " + name(tyh(s->reject)));
        if (c.scalar.kind != ir::ScalarKind::Bool || (c.kind != Shape::Scalar && c.kind != Shape::Vector) ||
            (c.kind == Shape::Vector && (a.kind != Shape::Vector || a.size != c.size)))
            return bad("select condition must be bool or a bool vector of the values' size");
        if (!is_constructible(tyh(s->accept))) return bad("select needs constructible values");
        return tyh(s->accept);
    }
    if (auto* r = e.as<ir::expr::Relational>()) {
        const Shape s = shape_of(ty(r->argument));
        if (s.kind != Shape::Vector || s.scalar.kind != ir::ScalarKind::Bool) return bad("all/any need a bool vector");
        return intern(ir::type::Scalar{ir::Scalar::boolean()});
    }
    if (auto* mth = e.as<ir::expr::Math>()) {
        const MathInfo& info = math_info(mth->fun);
        std::vector<Handle<ir::Expression>> args{mth->arg};
        for (auto o : {mth->arg1, mth->arg2, mth->arg3})
            if (o) args.push_back(*o);
        if (args.size() != info.args)
            return bad(std::string(info.name) + " takes " + std::to_string(info.args) + " arguments");
        const Shape s = shape_of(ty(args[0]));
        const bool leaf = s.kind == Shape::Scalar || s.kind == Shape::Vector;
        bool ok = true;
        switch (info.kind) {
            case MathArgs::Float: ok = leaf && s.scalar.is_float(); break;
            case MathArgs::FloatVec: ok = s.kind == Shape::Vector && s.scalar.is_float(); break;
            case MathArgs::Numeric: ok = leaf && s.scalar.kind != ir::ScalarKind::Bool; break;
            case MathArgs::Signed: ok = leaf && (s.scalar.is_float() || s.scalar.kind == ir::ScalarKind::Sint); break;
            case MathArgs::Integer: ok = leaf && s.scalar.is_integer(); break;
            case MathArgs::Matrix: ok = s.kind == Shape::Matrix; break;
            case MathArgs::Packed: ok = true; break;
        }
        using M = ir::MathFunction;
        if (mth->fun == M::Dot && s.kind != Shape::Vector) ok = false;
        if (mth->fun == M::Cross && s.size != ir::VectorSize::Tri) ok = false;
        if (mth->fun == M::Determinant && s.size != s.rows) ok = false;
        if (!ok) return bad(std::string(info.name) + " does not accept " + name(tyh(args[0])));
        // Arguments that must match the first.
        for (size_t i = 1; i < args.size(); ++i) {
            const Shape si = shape_of(ty(args[i]));
            bool fine = same_shape(si, s);
            switch (mth->fun) {
                case M::Ldexp: fine = si.scalar == ir::Scalar::i32() && si.kind == s.kind && (s.kind != Shape::Vector || si.size == s.size); break;
                case M::ExtractBits: fine = si.kind == Shape::Scalar && si.scalar == ir::Scalar::u32(); break;
                case M::InsertBits: fine = i == 1 ? same_shape(si, s) : si.kind == Shape::Scalar && si.scalar == ir::Scalar::u32(); break;
                case M::Refract: fine = i == 1 ? same_shape(si, s) : si.kind == Shape::Scalar && si.scalar == s.scalar; break;
                case M::Mix: fine = same_shape(si, s) || (i == 2 && si.kind == Shape::Scalar && si.scalar == s.scalar); break;
                case M::Dot4I8Packed:
                case M::Dot4U8Packed: fine = si.kind == Shape::Scalar && si.scalar == ir::Scalar::u32(); break;
                default: break;
            }
            if (!fine) return bad(std::string(info.name) + ": argument " + std::to_string(i + 1) + " has type " + name(tyh(args[i])));
        }
        if (info.kind == MathArgs::Packed) {
            const ir::TypeInner want = [&]() -> ir::TypeInner {
                switch (mth->fun) {
                    case M::Pack4x8snorm:
                    case M::Pack4x8unorm: return Vector{ir::VectorSize::Quad, ir::Scalar::f32()};
                    case M::Pack2x16snorm:
                    case M::Pack2x16unorm:
                    case M::Pack2x16float: return Vector{ir::VectorSize::Bi, ir::Scalar::f32()};
                    default: return ir::type::Scalar{ir::Scalar::u32()};
                }
            }();
            if (!(ty(args[0]) == want)) return bad(std::string(info.name) + " does not accept " + name(tyh(args[0])));
        }
        switch (info.result) {
            case MathResult::Same: return tyh(args[0]);
            case MathResult::Scalar: return intern(ir::type::Scalar{s.scalar});
            case MathResult::Transpose: return intern(Matrix{s.rows, s.size, s.scalar});
            case MathResult::U32: return intern(ir::type::Scalar{ir::Scalar::u32()});
            case MathResult::I32: return intern(ir::type::Scalar{ir::Scalar::i32()});
            case MathResult::Vec4F32: return intern(Vector{ir::VectorSize::Quad, ir::Scalar::f32()});
            case MathResult::Vec2F32: return intern(Vector{ir::VectorSize::Bi, ir::Scalar::f32()});
        }
        return tyh(args[0]);
    }
    if (auto* as = e.as<ir::expr::As>()) {
        Shape s = shape_of(ty(as->expr));
        if (s.kind != Shape::Scalar && s.kind != Shape::Vector) return bad("conversion needs a scalar or vector");
        const ir::Scalar target{as->kind, as->width};
        WGSL_CHECK(check_scalar(target, span, "conversion"));
        if (!as->convert) {
            if (target.kind == ir::ScalarKind::Bool || s.scalar.kind == ir::ScalarKind::Bool || target.width != s.scalar.width)
                return bad("cannot bitcast " + name(tyh(as->expr)) + " to " + scalar_name(target));
        }
        s.scalar = target;
        return intern(make(s));
    }
    if (auto* c = e.as<ir::expr::CallResult>()) {
        if (!m_.functions.contains(c->function) || !m_.functions[c->function].result)
            return bad("call result of a function that returns nothing");
        return m_.functions[c->function].result->type;
    }
    if (auto* a = e.as<ir::expr::AtomicResult>()) {
        WGSL_CHECK(check_type(a->type));
        const bool is_struct = std::holds_alternative<Struct>(inner(a->type));
        if (a->comparison != is_struct) return bad("atomic result type does not match the operation");
        return a->type;
    }
    if (auto* al = e.as<ir::expr::ArrayLength>()) {
        const Pointer* p = std::get_if<Pointer>(&ty(al->array));
        if (!p || !is_runtime_array(p->base)) return bad("arrayLength needs a pointer to a runtime-sized array");
        return intern(ir::type::Scalar{ir::Scalar::u32()});
    }
    return bad("unknown expression kind");
}

}  // namespace trelliken::wgsl::validation

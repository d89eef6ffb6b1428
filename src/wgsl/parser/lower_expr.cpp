// Expressions: names, operators, indexing and member access, with constant folding and abstract conversions.

#include "wgsl/common/try.h"
#include "wgsl/parser/lower.h"

namespace trelliken::wgsl::lower {

ir::Arena<ir::Expression>& Lowerer::arena() { return fn_ ? fn_->fn->expressions : m_.global_expressions; }

ir::Handle<ir::Expression> Lowerer::append(ir::Expression e, Span span) {
    if (fn_ && ir::needs_emit(e) && !fn_->emitter.active()) fn_->emitter.start(arena());
    return arena().append(std::move(e), span);
}

Operand Lowerer::runtime(const VType& t, ir::Handle<ir::Expression> h, Span span) {
    Operand op;
    op.type = t;
    op.handle = h;
    op.span = span;
    return op;
}

ir::Handle<ir::Expression> Lowerer::commit_value(const ConstValue& v, Span span) {
    if (v.type.is_scalar()) return append(v.scalar, span);
    if (v.type.is_vector() && !v.elems.empty()) {
        bool same = true;
        for (const ConstValue& e : v.elems) same = same && e.scalar == v.elems[0].scalar;
        if (same) {
            auto s = append(v.elems[0].scalar, span);
            return append(ir::expr::Splat{v.type.size, s}, span);
        }
    }
    std::vector<ir::Handle<ir::Expression>> comps;
    comps.reserve(v.elems.size());
    for (const ConstValue& e : v.elems) comps.push_back(commit_value(e, span));
    if (comps.empty()) return append(ir::expr::ZeroValue{intern(v.type)}, span);
    return append(ir::expr::Compose{intern(v.type), std::move(comps)}, span);
}

Result<ir::Handle<ir::Expression>> Lowerer::materialize(const Operand& op, std::optional<VType> target) {
    if (op.is_ref) return fail(op.span, "internal: reference used as a value");
    if (!op.value) {
        if (target && !(*target == op.type))
            return fail(op.span, "expected " + name_of(*target) + ", found " + name_of(op.type));
        return op.handle;
    }
    VType t = target ? *target : concretize(op.type);
    ConstValue v = *op.value;
    if (!(v.type == t)) {
        if (v.type.kind != t.kind && !(v.type.kind == VType::Kind::Named && t.kind == VType::Kind::Named))
            return fail(op.span, "expected " + name_of(t) + ", found " + name_of(v.type));
        WGSL_TRY(v, convert_value(v, t.scalar, false, op.span));
        if (!(v.type == t)) return fail(op.span, "expected " + name_of(t) + ", found " + name_of(op.type));
    }
    if (op.constant && op.type == t) {
        if (!fn_) return append(ir::expr::Constant{*op.constant}, op.span);
        auto [it, fresh] = fn_->constants.try_emplace(op.constant->index);
        if (fresh) it->second = append(ir::expr::Constant{*op.constant}, op.span);
        return it->second;
    }
    return commit_value(v, op.span);
}

Result<Operand> Lowerer::coerce(Operand op, const VType& target, std::string_view what) {
    if (op.is_ref) {
        WGSL_TRY(op, load(op));
    }
    if (op.type == target) return op;
    if (op.value && op.type.is_abstract() && op.type.kind == target.kind &&
        (op.type.kind != VType::Kind::Vector || op.type.size == target.size) &&
        (op.type.kind != VType::Kind::Matrix || (op.type.size == target.size && op.type.rows == target.rows))) {
        const bool ok = op.type.scalar.kind == ir::ScalarKind::AbstractInt
                            ? target.scalar.kind != ir::ScalarKind::Bool
                            : target.scalar.is_float();
        if (ok) {
            WGSL_TRY(ConstValue v, convert_value(*op.value, target.scalar, false, op.span));
            op.value = std::move(v);
            op.type = target;
            op.constant.reset();
            return op;
        }
    }
    return fail(op.span, "cannot use " + name_of(op.type) + " as " + std::string(what) + " of type " + name_of(target));
}

// Abstract operands take the concrete scalar of their partners; all-abstract ones agree on the widest abstract.
Result<void> Lowerer::unify_abstract(std::span<Operand* const> ops, Span span) {
    std::optional<ir::Scalar> concrete;
    bool any_float = false;
    for (Operand* o : ops) {
        if (!o->type.is_abstract()) {
            if (o->type.kind == VType::Kind::Scalar || o->type.kind == VType::Kind::Vector ||
                o->type.kind == VType::Kind::Matrix) {
                if (!concrete) concrete = o->type.scalar;
            }
        } else if (o->type.scalar.kind == ir::ScalarKind::AbstractFloat) {
            any_float = true;
        }
    }
    for (Operand* o : ops) {
        if (!o->type.is_abstract()) continue;
        ir::Scalar target = concrete ? *concrete : any_float ? ir::Scalar::abstract_float() : o->type.scalar;
        if (o->type.scalar == target) continue;
        if (o->type.scalar.kind == ir::ScalarKind::AbstractFloat && !target.is_float())
            return fail(span, "cannot convert a float value to " + scalar_name(target));
        if (target.kind == ir::ScalarKind::Bool) return fail(span, "cannot convert a number to bool");
        WGSL_TRY(ConstValue v, convert_value(*o->value, target, false, o->span));
        o->value = std::move(v);
        o->type = o->type.with_scalar(target);
        o->constant.reset();
    }
    return {};
}

Result<Operand> Lowerer::load(Operand op) {
    if (!op.is_ref) return op;
    if (op.type.kind == VType::Kind::Named) {
        const ir::TypeInner& inner = m_.types[op.type.handle].inner;
        if (std::holds_alternative<ir::type::Atomic>(inner))
            return fail(op.span, "atomic values can only be read with atomicLoad");
        if (auto* a = std::get_if<ir::type::Array>(&inner); a && a->size.kind == ir::ArraySize::Kind::Dynamic)
            return fail(op.span, "a runtime-sized array cannot be loaded as a whole");
    }
    if (op.access == ir::AccessMode::Write) return fail(op.span, "cannot read from a write-only storage variable");
    const auto h = append(ir::expr::Load{op.handle}, op.span);
    return runtime(op.type, h, op.span);
}

Result<Operand> Lowerer::value(ast::ExprId e) {
    WGSL_TRY(Operand op, expr(e));
    if (op.type.kind == VType::Kind::Void) return fail(op.span, "expression has no value");
    return load(std::move(op));
}

Result<Operand> Lowerer::expr(ast::ExprId id) {
    const ast::Expr& e = ast_.exprs[id];
    if (++depth_ > kMaxLoweringDepth) {
        --depth_;
        return fail(e.span, "expression or declarations nested too deeply");
    }
    struct Leave {
        int& d;
        ~Leave() { --d; }
    } leave{depth_};
    switch (e.kind) {
        case ast::ExprKind::Literal: {
            Operand op;
            op.type = VType::scalar_of(e.literal.scalar());
            op.value = scalar_value(e.literal);
            op.span = e.span;
            return op;
        }
        case ast::ExprKind::Ident: return ident(e);
        case ast::ExprKind::Call: return call(e, false);
        case ast::ExprKind::Unary: return unary(e);
        case ast::ExprKind::Binary: return binary(e);
        case ast::ExprKind::Index: return index(e);
        case ast::ExprKind::Member: return member(e);
    }
    return fail(e.span, "unsupported expression");
}

Result<Operand> Lowerer::ident(const ast::Expr& e) {
    if (!e.templ.empty()) return fail(e.span, "'" + std::string(e.name) + "' is not a value");
    if (fn_) {
        for (auto it = fn_->scopes.rbegin(); it != fn_->scopes.rend(); ++it) {
            if (auto f = it->find(e.name); f != it->end()) {
                Operand op = f->second;
                op.span = e.span;
                return op;
            }
        }
    }
    auto git = globals_.find(e.name);
    if (git == globals_.end()) {
        return fail(e.span, "unknown name '" + std::string(e.name) + "'");
    }
    GlobalEntry& g = git->second;
    WGSL_CHECK(lower_global(g));
    Operand op;
    op.span = e.span;
    switch (g.kind) {
        case GlobalEntry::Kind::Const:
            op.type = g.type;
            op.value = g.value;
            op.constant = g.constant;
            return op;
        case GlobalEntry::Kind::Override: {
            op.type = vtype_of(m_.types, m_.overrides[g.override_].type);
            if (!fn_) {
                op.handle = append(ir::expr::Override{g.override_}, e.span);
            } else {
                auto [it, fresh] = fn_->overrides.try_emplace(g.override_.index);
                if (fresh) it->second = append(ir::expr::Override{g.override_}, e.span);
                op.handle = it->second;
            }
            return op;
        }
        case GlobalEntry::Kind::Var: {
            if (!fn_) return fail(e.span, "module variable '" + std::string(e.name) + "' used in a constant context");
            const ir::GlobalVariable& gv = m_.global_variables[g.variable];
            auto [it, fresh] = fn_->globals.try_emplace(g.variable.index);
            if (fresh) it->second = append(ir::expr::GlobalVariable{g.variable}, e.span);
            op.handle = it->second;
            op.type = vtype_of(m_.types, gv.type);
            op.is_ref = true;
            op.space = gv.space;
            op.access = gv.access;
            return op;
        }
        default: return fail(e.span, "'" + std::string(e.name) + "' is not a value");
    }
}

Result<Operand> Lowerer::deref_pointer(Operand op) {
    if (op.is_ref || op.type.kind != VType::Kind::Pointer) return op;
    Operand r = op;
    r.is_ref = true;
    r.space = op.type.space;
    r.access = op.type.access;
    r.type = vtype_of(m_.types, op.type.handle);
    r.value.reset();
    return r;
}

Result<Operand> Lowerer::unary(const ast::Expr& e) {
    const auto op = static_cast<ast::UnaryOp>(e.op);
    if (op == ast::UnaryOp::AddressOf) {
        WGSL_TRY(Operand r, expr(e.a));
        if (!r.is_ref) return fail(e.span, "'&' needs a reference (a variable or part of one)");
        Operand p = runtime(VType::pointer(intern(r.type), r.space, r.access), r.handle, e.span);
        return p;
    }
    if (op == ast::UnaryOp::Deref) {
        WGSL_TRY(Operand p, value(e.a));
        if (p.type.kind != VType::Kind::Pointer) return fail(e.span, "'*' needs a pointer, found " + name_of(p.type));
        return deref_pointer(p);
    }
    WGSL_TRY(Operand v, value(e.a));
    ir::UnaryOperator uop{};
    const ir::Scalar s = v.type.scalar;
    const bool numeric = v.type.is_numeric_leaf() || v.type.is_matrix();
    switch (op) {
        case ast::UnaryOp::Negate:
            uop = ir::UnaryOperator::Negate;
            if (!numeric || s.kind == ir::ScalarKind::Bool || s.kind == ir::ScalarKind::Uint)
                return fail(e.span, "cannot negate " + name_of(v.type));
            break;
        case ast::UnaryOp::Not:
            uop = ir::UnaryOperator::LogicalNot;
            if (!v.type.is_numeric_leaf() || s.kind != ir::ScalarKind::Bool)
                return fail(e.span, "'!' needs bool, found " + name_of(v.type));
            break;
        default:
            uop = ir::UnaryOperator::BitwiseNot;
            if (!v.type.is_numeric_leaf() || !s.is_integer())
                return fail(e.span, "'~' needs an integer, found " + name_of(v.type));
            break;
    }
    if (v.value) {
        WGSL_TRY(auto r, eval_unary(uop, *v.value, e.span));
        if (r) {
            Operand out;
            out.type = v.type;
            out.value = std::move(*r);
            out.span = e.span;
            return out;
        }
    }
    WGSL_TRY(auto h, materialize(v));
    return runtime(concretize(v.type), append(ir::expr::Unary{uop, h}, e.span), e.span);
}

// && and || evaluate their right operand only when needed. Expressions have no side effects, so that only
// matters when the right operand contains calls or atomics; then the operator becomes a variable set under an
// if, otherwise a plain LogicalAnd / LogicalOr.
Result<Operand> Lowerer::short_circuit(const ast::Expr& e, Operand l) {
    const bool is_and = static_cast<ast::BinaryOp>(e.op) == ast::BinaryOp::LogicalAnd;
    const VType boolean = VType::scalar_of(ir::Scalar::boolean());
    flush(e.span);
    ir::Block rhs;
    ir::Block* outer = fn_->block;
    fn_->block = &rhs;
    restart();
    auto leave = [&] {
        fn_->block = outer;
        restart();
    };
    auto r = value(e.b);
    if (!r) {
        leave();
        return r;
    }
    flush(e.span);
    bool has_effects = false;
    for (const auto& st : rhs.statements) has_effects = has_effects || !st.is<ir::stmt::Emit>();
    if (!has_effects) {
        leave();
        for (size_t i = 0; i < rhs.statements.size(); ++i) outer->push(std::move(rhs.statements[i]), rhs.spans[i]);
        return binary_op(is_and ? ir::BinaryOperator::LogicalAnd : ir::BinaryOperator::LogicalOr, std::move(l),
                         std::move(*r), e.span);
    }
    restart();
    auto rv = coerce(std::move(*r), boolean, "operand");
    if (!rv) {
        leave();
        return rv;
    }
    auto rh = materialize(*rv);
    if (!rh) {
        leave();
        return std::unexpected(rh.error());
    }
    const auto var = fn_->fn->local_variables.append(ir::LocalVariable{"sc", intern(boolean), std::nullopt}, e.span);
    const auto ptr = arena().append(ir::expr::LocalVariable{var}, e.span);
    (void)push(ir::stmt::Store{ptr, *rh}, e.span);
    leave();
    WGSL_TRY(l, coerce(std::move(l), boolean, "operand"));
    WGSL_TRY(auto lh, materialize(l));
    WGSL_CHECK(push(ir::stmt::Store{ptr, lh}, e.span));
    ir::stmt::If branch{lh, {}, {}};
    (is_and ? branch.accept : branch.reject) = std::move(rhs);
    WGSL_CHECK(push(std::move(branch), e.span));
    return runtime(boolean, append(ir::expr::Load{ptr}, e.span), e.span);
}

Result<Operand> Lowerer::binary(const ast::Expr& e) {
    WGSL_TRY(Operand l, value(e.a));
    const auto aop = static_cast<ast::BinaryOp>(e.op);
    if (fn_ && (aop == ast::BinaryOp::LogicalAnd || aop == ast::BinaryOp::LogicalOr))
        return short_circuit(e, std::move(l));
    WGSL_TRY(Operand r, value(e.b));
    using A = ast::BinaryOp;
    using B = ir::BinaryOperator;
    static constexpr B map[] = {B::Add, B::Subtract, B::Multiply, B::Divide, B::Modulo, B::Equal,
                                B::NotEqual, B::Less, B::LessEqual, B::Greater, B::GreaterEqual, B::And,
                                B::InclusiveOr, B::ExclusiveOr, B::LogicalAnd, B::LogicalOr, B::ShiftLeft,
                                B::ShiftRight};
    static_assert(static_cast<int>(A::Shr) == 17);
    return binary_op(map[e.op], std::move(l), std::move(r), e.span);
}

Result<Operand> Lowerer::splat_to(Operand s, ir::VectorSize n, Span span) {
    if (s.value) {
        Operand out = s;
        out.value = splat_value(*s.value, n);
        out.type = VType::vector_of(n, s.type.scalar);
        out.constant.reset();
        return out;
    }
    const auto h = append(ir::expr::Splat{n, s.handle}, span);
    return runtime(VType::vector_of(n, s.type.scalar), h, span);
}

Result<Operand> Lowerer::binary_op(ir::BinaryOperator op, Operand l, Operand r, Span span) {
    using B = ir::BinaryOperator;
    auto mismatch = [&]() {
        return fail(span, "no operator for " + name_of(l.type) + " and " + name_of(r.type));
    };
    const bool shift = op == B::ShiftLeft || op == B::ShiftRight;
    if (!(l.type.is_numeric_leaf() || l.type.is_matrix()) || !(r.type.is_numeric_leaf() || r.type.is_matrix()))
        return mismatch();
    if (shift) {
        if (!l.type.is_numeric_leaf() || !l.type.scalar.is_integer()) return mismatch();
        if (l.type.is_abstract() && !l.value) return mismatch();
        if (r.type.is_abstract()) {
            const ir::Scalar rs = l.type.is_abstract() ? r.type.scalar : ir::Scalar::u32();
            WGSL_TRY(ConstValue v, convert_value(*r.value, rs, false, r.span));
            r.value = std::move(v);
            r.type = r.type.with_scalar(rs);
        }
        if (!l.type.is_abstract() && r.type.scalar != ir::Scalar::u32()) return fail(span, "shift amount must be u32");
        if (l.type.kind != r.type.kind || (l.type.is_vector() && l.type.size != r.type.size)) return mismatch();
    } else {
        Operand* pair[] = {&l, &r};
        WGSL_CHECK(unify_abstract(pair, span));
        if (l.type.scalar != r.type.scalar) return mismatch();
    }
    const ir::Scalar s = l.type.scalar;
    VType result = l.type;
    bool splat_left = false, splat_right = false;
    switch (op) {
        case B::Add:
        case B::Subtract:
        case B::Divide:
        case B::Modulo:
        case B::Multiply:
            if (s.kind == ir::ScalarKind::Bool) return mismatch();
            if (l.type.is_matrix() || r.type.is_matrix()) {
                if (op == B::Multiply) {
                    if (l.type.is_matrix() && r.type.is_matrix()) {
                        if (l.type.size != r.type.rows) return mismatch();
                        result = VType::matrix_of(r.type.size, l.type.rows, s);
                    } else if (l.type.is_matrix() && r.type.is_vector()) {
                        if (l.type.size != r.type.size) return mismatch();
                        result = VType::vector_of(l.type.rows, s);
                    } else if (l.type.is_vector() && r.type.is_matrix()) {
                        if (l.type.size != r.type.rows) return mismatch();
                        result = VType::vector_of(r.type.size, s);
                    } else {
                        result = l.type.is_matrix() ? l.type : r.type;
                    }
                } else if (!(l.type == r.type) || op == B::Divide || op == B::Modulo) {
                    return mismatch();
                }
            } else if (l.type.is_vector() && r.type.is_scalar()) {
                splat_right = op != B::Multiply;
            } else if (l.type.is_scalar() && r.type.is_vector()) {
                splat_left = op != B::Multiply;
                result = r.type;
            } else if (!(l.type == r.type)) {
                return mismatch();
            }
            break;
        case B::Equal:
        case B::NotEqual:
        case B::Less:
        case B::LessEqual:
        case B::Greater:
        case B::GreaterEqual:
            if (!(l.type == r.type) || l.type.is_matrix()) return mismatch();
            if (s.kind == ir::ScalarKind::Bool && op != B::Equal && op != B::NotEqual) return mismatch();
            result = l.type.with_scalar(ir::Scalar::boolean());
            break;
        case B::And:
        case B::InclusiveOr:
        case B::ExclusiveOr:
            if (!(l.type == r.type) || l.type.is_matrix()) return mismatch();
            if (s.kind != ir::ScalarKind::Bool && !s.is_integer()) return mismatch();
            break;
        case B::LogicalAnd:
        case B::LogicalOr:
            if (!l.type.is_scalar() || !(l.type == r.type) || s.kind != ir::ScalarKind::Bool) return mismatch();
            break;
        case B::ShiftLeft:
        case B::ShiftRight: break;
    }
    if (l.value && r.value) {
        WGSL_TRY(auto v, eval_binary(op, *l.value, *r.value, result, span));
        if (v) {
            Operand out;
            out.type = result;
            out.value = std::move(*v);
            out.span = span;
            return out;
        }
    }
    WGSL_TRY(auto lh, materialize(l));
    WGSL_TRY(auto rh, materialize(r));
    const VType lt = concretize(l.type), rt = concretize(r.type);
    if (splat_left) lh = append(ir::expr::Splat{rt.size, lh}, span);
    if (splat_right) rh = append(ir::expr::Splat{lt.size, rh}, span);
    return runtime(concretize(result), append(ir::expr::Binary{op, lh, rh}, span), span);
}

Result<Operand> Lowerer::index(const ast::Expr& e) {
    WGSL_TRY(Operand base, expr(e.a));
    WGSL_TRY(base, deref_pointer(base));
    WGSL_TRY(Operand idx, value(e.b));
    if (!idx.type.is_scalar() || !idx.type.scalar.is_integer())
        return fail(idx.span, "index must be an integer, found " + name_of(idx.type));
    // Element type and bound.
    VType elem;
    std::optional<uint32_t> bound;
    const VType& bt = base.type;
    if (bt.is_vector()) {
        elem = VType::scalar_of(bt.scalar);
        bound = static_cast<uint32_t>(bt.size);
    } else if (bt.is_matrix()) {
        elem = VType::vector_of(bt.rows, bt.scalar);
        bound = static_cast<uint32_t>(bt.size);
    } else if (bt.kind == VType::Kind::Named) {
        auto* a = std::get_if<ir::type::Array>(&m_.types[bt.handle].inner);
        if (!a) return fail(e.span, "cannot index " + name_of(bt));
        elem = vtype_of(m_.types, a->base);
        if (a->size.kind == ir::ArraySize::Kind::Constant) bound = a->size.count;
    } else {
        return fail(e.span, "cannot index " + name_of(bt));
    }
    std::optional<int64_t> cidx;
    if (idx.value) {
        cidx = idx.value->scalar.i;
        if (*cidx < 0 || (bound && *cidx >= *bound))
            return fail(idx.span, "index " + std::to_string(*cidx) + " out of bounds");
    }
    if (base.value && cidx) {
        Operand out;
        out.type = elem;
        out.value = base.value->elems.at(static_cast<size_t>(*cidx));
        out.span = e.span;
        if (base.type.is_abstract()) out.type = out.value->type;
        return out;
    }
    ir::Handle<ir::Expression> bh;
    if (base.is_ref) {
        bh = base.handle;
    } else {
        WGSL_TRY(bh, materialize(base));
        elem = concretize(elem);
    }
    ir::Handle<ir::Expression> h;
    if (cidx) {
        h = append(ir::expr::AccessIndex{bh, static_cast<uint32_t>(*cidx)}, e.span);
    } else {
        WGSL_TRY(auto ih, materialize(idx));
        h = append(ir::expr::Access{bh, ih}, e.span);
    }
    Operand out = runtime(elem, h, e.span);
    out.is_ref = base.is_ref;
    out.space = base.space;
    out.access = base.access;
    return out;
}

Result<Operand> Lowerer::member(const ast::Expr& e) {
    WGSL_TRY(Operand base, expr(e.a));
    WGSL_TRY(base, deref_pointer(base));
    const VType& bt = base.type;
    if (bt.kind == VType::Kind::Named) {
        auto* s = std::get_if<ir::type::Struct>(&m_.types[bt.handle].inner);
        if (!s) return fail(e.span, name_of(bt) + " has no members");
        for (uint32_t i = 0; i < s->members.size(); ++i) {
            if (s->members[i].name != e.name) continue;
            const VType mt = vtype_of(m_.types, s->members[i].type);
            if (base.value) {
                Operand out;
                out.type = mt;
                out.value = base.value->elems.at(i);
                out.span = e.span;
                return out;
            }
            ir::Handle<ir::Expression> bh = base.handle;
            if (!base.is_ref) {
                WGSL_TRY(bh, materialize(base));
            }
            Operand out = runtime(mt, append(ir::expr::AccessIndex{bh, i}, e.span), e.span);
            out.is_ref = base.is_ref;
            out.space = base.space;
            out.access = base.access;
            return out;
        }
        return fail(e.span, name_of(bt) + " has no member '" + std::string(e.name) + "'");
    }
    if (!bt.is_vector()) return fail(e.span, "cannot access member '" + std::string(e.name) + "' of " + name_of(bt));
    // Swizzle: xyzw or rgba, one to four letters.
    const std::string_view sw = e.name;
    if (sw.empty() || sw.size() > 4) return fail(e.span, "invalid swizzle '" + std::string(sw) + "'");
    std::array<uint8_t, 4> pattern{};
    const bool rgba = std::string_view("rgba").find(sw[0]) != std::string_view::npos;
    const std::string_view letters = rgba ? "rgba" : "xyzw";
    for (size_t i = 0; i < sw.size(); ++i) {
        const size_t p = letters.find(sw[i]);
        if (p == std::string_view::npos || p >= static_cast<size_t>(bt.size))
            return fail(e.span, "invalid swizzle '" + std::string(sw) + "' for " + name_of(bt));
        pattern[i] = static_cast<uint8_t>(p);
    }
    if (sw.size() == 1) {
        if (base.value) {
            Operand out;
            out.type = VType::scalar_of(bt.scalar);
            out.value = base.value->elems.at(pattern[0]);
            out.span = e.span;
            return out;
        }
        ir::Handle<ir::Expression> bh = base.handle;
        if (!base.is_ref) {
            WGSL_TRY(bh, materialize(base));
        }
        Operand out = runtime(VType::scalar_of(concretize(bt).scalar), append(ir::expr::AccessIndex{bh, pattern[0]}, e.span), e.span);
        if (base.is_ref) out.type = VType::scalar_of(bt.scalar);
        out.is_ref = base.is_ref;
        out.space = base.space;
        out.access = base.access;
        return out;
    }
    const auto n = static_cast<ir::VectorSize>(sw.size());
    if (base.value) {
        Operand out;
        out.type = VType::vector_of(n, bt.scalar);
        ConstValue v;
        v.type = out.type;
        for (size_t i = 0; i < sw.size(); ++i) v.elems.push_back(base.value->elems.at(pattern[i]));
        out.value = std::move(v);
        out.span = e.span;
        return out;
    }
    WGSL_TRY(Operand loaded, load(base));
    WGSL_TRY(auto bh, materialize(loaded));
    return runtime(VType::vector_of(n, concretize(bt).scalar), append(ir::expr::Swizzle{n, bh, pattern}, e.span),
                   e.span);
}

}  // namespace trelliken::wgsl::lower

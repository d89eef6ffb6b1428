// Statements: blocks and scopes, declarations, assignments, control flow; and the Emit bookkeeping around them.

#include "wgsl/common/try.h"
#include "wgsl/parser/lower.h"

namespace trelliken::wgsl::lower {

void Lowerer::flush(Span span) {
    if (auto emit = fn_->emitter.finish(arena())) fn_->block->push(*emit, span);
}

void Lowerer::restart() { fn_->emitter.start(arena()); }

Result<void> Lowerer::push(ir::Statement st, Span span) {
    flush(span);
    fn_->block->push(std::move(st), span);
    restart();
    return {};
}

Result<void> Lowerer::block(ast::StmtId id, ir::Block& out, bool new_scope) {
    const ast::Stmt& s = ast_.stmts[id];
    ir::Block* saved = fn_->block;
    fn_->block = &out;
    if (new_scope) fn_->scopes.emplace_back();
    Result<void> r{};
    if (s.kind == ast::StmtKind::Block) {
        for (ast::StmtId child : s.statements) {
            r = statement(child);
            if (!r) break;
        }
    } else {
        r = statement(id);
    }
    if (new_scope) fn_->scopes.pop_back();
    fn_->block = saved;
    return r;
}

Result<void> Lowerer::local_decl(const ast::Stmt& s) {
    const ast::Decl& d = ast_.decls[s.decl];
    if (!d.attributes.empty()) return fail(d.attributes[0].span, "attributes are not allowed here");
    auto& scope = fn_->scopes.back();
    if (scope.count(d.name)) return fail(d.name_span, "'" + std::string(d.name) + "' is already declared in this scope");
    std::optional<VType> declared;
    if (d.type != ast::kNone) {
        WGSL_TRY(declared, resolve_type(d.type));
    }
    std::optional<Operand> init;
    if (d.init != ast::kNone) {
        WGSL_TRY(init, value(d.init));
        if (declared) {
            WGSL_TRY(init, coerce(std::move(*init), *declared, "initialiser"));
        }
    }
    switch (d.kind) {
        case ast::DeclKind::Const: {
            if (!init) return fail(d.name_span, "a 'const' needs an initialiser");
            if (!init->value) return fail(init->span, "'const' initialiser is not a constant expression");
            init->constant.reset();
            scope.emplace(d.name, *init);
            return {};
        }
        case ast::DeclKind::Let: {
            if (!init) return fail(d.name_span, "a 'let' needs an initialiser");
            if (init->type.kind == VType::Kind::Named &&
                std::holds_alternative<ir::type::Atomic>(m_.types[init->type.handle].inner))
                return fail(init->span, "a 'let' cannot hold an atomic");
            WGSL_TRY(auto h, materialize(*init));
            Operand op = runtime(concretize(init->type), h, d.name_span);
            if (ir::needs_emit(arena()[h]) || arena()[h].is<ir::expr::CallResult>() ||
                arena()[h].is<ir::expr::AtomicResult>()) {
                fn_->fn->named_expressions.try_emplace(h, std::string(d.name));
            }
            scope.emplace(d.name, op);
            return {};
        }
        case ast::DeclKind::Var: {
            if (!d.address_space.empty() && d.address_space != "function")
                return fail(d.name_span, "function-scope variables must be in the function address space");
            if (!declared && !init) return fail(d.name_span, "a 'var' needs a type or an initialiser");
            const VType t = declared ? *declared : concretize(init->type);
            if (t.kind == VType::Kind::Pointer || t.kind == VType::Kind::Void)
                return fail(d.name_span, "variables cannot hold " + name_of(t));
            if (t.kind == VType::Kind::Named) {
                const auto& inner = m_.types[t.handle].inner;
                if (std::holds_alternative<ir::type::Atomic>(inner))
                    return fail(d.name_span, "function-scope variables cannot hold atomics");
                if (auto* a = std::get_if<ir::type::Array>(&inner); a && a->size.kind == ir::ArraySize::Kind::Dynamic)
                    return fail(d.name_span, "function-scope variables cannot hold runtime-sized arrays");
            }
            const auto lv = fn_->fn->local_variables.append(ir::LocalVariable{std::string(d.name), intern(t), std::nullopt},
                                                           d.name_span);
            const auto ptr = append(ir::expr::LocalVariable{lv}, d.name_span);
            Operand ref = runtime(t, ptr, d.name_span);
            ref.is_ref = true;
            ref.space = ir::AddressSpace::Function;
            ref.access = ir::AccessMode::ReadWrite;
            if (init) {
                WGSL_TRY(Operand v, coerce(std::move(*init), t, "initialiser"));
                WGSL_TRY(auto h, materialize(v));
                WGSL_CHECK(push(ir::stmt::Store{ptr, h}, s.span));
            }
            scope.emplace(d.name, ref);
            return {};
        }
        case ast::DeclKind::Override: return fail(d.name_span, "'override' is only allowed at module scope");
    }
    return {};
}

Result<void> Lowerer::assignment(const ast::Stmt& s) {
    if (s.a == ast::kNone) {
        // Phony assignment: evaluate and discard.
        WGSL_TRY(Operand v, expr(s.b));
        if (v.type.kind == VType::Kind::Void) return fail(v.span, "expression has no value");
        if (v.is_ref) {
            WGSL_TRY(v, load(std::move(v)));
        }
        if (!v.value) {
            WGSL_TRY(auto h, materialize(v));
            (void)h;
        }
        flush(s.span);
        restart();
        return {};
    }
    WGSL_TRY(Operand lhs, expr(s.a));
    if (!lhs.is_ref) return fail(lhs.span, "left side of an assignment must be a reference (a variable or part of one)");
    if (lhs.access == ir::AccessMode::Read)
        return fail(lhs.span, "cannot assign to a read-only " +
                                  std::string(lhs.space == ir::AddressSpace::Uniform ? "uniform" : "storage") + " variable");
    if (lhs.type.kind == VType::Kind::Named &&
        std::holds_alternative<ir::type::Atomic>(m_.types[lhs.type.handle].inner))
        return fail(lhs.span, "atomics can only be written with atomicStore");
    Operand rhs;
    if (s.kind == ast::StmtKind::Increment || s.kind == ast::StmtKind::Decrement) {
        if (!lhs.type.is_scalar() || !lhs.type.scalar.is_integer())
            return fail(lhs.span, "'++' and '--' need an integer variable, found " + name_of(lhs.type));
        WGSL_TRY(Operand cur, load(lhs));
        Operand one;
        one.type = VType::scalar_of(ir::Scalar::abstract_int());
        one.value = scalar_value(ir::Literal::abstract_int(1));
        one.span = s.span;
        WGSL_TRY(rhs, binary_op(s.kind == ast::StmtKind::Increment ? ir::BinaryOperator::Add : ir::BinaryOperator::Subtract,
                                std::move(cur), std::move(one), s.span));
    } else if (s.op != ast::kNone) {
        using A = ast::BinaryOp;
        using B = ir::BinaryOperator;
        static constexpr B map[] = {B::Add, B::Subtract, B::Multiply, B::Divide, B::Modulo, B::Equal,
                                    B::NotEqual, B::Less, B::LessEqual, B::Greater, B::GreaterEqual, B::And,
                                    B::InclusiveOr, B::ExclusiveOr, B::LogicalAnd, B::LogicalOr, B::ShiftLeft,
                                    B::ShiftRight};
        static_assert(static_cast<int>(A::Shr) == 17);
        WGSL_TRY(Operand cur, load(lhs));
        WGSL_TRY(Operand r, value(s.b));
        WGSL_TRY(rhs, binary_op(map[s.op], std::move(cur), std::move(r), s.span));
    } else {
        WGSL_TRY(rhs, value(s.b));
    }
    WGSL_TRY(rhs, coerce(std::move(rhs), lhs.type, "assigned value"));
    WGSL_TRY(auto h, materialize(rhs));
    return push(ir::stmt::Store{lhs.handle, h}, s.span);
}

Result<void> Lowerer::statement(ast::StmtId id) {
    restart();
    WGSL_CHECK(statement_body(id));
    // Whatever the statement evaluated becomes visible here, in statement order.
    flush(ast_.stmts[id].span);
    return {};
}

Result<void> Lowerer::statement_body(ast::StmtId id) {
    const ast::Stmt& s = ast_.stmts[id];
    switch (s.kind) {
        case ast::StmtKind::Empty: return {};
        case ast::StmtKind::Block: {
            ir::Block inner;
            WGSL_CHECK(block(id, inner));
            return push(ir::stmt::Block{std::move(inner)}, s.span);
        }
        case ast::StmtKind::Var: return local_decl(s);
        case ast::StmtKind::Assign:
        case ast::StmtKind::Increment:
        case ast::StmtKind::Decrement: return assignment(s);
        case ast::StmtKind::If: {
            WGSL_TRY(Operand c, value(s.a));
            WGSL_TRY(c, coerce(std::move(c), VType::scalar_of(ir::Scalar::boolean()), "condition"));
            WGSL_TRY(auto ch, materialize(c));
            flush(s.span);
            ir::stmt::If st{ch, {}, {}};
            WGSL_CHECK(block(s.body, st.accept));
            if (s.else_stmt != ast::kNone) {
                WGSL_CHECK(block(s.else_stmt, st.reject));
            }
            return push(std::move(st), s.span);
        }
        case ast::StmtKind::Switch: {
            WGSL_TRY(Operand sel, value(s.a));
            if (!sel.type.is_scalar() || !sel.type.scalar.is_integer())
                return fail(sel.span, "switch selector must be i32 or u32, found " + name_of(sel.type));
            // The selector and every case value agree on one concrete type.
            VType st_type = sel.type;
            std::vector<Operand> values;
            for (const auto& clause : s.clauses)
                for (ast::ExprId e : clause.selectors) {
                    if (e == ast::kNone) continue;
                    WGSL_TRY(Operand v, value(e));
                    if (!v.value) return fail(v.span, "case selector must be a constant expression");
                    if (!v.type.is_scalar() || !v.type.scalar.is_integer())
                        return fail(v.span, "case selector must be an integer");
                    if (!v.type.is_abstract()) st_type = v.type;
                    values.push_back(std::move(v));
                }
            if (st_type.is_abstract()) st_type = VType::scalar_of(ir::Scalar::i32());
            WGSL_TRY(sel, coerce(std::move(sel), st_type, "switch selector"));
            WGSL_TRY(auto selh, materialize(sel));
            flush(s.span);
            ir::stmt::Switch sw{selh, {}};
            size_t vi = 0;
            bool has_default = false;
            std::vector<int64_t> seen;
            for (const auto& clause : s.clauses) {
                ir::SwitchCase c;
                for (ast::ExprId e : clause.selectors) {
                    if (e == ast::kNone) {
                        if (has_default) return fail(clause.span, "switch has more than one default");
                        has_default = true;
                        c.values.push_back({ir::SwitchValue::Kind::Default, 0});
                        continue;
                    }
                    WGSL_TRY(Operand v, coerce(std::move(values[vi++]), st_type, "case selector"));
                    const int64_t n = v.value->scalar.i;
                    for (int64_t x : seen)
                        if (x == n) return fail(v.span, "duplicate case value " + std::to_string(n));
                    seen.push_back(n);
                    c.values.push_back({st_type.scalar.kind == ir::ScalarKind::Uint ? ir::SwitchValue::Kind::U32
                                                                                    : ir::SwitchValue::Kind::I32,
                                        n});
                }
                WGSL_CHECK(block(clause.body, c.body));
                sw.cases.push_back(std::move(c));
            }
            if (!has_default) return fail(s.span, "switch needs a default clause");
            return push(std::move(sw), s.span);
        }
        case ast::StmtKind::Loop: {
            flush(s.span);
            ir::stmt::Loop lp;
            fn_->scopes.emplace_back();
            Result<void> r = block(s.body, lp.body, false);
            if (r && s.continuing != ast::kNone) {
                // Names declared in the body are visible in continuing.
                ir::Block* saved = fn_->block;
                fn_->block = &lp.continuing;
                fn_->scopes.emplace_back();
                for (ast::StmtId child : ast_.stmts[s.continuing].statements) {
                    r = statement(child);
                    if (!r) break;
                }
                if (r && s.b != ast::kNone) {
                    restart();
                    auto c = value(s.b);
                    if (c) c = coerce(std::move(*c), VType::scalar_of(ir::Scalar::boolean()), "break-if condition");
                    if (!c) {
                        r = std::unexpected(c.error());
                    } else if (auto h = materialize(*c); !h) {
                        r = std::unexpected(h.error());
                    } else {
                        flush(s.span);
                        lp.break_if = *h;
                    }
                }
                fn_->scopes.pop_back();
                fn_->block = saved;
            }
            fn_->scopes.pop_back();
            if (!r) return r;
            return push(std::move(lp), s.span);
        }
        case ast::StmtKind::For: {
            // for (init; cond; update) body  =>  { init; loop { if !cond { break; } body continuing { update } } }
            fn_->scopes.emplace_back();
            ir::Block outer;
            ir::Block* saved = fn_->block;
            fn_->block = &outer;
            Result<void> r{};
            if (s.init != ast::kNone) r = statement(s.init);
            ir::stmt::Loop lp;
            if (r) {
                fn_->block = &lp.body;
                if (s.a != ast::kNone) {
                    restart();
                    auto c = value(s.a);
                    if (c) c = coerce(std::move(*c), VType::scalar_of(ir::Scalar::boolean()), "loop condition");
                    if (!c) {
                        r = std::unexpected(c.error());
                    } else if (auto h = materialize(*c); !h) {
                        r = std::unexpected(h.error());
                    } else {
                        ir::stmt::If brk{*h, {}, {}};
                        brk.reject.push(ir::stmt::Break{}, s.span);
                        r = push(std::move(brk), s.span);
                    }
                }
                if (r) {
                    ir::Block body;
                    r = block(s.body, body);
                    if (r) r = push(ir::stmt::Block{std::move(body)}, s.span);
                }
                if (r && s.update != ast::kNone) {
                    fn_->block = &lp.continuing;
                    r = statement(s.update);
                    if (r) flush(s.span);
                }
                fn_->block = &outer;
                if (r) r = push(std::move(lp), s.span);
            }
            fn_->block = saved;
            fn_->scopes.pop_back();
            if (!r) return r;
            return push(ir::stmt::Block{std::move(outer)}, s.span);
        }
        case ast::StmtKind::While: {
            flush(s.span);
            ir::stmt::Loop lp;
            ir::Block* saved = fn_->block;
            fn_->block = &lp.body;
            restart();
            Result<void> r{};
            auto c = value(s.a);
            if (c) c = coerce(std::move(*c), VType::scalar_of(ir::Scalar::boolean()), "loop condition");
            if (!c) {
                r = std::unexpected(c.error());
            } else if (auto h = materialize(*c); !h) {
                r = std::unexpected(h.error());
            } else {
                ir::stmt::If brk{*h, {}, {}};
                brk.reject.push(ir::stmt::Break{}, s.span);
                r = push(std::move(brk), s.span);
                if (r) {
                    ir::Block body;
                    r = block(s.body, body);
                    if (r) r = push(ir::stmt::Block{std::move(body)}, s.span);
                }
            }
            fn_->block = saved;
            if (!r) return r;
            return push(std::move(lp), s.span);
        }
        case ast::StmtKind::Break: return push(ir::stmt::Break{}, s.span);
        case ast::StmtKind::BreakIf: return fail(s.span, "'break if' is only allowed at the end of 'continuing'");
        case ast::StmtKind::Continue: return push(ir::stmt::Continue{}, s.span);
        case ast::StmtKind::Return: {
            if (s.a == ast::kNone) {
                if (fn_->return_type) return fail(s.span, "missing return value");
                return push(ir::stmt::Return{}, s.span);
            }
            if (!fn_->return_type) return fail(s.span, "function does not return a value");
            WGSL_TRY(Operand v, value(s.a));
            WGSL_TRY(v, coerce(std::move(v), *fn_->return_type, "return value"));
            WGSL_TRY(auto h, materialize(v));
            return push(ir::stmt::Return{h}, s.span);
        }
        case ast::StmtKind::CallStmt: {
            WGSL_TRY(Operand r, call(ast_.exprs[s.a], true));
            (void)r;
            flush(s.span);
            return {};
        }
        case ast::StmtKind::ConstAssert: {
            WGSL_TRY(Operand v, value(s.a));
            if (!v.value || !(v.type == VType::scalar_of(ir::Scalar::boolean())))
                return fail(v.span, "const_assert needs a constant bool expression");
            if (!v.value->scalar.b) return fail(s.span, "const_assert failed");
            return {};
        }
    }
    return {};
}

}  // namespace trelliken::wgsl::lower

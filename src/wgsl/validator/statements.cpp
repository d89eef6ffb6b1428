// Function bodies: Emit coverage and visibility, statement typing, control flow placement, calls and returns.

#include "wgsl/common/try.h"
#include "wgsl/validator/validator_impl.h"

namespace trelliken::wgsl::validation {

using namespace ir::type;
using ir::Handle;

namespace {

class BodyChecker {
public:
    BodyChecker(Validator& v, const ir::Function& fn, std::optional<uint32_t> index, FunctionInfo& info, Span span)
        : v_(v), fn_(fn), index_(index), info_(info), span_(span), visible_(fn.expressions.size(), false),
          emitted_(fn.expressions.size(), false) {}

    Result<void> run() {
        WGSL_CHECK(block(fn_.body, 0, false, false, false));
        if (fn_.result && !returns(fn_.body))
            return v_.fail(span_of_function(), "function must return a value on every path");
        return {};
    }

private:
    Span span_of_function() const { return span_; }

    const ir::TypeInner& ty(Handle<ir::Expression> h) const { return v_.inner(info_.expression_types[h.index]); }
    Handle<ir::Type> tyh(Handle<ir::Expression> h) const { return info_.expression_types[h.index]; }

    // A statement may use an expression once it is visible: emitted in an enclosing block, produced by an
    // earlier statement, or of a kind that needs no Emit.
    Result<void> use(Handle<ir::Expression> h, Span span) {
        if (!fn_.expressions.contains(h)) return v_.fail(span, "statement refers to an invalid expression");
        ++info_.use_counts[h.index];
        if (visible_[h.index]) return {};
        const ir::Expression& e = fn_.expressions[h];
        if (!ir::needs_emit(e) && !e.is<ir::expr::CallResult>() && !e.is<ir::expr::AtomicResult>()) return {};
        return v_.fail(fn_.expressions.span(h),
                       "expression [" + std::to_string(h.index) + "] is used before it is emitted");
    }

    static bool returns(const ir::Block& b) {
        if (b.empty()) return false;
        const ir::Statement& last = b.statements.back();
        if (last.is<ir::stmt::Return>()) return true;
        if (auto* blk = last.as<ir::stmt::Block>()) return returns(blk->block);
        if (auto* i = last.as<ir::stmt::If>()) return returns(i->accept) && returns(i->reject);
        if (auto* s = last.as<ir::stmt::Switch>()) {
            for (const auto& c : s->cases)
                if (!returns(c.body)) return false;
            return true;
        }
        if (auto* l = last.as<ir::stmt::Loop>()) return !l->break_if && !breaks(l->body, 0);
        return false;
    }

    // Whether a loop body can leave the loop with `break` (breaks nested in inner loops or switches don't count).
    static bool breaks(const ir::Block& b, int depth) {
        if (depth > kMaxBlockDepth) return true;
        for (const ir::Statement& s : b.statements) {
            if (s.is<ir::stmt::Break>()) return true;
            if (auto* blk = s.as<ir::stmt::Block>(); blk && breaks(blk->block, depth + 1)) return true;
            if (auto* i = s.as<ir::stmt::If>(); i && (breaks(i->accept, depth + 1) || breaks(i->reject, depth + 1)))
                return true;
        }
        return false;
    }

    Result<void> block(const ir::Block& b, int depth, bool in_loop, bool in_switch, bool in_continuing) {
        if (depth > kMaxBlockDepth) return v_.fail({}, "statements nested too deeply");
        if (b.spans.size() != b.statements.size()) return v_.fail({}, "block spans do not match its statements");
        std::vector<uint32_t> shown;  // handles made visible in this block, hidden again when it ends
        for (size_t i = 0; i < b.statements.size(); ++i) {
            auto r = statement(b.statements[i], b.spans[i], depth, in_loop, in_switch, in_continuing, shown);
            if (!r) return r;
        }
        for (uint32_t h : shown) visible_[h] = false;
        return {};
    }

    Result<void> statement(const ir::Statement& st, Span span, int depth, bool in_loop, bool in_switch,
                           bool in_continuing, std::vector<uint32_t>& shown) {
        if (auto* e = st.as<ir::stmt::Emit>()) {
            const auto& r = e->range;
            if (r.first >= r.end || r.end > fn_.expressions.size()) return v_.fail(span, "invalid Emit range");
            for (uint32_t i = r.first; i < r.end; ++i) {
                if (emitted_[i]) return v_.fail(span, "expression [" + std::to_string(i) + "] is emitted twice");
                const ir::Expression& x = fn_.expressions[Handle<ir::Expression>(i)];
                if (x.is<ir::expr::CallResult>() || x.is<ir::expr::AtomicResult>())
                    return v_.fail(span, "call and atomic results cannot be emitted");
                Result<void> ok{};
                ir::for_each_operand(x, [&](Handle<ir::Expression> o) {
                    if (!ok) return;
                    if (o.index >= r.first && o.index < i) {
                        ++info_.use_counts[o.index];
                        return;
                    }
                    ok = use(o, span);
                });
                if (!ok) return ok;
                emitted_[i] = true;
            }
            for (uint32_t i = r.first; i < r.end; ++i) {
                visible_[i] = true;
                shown.push_back(i);
            }
            return {};
        }
        if (auto* b = st.as<ir::stmt::Block>()) return block(b->block, depth + 1, in_loop, in_switch, in_continuing);
        if (auto* i = st.as<ir::stmt::If>()) {
            WGSL_CHECK(use(i->condition, span));
            if (!(ty(i->condition) == ir::TypeInner(Scalar{ir::Scalar::boolean()})))
                return v_.fail(span, "if condition must be bool, found " + v_.name(tyh(i->condition)));
            WGSL_CHECK(block(i->accept, depth + 1, in_loop, in_switch, in_continuing));
            return block(i->reject, depth + 1, in_loop, in_switch, in_continuing);
        }
        if (auto* s = st.as<ir::stmt::Switch>()) {
            WGSL_CHECK(use(s->selector, span));
            const auto* sc = std::get_if<Scalar>(&ty(s->selector));
            if (!sc || (sc->scalar != ir::Scalar::i32() && sc->scalar != ir::Scalar::u32()))
                return v_.fail(span, "switch selector must be i32 or u32");
            const auto kind = sc->scalar == ir::Scalar::i32() ? ir::SwitchValue::Kind::I32 : ir::SwitchValue::Kind::U32;
            int defaults = 0;
            std::vector<int64_t> seen;
            for (const auto& c : s->cases) {
                if (c.values.empty()) return v_.fail(span, "switch case without selectors");
                for (const auto& val : c.values) {
                    if (val.kind == ir::SwitchValue::Kind::Default) {
                        ++defaults;
                        continue;
                    }
                    if (val.kind != kind) return v_.fail(span, "case value type does not match the selector");
                    for (int64_t x : seen)
                        if (x == val.value) return v_.fail(span, "duplicate case value " + std::to_string(x));
                    seen.push_back(val.value);
                }
                WGSL_CHECK(block(c.body, depth + 1, in_loop, true, in_continuing));
            }
            if (defaults != 1) return v_.fail(span, "switch needs exactly one default");
            return {};
        }
        if (auto* l = st.as<ir::stmt::Loop>()) {
            // Names emitted in the body stay visible in continuing.
            std::vector<uint32_t> body_shown;
            for (size_t k = 0; k < l->body.statements.size(); ++k) {
                if (depth + 1 > kMaxBlockDepth) return v_.fail(span, "statements nested too deeply");
                WGSL_CHECK(statement(l->body.statements[k], l->body.spans[k], depth + 1, true, false, false, body_shown));
            }
            std::vector<uint32_t> cont_shown;
            for (size_t k = 0; k < l->continuing.statements.size(); ++k)
                WGSL_CHECK(statement(l->continuing.statements[k], l->continuing.spans[k], depth + 1, false, false, true,
                                     cont_shown));
            if (l->break_if) {
                WGSL_CHECK(use(*l->break_if, span));
                if (!(ty(*l->break_if) == ir::TypeInner(Scalar{ir::Scalar::boolean()})))
                    return v_.fail(span, "break-if condition must be bool");
            }
            for (uint32_t h : cont_shown) visible_[h] = false;
            for (uint32_t h : body_shown) visible_[h] = false;
            return {};
        }
        if (st.is<ir::stmt::Break>()) {
            if (!in_loop && !in_switch) return v_.fail(span, "'break' outside a loop or switch");
            return {};
        }
        if (st.is<ir::stmt::Continue>()) {
            if (!in_loop) return v_.fail(span, "'continue' outside a loop body");
            return {};
        }
        if (auto* r = st.as<ir::stmt::Return>()) {
            if (in_continuing) return v_.fail(span, "'return' is not allowed in 'continuing'");
            if (r->value) {
                WGSL_CHECK(use(*r->value, span));
                if (!fn_.result) return v_.fail(span, "function does not return a value");
                if (tyh(*r->value) != fn_.result->type && !(ty(*r->value) == v_.inner(fn_.result->type)))
                    return v_.fail(span, "returned " + v_.name(tyh(*r->value)) + ", expected " + v_.name(fn_.result->type));
            } else if (fn_.result) {
                return v_.fail(span, "missing return value");
            }
            return {};
        }
        if (auto* s = st.as<ir::stmt::Store>()) {
            WGSL_CHECK(use(s->pointer, span));
            WGSL_CHECK(use(s->value, span));
            const auto* p = std::get_if<Pointer>(&ty(s->pointer));
            if (!p) return v_.fail(span, "store needs a pointer, found " + v_.name(tyh(s->pointer)));
            if (p->access == ir::AccessMode::Read) return v_.fail(span, "cannot write through a read-only pointer");
            Handle<ir::Type> want = p->base;
            if (auto* at = std::get_if<Atomic>(&v_.inner(p->base))) want = v_.intern(Scalar{at->scalar});
            else if (!v_.is_constructible(p->base)) return v_.fail(span, "cannot store a value of type " + v_.name(p->base));
            if (tyh(s->value) != want && !(ty(s->value) == v_.inner(want)))
                return v_.fail(span, "cannot store " + v_.name(tyh(s->value)) + " into " + v_.name(want));
            return {};
        }
        if (auto* c = st.as<ir::stmt::Call>()) {
            if (!v_.m_.functions.contains(c->function)) return v_.fail(span, "call of an invalid function");
            if (index_ && c->function.index >= *index_)
                return v_.fail(span, "call of '" + v_.m_.functions[c->function].name +
                                         "', which does not come before the caller (recursion is not allowed)");
            const ir::Function& callee = v_.m_.functions[c->function];
            if (c->arguments.size() != callee.arguments.size())
                return v_.fail(span, "'" + callee.name + "' takes " + std::to_string(callee.arguments.size()) + " arguments");
            for (size_t k = 0; k < c->arguments.size(); ++k) {
                WGSL_CHECK(use(c->arguments[k], span));
                if (tyh(c->arguments[k]) != callee.arguments[k].type &&
                    !(ty(c->arguments[k]) == v_.inner(callee.arguments[k].type)))
                    return v_.fail(span, "argument " + std::to_string(k + 1) + " of '" + callee.name + "' has type " +
                                             v_.name(tyh(c->arguments[k])) + ", expected " + v_.name(callee.arguments[k].type));
            }
            if (c->result.has_value() != callee.result.has_value())
                return v_.fail(span, "call result does not match '" + callee.name + "'");
            if (c->result) {
                WGSL_CHECK(produce(*c->result, span));
                const auto* cr = fn_.expressions[*c->result].as<ir::expr::CallResult>();
                if (!cr || cr->function != c->function) return v_.fail(span, "call result expression does not match the call");
                shown.push_back(c->result->index);
            }
            return {};
        }
        if (auto* a = st.as<ir::stmt::Atomic>()) {
            WGSL_CHECK(use(a->pointer, span));
            WGSL_CHECK(use(a->value, span));
            const auto* p = std::get_if<Pointer>(&ty(a->pointer));
            const auto* at = p ? std::get_if<Atomic>(&v_.inner(p->base)) : nullptr;
            if (!at) return v_.fail(span, "atomic operation needs a pointer to an atomic");
            if (p->space != ir::AddressSpace::Storage && p->space != ir::AddressSpace::WorkGroup)
                return v_.fail(span, "atomics must live in storage or workgroup memory");
            if (p->access != ir::AccessMode::ReadWrite) return v_.fail(span, "atomic operation on a read-only pointer");
            const ir::TypeInner scalar = Scalar{at->scalar};
            if (!(ty(a->value) == scalar)) return v_.fail(span, "atomic operand has type " + v_.name(tyh(a->value)));
            if (a->compare) {
                if (a->fun != ir::AtomicFunction::Exchange) return v_.fail(span, "only exchange takes a comparand");
                WGSL_CHECK(use(*a->compare, span));
                if (!(ty(*a->compare) == scalar)) return v_.fail(span, "atomic comparand has the wrong type");
            }
            if (a->result) {
                WGSL_CHECK(produce(*a->result, span));
                const auto* ar = fn_.expressions[*a->result].as<ir::expr::AtomicResult>();
                if (!ar || ar->comparison != a->compare.has_value())
                    return v_.fail(span, "atomic result expression does not match the operation");
                if (!ar->comparison && !(v_.inner(ar->type) == scalar))
                    return v_.fail(span, "atomic result type does not match the atomic");
                shown.push_back(a->result->index);
            }
            return {};
        }
        if (auto* b = st.as<ir::stmt::Barrier>()) {
            if (b->flags == 0 || (b->flags & ~(ir::BarrierStorage | ir::BarrierWorkGroup)) != 0)
                return v_.fail(span, "invalid barrier flags");
            return {};
        }
        return v_.fail(span, "unknown statement kind");
    }

    Result<void> produce(Handle<ir::Expression> h, Span span) {
        if (!fn_.expressions.contains(h)) return v_.fail(span, "statement result refers to an invalid expression");
        if (emitted_[h.index]) return v_.fail(span, "a result expression is produced twice");
        emitted_[h.index] = true;
        visible_[h.index] = true;
        return {};
    }

    Validator& v_;
    const ir::Function& fn_;
    std::optional<uint32_t> index_;
    FunctionInfo& info_;
    Span span_;
    std::vector<bool> visible_;
    std::vector<bool> emitted_;
};

}  // namespace

Result<FunctionInfo> Validator::check_function(const ir::Function& fn, std::optional<uint32_t> index, Span span) {
    FunctionInfo info;
    for (uint32_t i = 0; i < fn.local_variables.size(); ++i) {
        const auto h = fn.local_variables.handle(i);
        const ir::LocalVariable& lv = fn.local_variables[h];
        if (!m_.types.contains(lv.type) || !is_constructible(lv.type))
            return fail(fn.local_variables.span(h), "local variable '" + lv.name + "' has an invalid type");
    }
    for (const auto& a : fn.arguments) {
        if (!m_.types.contains(a.type)) return fail(span, "argument '" + a.name + "' has an invalid type");
        const ir::TypeInner& t = inner(a.type);
        if (auto* p = std::get_if<Pointer>(&t)) {
            if (p->space == ir::AddressSpace::Uniform)
                return fail(span, "argument '" + a.name + "': pointers to uniform memory cannot be passed");
        } else if (!is_constructible(a.type)) {
            return fail(span, "argument '" + a.name + "' has a type that cannot be passed");
        }
    }
    if (fn.result && (!m_.types.contains(fn.result->type) || !is_constructible(fn.result->type)))
        return fail(span, "invalid return type");
    WGSL_TRY(info.expression_types, resolve_all(fn.expressions, &fn, false));
    info.use_counts.assign(fn.expressions.size(), 0);
    for (const auto& lv : fn.local_variables.items()) {
        if (lv.init) {
            if (!fn.expressions.contains(*lv.init) || ir::needs_emit(fn.expressions[*lv.init]))
                return fail(span, "local variable '" + lv.name + "' has an invalid initialiser");
            if (info.expression_types[lv.init->index] != lv.type)
                return fail(span, "local variable '" + lv.name + "' initialised with the wrong type");
        }
    }
    BodyChecker checker(*this, fn, index, info, span);
    WGSL_CHECK(checker.run());
    // Uses by non-emitted expressions (which are never covered by an Emit) count too.
    for (uint32_t i = 0; i < fn.expressions.size(); ++i) {
        const ir::Expression& e = fn.expressions[fn.expressions.handle(i)];
        if (!ir::needs_emit(e)) ir::for_each_operand(e, [&](Handle<ir::Expression> o) { ++info.use_counts[o.index]; });
    }
    return info;
}

}  // namespace trelliken::wgsl::validation

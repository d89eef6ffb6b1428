// Expression text. Pointers are written in two forms: as a reference (the memory: `x`, `a[i]`, `(*p)`) where
// WGSL wants one (assignment targets, loads), and as a pointer value (`&x`, `p`) everywhere else.

#include <charconv>
#include <cmath>

#include "wgsl/common/builtins.h"
#include "wgsl/common/try.h"
#include "wgsl/writer/writer_impl.h"

namespace trelliken::wgsl::writing {

using ir::Handle;
using namespace ir::type;

namespace {

// Text that can be used as an operand of a postfix or unary operator without parentheses.
bool is_primary(const std::string& t) {
    if (t.empty()) return false;
    const char c0 = t[0];
    if (c0 == '-' || c0 == '!' || c0 == '~' || c0 == '&' || c0 == '*') return false;
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '(' || c == '[') ++depth;
        else if (c == ')' || c == ']') --depth;
        else if (c == ' ' && depth == 0) return false;
    }
    return true;
}

std::string wrap(std::string t) { return is_primary(t) ? t : "(" + t + ")"; }

std::string shortest(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string shortest_f32(float v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

constexpr char kComponents[] = {'x', 'y', 'z', 'w'};

}  // namespace

const ir::TypeInner& Writer::type_of(Handle<ir::Expression> h) const {
    return info_.types[type_handle(h)].inner;
}

Handle<ir::Type> Writer::type_handle(Handle<ir::Expression> h) const {
    return fs_ ? fs_->info->expression_types[h.index] : info_.global_expression_types[h.index];
}

bool Writer::is_pointer(Handle<ir::Expression> h) const { return std::holds_alternative<Pointer>(type_of(h)); }

Result<std::string> Writer::literal(const ir::Literal& l) const {
    auto finite = [&]() -> Result<void> {
        if (!std::isfinite(l.f)) return std::unexpected(Diagnostic{"non-finite float literal cannot be written", {}});
        return {};
    };
    auto signed_text = [](std::string body, bool negative) { return negative ? "(-" + body + ")" : body; };
    switch (l.kind) {
        case ir::LiteralKind::Bool: return std::string(l.b ? "true" : "false");
        case ir::LiteralKind::I32:
            if (l.i == INT32_MIN) return std::string("i32(-2147483648)");
            return signed_text(std::to_string(l.i < 0 ? -l.i : l.i) + "i", l.i < 0);
        case ir::LiteralKind::U32: return std::to_string(static_cast<uint32_t>(l.i)) + "u";
        case ir::LiteralKind::F32: {
            WGSL_CHECK(finite());
            const float f = static_cast<float>(l.f);
            return signed_text(shortest_f32(std::signbit(f) ? -f : f) + "f", std::signbit(f));
        }
        case ir::LiteralKind::F16:
            WGSL_CHECK(finite());
            return signed_text(shortest(std::fabs(l.f)) + "h", std::signbit(l.f));
        case ir::LiteralKind::F64:
            WGSL_CHECK(finite());
            return signed_text(shortest(std::fabs(l.f)) + "lf", std::signbit(l.f));
        case ir::LiteralKind::AbstractInt: return signed_text(std::to_string(l.i < 0 ? -l.i : l.i), l.i < 0);
        case ir::LiteralKind::AbstractFloat: {
            WGSL_CHECK(finite());
            std::string t = shortest(std::fabs(l.f));
            if (t.find_first_of(".e") == std::string::npos) t += ".0";
            return signed_text(t, std::signbit(l.f));
        }
    }
    return std::string("?");
}

Result<std::string> Writer::value(Handle<ir::Expression> h) {
    if (fs_ && !fs_->names[h.index].empty() && (fs_->baked[h.index] || !ir::needs_emit(fs_->fn->expressions[h])))
        return fs_->names[h.index];
    if (is_pointer(h)) {
        const ir::Arena<ir::Expression>& arena = fs_ ? fs_->fn->expressions : m_.global_expressions;
        if (arena[h].is<ir::expr::FunctionArgument>()) return expression(h);
        WGSL_TRY(std::string r, reference(h));
        return "&" + r;
    }
    return expression(h);
}

Result<std::string> Writer::reference(Handle<ir::Expression> h, bool use_name) {
    if (!fs_) return std::unexpected(Diagnostic{"pointer expression at module scope", {}});
    if (use_name && !fs_->names[h.index].empty() && fs_->baked[h.index]) return "(*" + fs_->names[h.index] + ")";
    if (++depth_ > 4 * kMaxInlineDepth + 64) {
        --depth_;
        return std::unexpected(Diagnostic{"expression too deep to write", {}});
    }
    struct Leave {
        int& d;
        ~Leave() { --d; }
    } leave{depth_};
    const ir::Expression& e = fs_->fn->expressions[h];
    if (auto* g = e.as<ir::expr::GlobalVariable>()) return global_names_.at(g->variable.index);
    if (auto* l = e.as<ir::expr::LocalVariable>()) return fs_->local_names.at(l->variable.index);
    if (auto* a = e.as<ir::expr::FunctionArgument>()) return "(*" + fs_->arg_names.at(a->index) + ")";
    if (auto* a = e.as<ir::expr::Access>()) {
        WGSL_TRY(std::string base, reference(a->base));
        WGSL_TRY(std::string index, value(a->index));
        return wrap(base) + "[" + index + "]";
    }
    if (auto* a = e.as<ir::expr::AccessIndex>()) {
        WGSL_TRY(std::string base, reference(a->base));
        const auto* p = std::get_if<Pointer>(&type_of(a->base));
        if (!p) return std::unexpected(Diagnostic{"member access of a non-pointer", {}});
        const ir::TypeInner& bt = info_.types[p->base].inner;
        if (std::holds_alternative<Struct>(bt)) return wrap(base) + "." + member_names_.at(p->base.index).at(a->index);
        if (std::holds_alternative<Vector>(bt) && a->index < 4) return wrap(base) + "." + kComponents[a->index];
        return wrap(base) + "[" + std::to_string(a->index) + "]";
    }
    return std::unexpected(Diagnostic{"this pointer expression cannot be written as a reference", {}});
}

Result<std::string> Writer::expression(Handle<ir::Expression> h) {
    if (++depth_ > 4 * kMaxInlineDepth + 64) {
        --depth_;
        return std::unexpected(Diagnostic{"expression too deep to write", {}});
    }
    struct Leave {
        int& d;
        ~Leave() { --d; }
    } leave{depth_};
    const ir::Arena<ir::Expression>& arena = fs_ ? fs_->fn->expressions : m_.global_expressions;
    const ir::Expression& e = arena[h];
    auto args_text = [&](const std::vector<Handle<ir::Expression>>& args) -> Result<std::string> {
        std::string out;
        for (size_t k = 0; k < args.size(); ++k) {
            WGSL_TRY(std::string a, value(args[k]));
            out += (k ? ", " : "") + a;
        }
        return out;
    };
    if (auto* l = e.as<ir::expr::Literal>()) return literal(*l);
    if (auto* c = e.as<ir::expr::Constant>()) return constant_names_.at(c->constant.index);
    if (auto* o = e.as<ir::expr::Override>()) return override_names_.at(o->override_.index);
    if (auto* z = e.as<ir::expr::ZeroValue>()) return type_text(z->type) + "()";
    if (auto* c = e.as<ir::expr::Compose>()) {
        WGSL_TRY(std::string a, args_text(c->components));
        return type_text(c->type) + "(" + a + ")";
    }
    if (auto* a = e.as<ir::expr::Access>()) {
        WGSL_TRY(std::string base, value(a->base));
        WGSL_TRY(std::string index, value(a->index));
        return wrap(base) + "[" + index + "]";
    }
    if (auto* a = e.as<ir::expr::AccessIndex>()) {
        WGSL_TRY(std::string base, value(a->base));
        const Handle<ir::Type> bt = type_handle(a->base);
        const ir::TypeInner& t = info_.types[bt].inner;
        if (std::holds_alternative<Struct>(t)) {
            if (bt.index < member_names_.size() && a->index < member_names_[bt.index].size())
                return wrap(base) + "." + member_names_[bt.index][a->index];
            const auto& s = std::get<Struct>(t);  // predeclared result structs keep their member names
            return wrap(base) + "." + s.members.at(a->index).name;
        }
        if (std::holds_alternative<Vector>(t) && a->index < 4) return wrap(base) + "." + kComponents[a->index];
        return wrap(base) + "[" + std::to_string(a->index) + "]";
    }
    if (auto* s = e.as<ir::expr::Splat>()) {
        WGSL_TRY(std::string v, value(s->value));
        return type_text(type_handle(h)) + "(" + v + ")";
    }
    if (auto* s = e.as<ir::expr::Swizzle>()) {
        WGSL_TRY(std::string v, value(s->vector));
        std::string pat;
        for (int k = 0; k < static_cast<int>(s->size); ++k) pat += kComponents[s->pattern[k] & 3];
        return wrap(v) + "." + pat;
    }
    if (auto* a = e.as<ir::expr::FunctionArgument>()) return fs_->arg_names.at(a->index);
    if (e.is<ir::expr::GlobalVariable>() || e.is<ir::expr::LocalVariable>()) {
        WGSL_TRY(std::string r, reference(h));
        return "&" + r;
    }
    if (auto* l = e.as<ir::expr::Load>()) {
        const auto* p = std::get_if<Pointer>(&type_of(l->pointer));
        if (p && std::holds_alternative<Atomic>(info_.types[p->base].inner)) {
            WGSL_TRY(std::string ptr, value(l->pointer));
            return "atomicLoad(" + ptr + ")";
        }
        return reference(l->pointer);
    }
    if (auto* u = e.as<ir::expr::Unary>()) {
        WGSL_TRY(std::string v, value(u->expr));
        const char* op = u->op == ir::UnaryOperator::Negate ? "-" : u->op == ir::UnaryOperator::LogicalNot ? "!" : "~";
        return op + wrap(v);
    }
    if (auto* b = e.as<ir::expr::Binary>()) {
        static constexpr const char* ops[] = {"+", "-", "*", "/", "%", "==", "!=", "<", "<=", ">", ">=",
                                              "&", "^", "|", "&&", "||", "<<", ">>"};
        WGSL_TRY(std::string l, value(b->left));
        WGSL_TRY(std::string r, value(b->right));
        return "(" + l + " " + ops[static_cast<int>(b->op)] + " " + r + ")";
    }
    if (auto* s = e.as<ir::expr::Select>()) {
        WGSL_TRY(std::string a, args_text({s->reject, s->accept, s->condition}));
        return "select(" + a + ")";
    }
    if (auto* r = e.as<ir::expr::Relational>()) {
        WGSL_TRY(std::string v, value(r->argument));
        return std::string(r->fun == ir::RelationalFunction::All ? "all(" : "any(") + v + ")";
    }
    if (auto* mth = e.as<ir::expr::Math>()) {
        std::vector<Handle<ir::Expression>> args{mth->arg};
        for (auto o : {mth->arg1, mth->arg2, mth->arg3})
            if (o) args.push_back(*o);
        WGSL_TRY(std::string a, args_text(args));
        return std::string(math_info(mth->fun).name) + "(" + a + ")";
    }
    if (auto* as = e.as<ir::expr::As>()) {
        WGSL_TRY(std::string v, value(as->expr));
        const std::string t = type_text(type_handle(h));
        return as->convert ? t + "(" + v + ")" : "bitcast<" + t + ">(" + v + ")";
    }
    if (e.is<ir::expr::CallResult>() || e.is<ir::expr::AtomicResult>()) {
        if (fs_ && !fs_->names[h.index].empty()) return fs_->names[h.index];
        return std::unexpected(Diagnostic{"call or atomic result used without its statement", {}});
    }
    if (auto* al = e.as<ir::expr::ArrayLength>()) {
        WGSL_TRY(std::string p, value(al->array));
        return "arrayLength(" + p + ")";
    }
    return std::unexpected(Diagnostic{"unknown expression kind", {}});
}

}  // namespace trelliken::wgsl::writing

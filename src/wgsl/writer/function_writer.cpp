// Function bodies: which expressions become `let`s, and the statements themselves.

#include <algorithm>

#include "wgsl/common/try.h"
#include "wgsl/writer/writer_impl.h"

namespace trelliken::wgsl::writing {

using ir::Handle;

namespace {

struct Site {
    uint32_t block = 0;
    uint32_t index = 0;
    friend bool operator==(const Site&, const Site&) = default;
};

// Where expressions are emitted and where statements use them, by block and statement index.
struct Placement {
    std::vector<std::vector<uint8_t>> block_is_emit;  // per block, per statement: an Emit?
    std::vector<Site> emit_at;                         // per expression
    std::vector<uint8_t> emitted;
    std::vector<std::vector<Site>> sites;              // per expression, at most two kept
    std::vector<uint32_t> counts;                      // per expression, all textual uses

    void add(uint32_t h, Site s) {
        ++counts[h];
        if (sites[h].size() < 2) sites[h].push_back(s);
    }

    void walk(const ir::Block& b) {
        const uint32_t id = static_cast<uint32_t>(block_is_emit.size());
        block_is_emit.emplace_back();
        for (const ir::Statement& s : b.statements) block_is_emit[id].push_back(s.is<ir::stmt::Emit>());
        for (uint32_t i = 0; i < b.statements.size(); ++i) {
            const ir::Statement& s = b.statements[i];
            const Site here{id, i};
            if (auto* e = s.as<ir::stmt::Emit>()) {
                for (uint32_t h = e->range.first; h < e->range.end && h < emitted.size(); ++h) {
                    emitted[h] = 1;
                    emit_at[h] = here;
                }
            } else if (auto* blk = s.as<ir::stmt::Block>()) {
                walk(blk->block);
            } else if (auto* x = s.as<ir::stmt::If>()) {
                add(x->condition.index, here);
                walk(x->accept);
                walk(x->reject);
            } else if (auto* x = s.as<ir::stmt::Switch>()) {
                add(x->selector.index, here);
                for (const auto& c : x->cases) walk(c.body);
            } else if (auto* x = s.as<ir::stmt::Loop>()) {
                walk(x->body);
                const uint32_t cont = static_cast<uint32_t>(block_is_emit.size());
                walk(x->continuing);
                if (x->break_if) add(x->break_if->index, Site{cont, static_cast<uint32_t>(x->continuing.size())});
            } else if (auto* x = s.as<ir::stmt::Return>()) {
                if (x->value) add(x->value->index, here);
            } else if (auto* x = s.as<ir::stmt::Store>()) {
                add(x->pointer.index, here);
                add(x->value.index, here);
            } else if (auto* x = s.as<ir::stmt::Call>()) {
                for (auto a : x->arguments) add(a.index, here);
            } else if (auto* x = s.as<ir::stmt::Atomic>()) {
                add(x->pointer.index, here);
                add(x->value.index, here);
                if (x->compare) add(x->compare->index, here);
            }
        }
    }

    // Inlining moves evaluation from the Emit to the use; that is only unobservable when nothing but Emits
    // stands between them in the same block.
    bool inline_safe(uint32_t h, Site use) const {
        const Site e = emit_at[h];
        if (use.block != e.block || use.index < e.index) return false;
        const auto& kinds = block_is_emit[e.block];
        for (uint32_t i = e.index + 1; i < use.index && i < kinds.size(); ++i)
            if (!kinds[i]) return false;
        return true;
    }
};

}  // namespace

void Writer::plan(FunctionState& st) {
    const ir::Function& fn = *st.fn;
    const uint32_t n = fn.expressions.size();
    Placement p;
    p.emit_at.resize(n);
    p.emitted.assign(n, 0);
    p.sites.resize(n);
    p.counts.assign(n, 0);
    p.walk(fn.body);
    st.baked.assign(n, 0);
    for (uint32_t i = n; i-- > 0;) {
        const auto h = fn.expressions.handle(i);
        const ir::Expression& e = fn.expressions[h];
        if (!p.emitted[i]) {
            // Expressions that are not emitted are either written where used (literals, variables...) or, when
            // dead, never written at all.
            if (!ir::needs_emit(e) && !e.is<ir::expr::CallResult>() && !e.is<ir::expr::AtomicResult>()) {
                const auto sites = p.sites[i];
                const uint32_t count = p.counts[i];
                ir::for_each_operand(e, [&](Handle<ir::Expression> o) {
                    for (const Site& s : sites) p.add(o.index, s);
                    if (count > sites.size()) p.counts[o.index] += count - static_cast<uint32_t>(sites.size());
                });
            }
            continue;
        }
        const bool named = fn.named_expressions.count(h) != 0;
        bool bake;
        if (named) bake = true;
        else if (p.counts[i] == 0) bake = true;
        else if (is_pointer(h)) bake = false;
        else bake = !(p.counts[i] == 1 && p.inline_safe(i, p.sites[i][0]));
        st.baked[i] = bake;
        const Site own = p.emit_at[i];
        const auto sites = p.sites[i];
        const uint32_t count = p.counts[i];
        ir::for_each_operand(e, [&](Handle<ir::Expression> o) {
            if (bake) {
                p.add(o.index, own);
            } else {
                for (const Site& s : sites) p.add(o.index, s);
                if (count > sites.size()) p.counts[o.index] += count - static_cast<uint32_t>(sites.size());
            }
        });
    }
    // Long inline chains are split so writing stays shallow.
    std::vector<int> depth(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const ir::Expression& e = fn.expressions[fn.expressions.handle(i)];
        int d = 0;
        ir::for_each_operand(e, [&](Handle<ir::Expression> o) {
            if (o.index < i && !st.baked[o.index]) d = std::max(d, depth[o.index]);
        });
        depth[i] = d + 1;
        if (p.emitted[i] && depth[i] > kMaxInlineDepth) {
            st.baked[i] = 1;
            depth[i] = 0;
        }
    }
    st.sites.assign(n, 0);
    for (uint32_t i = 0; i < n; ++i) st.sites[i] = p.counts[i];
}

void Writer::line(int indent, const std::string& text) {
    out_.append(static_cast<size_t>(indent) * 4, ' ');
    out_ += text;
    out_ += '\n';
}

Result<void> Writer::block(const ir::Block& b, int indent) {
    for (const ir::Statement& s : b.statements) WGSL_CHECK(statement(s, indent));
    return {};
}

Result<void> Writer::statement(const ir::Statement& s, int indent) {
    FunctionState& st = *fs_;
    if (auto* e = s.as<ir::stmt::Emit>()) {
        for (uint32_t i = e->range.first; i < e->range.end; ++i) {
            if (!st.baked[i]) continue;
            const auto h = st.fn->expressions.handle(i);
            WGSL_TRY(std::string text, is_pointer(h) ? reference(h, false) : expression(h));
            if (is_pointer(h)) text = "&" + text;
            if (st.names[i].empty()) line(indent, "_ = " + text + ";");
            else line(indent, "let " + st.names[i] + " = " + text + ";");
        }
        return {};
    }
    if (auto* b = s.as<ir::stmt::Block>()) {
        line(indent, "{");
        WGSL_CHECK(block(b->block, indent + 1));
        line(indent, "}");
        return {};
    }
    if (auto* x = s.as<ir::stmt::If>()) {
        WGSL_TRY(std::string c, value(x->condition));
        line(indent, "if " + c + " {");
        WGSL_CHECK(block(x->accept, indent + 1));
        if (!x->reject.empty()) {
            line(indent, "} else {");
            WGSL_CHECK(block(x->reject, indent + 1));
        }
        line(indent, "}");
        return {};
    }
    if (auto* x = s.as<ir::stmt::Switch>()) {
        WGSL_TRY(std::string sel, value(x->selector));
        line(indent, "switch " + sel + " {");
        for (const auto& c : x->cases) {
            std::string head;
            for (const auto& v : c.values) {
                if (!head.empty()) head += ", ";
                head += v.kind == ir::SwitchValue::Kind::Default ? "default"
                        : v.kind == ir::SwitchValue::Kind::U32  ? std::to_string(v.value) + "u"
                                                                : std::to_string(v.value) + "i";
            }
            const bool only_default = c.values.size() == 1 && c.values[0].kind == ir::SwitchValue::Kind::Default;
            line(indent + 1, (only_default ? head : "case " + head) + ": {");
            WGSL_CHECK(block(c.body, indent + 2));
            line(indent + 1, "}");
        }
        line(indent, "}");
        return {};
    }
    if (auto* x = s.as<ir::stmt::Loop>()) {
        line(indent, "loop {");
        WGSL_CHECK(block(x->body, indent + 1));
        if (!x->continuing.empty() || x->break_if) {
            line(indent + 1, "continuing {");
            WGSL_CHECK(block(x->continuing, indent + 2));
            if (x->break_if) {
                WGSL_TRY(std::string c, value(*x->break_if));
                line(indent + 2, "break if " + c + ";");
            }
            line(indent + 1, "}");
        }
        line(indent, "}");
        return {};
    }
    if (s.is<ir::stmt::Break>()) {
        line(indent, "break;");
        return {};
    }
    if (s.is<ir::stmt::Continue>()) {
        line(indent, "continue;");
        return {};
    }
    if (auto* x = s.as<ir::stmt::Return>()) {
        if (!x->value) {
            line(indent, "return;");
            return {};
        }
        WGSL_TRY(std::string v, value(*x->value));
        line(indent, "return " + v + ";");
        return {};
    }
    if (auto* x = s.as<ir::stmt::Store>()) {
        WGSL_TRY(std::string v, value(x->value));
        const auto* p = std::get_if<ir::type::Pointer>(&type_of(x->pointer));
        if (p && std::holds_alternative<ir::type::Atomic>(info_.types[p->base].inner)) {
            WGSL_TRY(std::string ptr, value(x->pointer));
            line(indent, "atomicStore(" + ptr + ", " + v + ");");
            return {};
        }
        WGSL_TRY(std::string r, reference(x->pointer));
        line(indent, r + " = " + v + ";");
        return {};
    }
    if (auto* x = s.as<ir::stmt::Call>()) {
        std::string call = function_names_.at(x->function.index) + "(";
        for (size_t k = 0; k < x->arguments.size(); ++k) {
            WGSL_TRY(std::string a, value(x->arguments[k]));
            call += (k ? ", " : "") + a;
        }
        call += ")";
        if (x->result && !st.names[x->result->index].empty())
            line(indent, "let " + st.names[x->result->index] + " = " + call + ";");
        else
            line(indent, call + ";");
        return {};
    }
    if (auto* x = s.as<ir::stmt::Atomic>()) {
        static constexpr const char* names[] = {"atomicAdd", "atomicSub", "atomicAnd", "atomicXor",
                                                "atomicOr",  "atomicMin", "atomicMax", "atomicExchange"};
        WGSL_TRY(std::string ptr, value(x->pointer));
        WGSL_TRY(std::string v, value(x->value));
        std::string call;
        if (x->compare) {
            WGSL_TRY(std::string c, value(*x->compare));
            call = "atomicCompareExchangeWeak(" + ptr + ", " + c + ", " + v + ")";
        } else {
            call = std::string(names[static_cast<int>(x->fun)]) + "(" + ptr + ", " + v + ")";
        }
        if (x->result && !st.names[x->result->index].empty())
            line(indent, "let " + st.names[x->result->index] + " = " + call + ";");
        else
            line(indent, call + ";");
        return {};
    }
    if (auto* x = s.as<ir::stmt::Barrier>()) {
        if (x->flags & ir::BarrierStorage) line(indent, "storageBarrier();");
        if (x->flags & ir::BarrierWorkGroup) line(indent, "workgroupBarrier();");
        return {};
    }
    return std::unexpected(Diagnostic{"unknown statement kind", {}});
}

}  // namespace trelliken::wgsl::writing

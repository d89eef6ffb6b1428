// Module layout of the written text: enables, structs, constants, overrides, variables, functions, entry points.

#include "wgsl/common/try.h"
#include "wgsl/writer/writer_impl.h"

namespace trelliken::wgsl {
namespace writing {

using namespace ir::type;

std::string Writer::scalar_text(ir::Scalar s) const {
    switch (s.kind) {
        case ir::ScalarKind::Bool: return "bool";
        case ir::ScalarKind::Sint: return "i32";
        case ir::ScalarKind::Uint: return "u32";
        case ir::ScalarKind::Float: return s.width == 2 ? "f16" : s.width == 8 ? "f64" : "f32";
        default: return "?";
    }
}

std::string Writer::type_text(ir::Handle<ir::Type> h) const {
    const ir::Type& t = info_.types[h];
    const auto n = [](ir::VectorSize s) { return std::to_string(static_cast<int>(s)); };
    if (auto* s = std::get_if<Scalar>(&t.inner)) return scalar_text(s->scalar);
    if (auto* v = std::get_if<Vector>(&t.inner)) return "vec" + n(v->size) + "<" + scalar_text(v->scalar) + ">";
    if (auto* m = std::get_if<Matrix>(&t.inner))
        return "mat" + n(m->columns) + "x" + n(m->rows) + "<" + scalar_text(m->scalar) + ">";
    if (auto* a = std::get_if<Atomic>(&t.inner)) return "atomic<" + scalar_text(a->scalar) + ">";
    if (auto* a = std::get_if<Array>(&t.inner)) {
        std::string out = "array<" + type_text(a->base);
        if (a->size.kind == ir::ArraySize::Kind::Constant) out += ", " + std::to_string(a->size.count);
        return out + ">";
    }
    if (auto* p = std::get_if<Pointer>(&t.inner)) {
        static constexpr const char* spaces[] = {"function", "private", "workgroup", "uniform", "storage"};
        std::string out = std::string("ptr<") + spaces[static_cast<int>(p->space)] + ", " + type_text(p->base);
        if (p->space == ir::AddressSpace::Storage)
            out += p->access == ir::AccessMode::ReadWrite ? ", read_write" : ", read";
        return out + ">";
    }
    if (h.index < type_names_.size() && !type_names_[h.index].empty()) return type_names_[h.index];
    return t.name ? *t.name : "?";
}

void Writer::name_module() {
    type_names_.resize(m_.types.size());
    member_names_.resize(m_.types.size());
    for (uint32_t i = 0; i < m_.types.size(); ++i) {
        const ir::Type& t = m_.types[m_.types.handle(i)];
        auto* s = std::get_if<Struct>(&t.inner);
        if (!s) continue;
        if (t.name && t.name->starts_with("__")) {
            type_names_[i] = *t.name;
        } else {
            type_names_[i] = module_names_.fresh(t.name ? *t.name : "S");
        }
        Namer members;
        for (const auto& mem : s->members) member_names_[i].push_back(members.fresh(mem.name));
    }
    for (const auto& c : m_.constants.items()) constant_names_.push_back(module_names_.fresh(c.name));
    for (const auto& o : m_.overrides.items()) override_names_.push_back(module_names_.fresh(o.name));
    for (const auto& g : m_.global_variables.items()) global_names_.push_back(module_names_.fresh(g.name));
    for (const auto& f : m_.functions.items()) function_names_.push_back(module_names_.fresh(f.name));
    for (const auto& ep : m_.entry_points) entry_names_.push_back(module_names_.fresh(ep.name));
}

Result<void> Writer::write_types() {
    for (uint32_t i = 0; i < m_.types.size(); ++i) {
        const ir::Type& t = m_.types[m_.types.handle(i)];
        auto* s = std::get_if<Struct>(&t.inner);
        if (!s || type_names_[i].starts_with("__")) continue;
        out_ += "struct " + type_names_[i] + " {\n";
        for (size_t k = 0; k < s->members.size(); ++k) {
            const auto& mem = s->members[k];
            out_ += "    ";
            if (mem.align) out_ += "@align(" + std::to_string(*mem.align) + ") ";
            if (mem.size) out_ += "@size(" + std::to_string(*mem.size) + ") ";
            out_ += member_names_[i][k] + ": " + type_text(mem.type) + ",\n";
        }
        out_ += "}\n\n";
    }
    return {};
}

Result<void> Writer::write_globals() {
    bool any = false;
    for (uint32_t i = 0; i < m_.constants.size(); ++i) {
        const ir::Constant& c = m_.constants[m_.constants.handle(i)];
        WGSL_TRY(std::string init, value(c.init));
        out_ += "const " + constant_names_[i] + ": " + type_text(c.type) + " = " + init + ";\n";
        any = true;
    }
    for (uint32_t i = 0; i < m_.overrides.size(); ++i) {
        const ir::Override& o = m_.overrides[m_.overrides.handle(i)];
        if (o.id) out_ += "@id(" + std::to_string(*o.id) + ") ";
        out_ += "override " + override_names_[i] + ": " + type_text(o.type);
        if (o.init) {
            WGSL_TRY(std::string init, value(*o.init));
            out_ += " = " + init;
        }
        out_ += ";\n";
        any = true;
    }
    for (uint32_t i = 0; i < m_.global_variables.size(); ++i) {
        const ir::GlobalVariable& g = m_.global_variables[m_.global_variables.handle(i)];
        if (g.binding)
            out_ += "@group(" + std::to_string(g.binding->group) + ") @binding(" + std::to_string(g.binding->binding) + ") ";
        switch (g.space) {
            case ir::AddressSpace::Private: out_ += "var<private> "; break;
            case ir::AddressSpace::WorkGroup: out_ += "var<workgroup> "; break;
            case ir::AddressSpace::Uniform: out_ += "var<uniform> "; break;
            case ir::AddressSpace::Storage:
                out_ += g.access == ir::AccessMode::ReadWrite ? "var<storage, read_write> " : "var<storage, read> ";
                break;
            case ir::AddressSpace::Function: return std::unexpected(Diagnostic{"module variable in function space", {}});
        }
        out_ += global_names_[i] + ": " + type_text(g.type);
        if (g.init) {
            WGSL_TRY(std::string init, value(*g.init));
            out_ += " = " + init;
        }
        out_ += ";\n";
        any = true;
    }
    if (any) out_ += "\n";
    return {};
}

Result<std::string> Writer::run() {
    name_module();
    bool f16 = false;
    for (const auto& e : m_.enables) f16 = f16 || e == "f16";
    for (const auto& t : m_.types.items()) {
        auto uses_f16 = [](ir::Scalar s) { return s.kind == ir::ScalarKind::Float && s.width == 2; };
        if (auto* s = std::get_if<Scalar>(&t.inner)) f16 = f16 || uses_f16(s->scalar);
        if (auto* v = std::get_if<Vector>(&t.inner)) f16 = f16 || uses_f16(v->scalar);
        if (auto* m = std::get_if<Matrix>(&t.inner)) f16 = f16 || uses_f16(m->scalar);
    }
    if (f16) out_ += "enable f16;\n\n";
    WGSL_CHECK(write_types());
    WGSL_CHECK(write_globals());
    if (info_.functions.size() != m_.functions.size() || info_.entry_points.size() != m_.entry_points.size())
        return std::unexpected(Diagnostic{"module info does not belong to this module", {}});
    for (uint32_t i = 0; i < m_.functions.size(); ++i)
        WGSL_CHECK(write_function(m_.functions[m_.functions.handle(i)], info_.functions[i], nullptr, function_names_[i]));
    for (size_t i = 0; i < m_.entry_points.size(); ++i)
        WGSL_CHECK(write_function(m_.entry_points[i].function, info_.entry_points[i], &m_.entry_points[i], entry_names_[i]));
    while (out_.size() >= 2 && out_[out_.size() - 1] == '\n' && out_[out_.size() - 2] == '\n') out_.pop_back();
    return std::move(out_);
}

Result<void> Writer::write_function(const ir::Function& fn, const FunctionInfo& info, const ir::EntryPoint* ep,
                                    const std::string& name) {
    if (info.expression_types.size() != fn.expressions.size())
        return std::unexpected(Diagnostic{"module info does not belong to this module", {}});
    FunctionState st;
    st.fn = &fn;
    st.info = &info;
    Namer names(&module_names_);
    for (const auto& a : fn.arguments) st.arg_names.push_back(names.fresh(a.name));
    for (const auto& l : fn.local_variables.items()) st.local_names.push_back(names.fresh(l.name));
    st.names.resize(fn.expressions.size());
    // Source names of expressions first, in handle order, so renaming is stable.
    for (uint32_t i = 0; i < fn.expressions.size(); ++i) {
        auto it = fn.named_expressions.find(fn.expressions.handle(i));
        if (it != fn.named_expressions.end()) st.names[i] = names.fresh(it->second);
    }
    fs_ = &st;
    plan(st);
    for (uint32_t i = 0; i < fn.expressions.size(); ++i) {
        const ir::Expression& e = fn.expressions[fn.expressions.handle(i)];
        const bool produced = e.is<ir::expr::CallResult>() || e.is<ir::expr::AtomicResult>();
        if (st.names[i].empty() && ((st.baked[i] && st.sites[i] > 0) || (produced && st.sites[i] > 0)))
            st.names[i] = names.fresh("_e" + std::to_string(i));
    }
    fs_ = &st;
    if (ep) {
        out_ += "@compute @workgroup_size(";
        for (int k = 0; k < 3; ++k) {
            if (k) out_ += ", ";
            if (ep->workgroup_size_overrides[k]) {
                fs_ = nullptr;
                auto v = value(*ep->workgroup_size_overrides[k]);
                fs_ = &st;
                if (!v) return std::unexpected(v.error());
                out_ += *v;
            } else {
                out_ += std::to_string(ep->workgroup_size[k]);
            }
        }
        out_ += ")\n";
    }
    out_ += "fn " + name + "(";
    for (size_t k = 0; k < fn.arguments.size(); ++k) {
        if (k) out_ += ", ";
        const auto& a = fn.arguments[k];
        if (a.binding && a.binding->kind == ir::Binding::Kind::BuiltIn) {
            static constexpr const char* builtins[] = {"global_invocation_id", "local_invocation_id",
                                                       "local_invocation_index", "workgroup_id", "num_workgroups"};
            out_ += std::string("@builtin(") + builtins[static_cast<int>(a.binding->builtin)] + ") ";
        } else if (a.binding) {
            out_ += "@location(" + std::to_string(a.binding->location) + ") ";
        }
        out_ += st.arg_names[k] + ": " + type_text(a.type);
    }
    out_ += ")";
    if (fn.result) out_ += " -> " + type_text(fn.result->type);
    out_ += " {\n";
    for (uint32_t k = 0; k < fn.local_variables.size(); ++k) {
        const ir::LocalVariable& l = fn.local_variables[fn.local_variables.handle(k)];
        std::string text = "var " + st.local_names[k] + ": " + type_text(l.type);
        if (l.init) {
            WGSL_TRY(std::string init, value(*l.init));
            text += " = " + init;
        }
        line(1, text + ";");
    }
    auto r = block(fn.body, 1);
    fs_ = nullptr;
    if (!r) return r;
    out_ += "}\n\n";
    return {};
}

}  // namespace writing

Result<std::string> write_wgsl(const ir::Module& module, const ModuleInfo& info) {
    return writing::Writer(module, info).run();
}

}  // namespace trelliken::wgsl

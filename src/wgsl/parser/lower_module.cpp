// Module scope: declaration lookup and on-demand lowering, structs, constants, overrides, variables, functions
// and entry points, and the callee-first function order.

#include "wgsl/common/try.h"
#include "wgsl/parser/lower.h"

namespace trelliken::wgsl::lower {

Lowerer::Lowerer(std::string_view source, const ast::Module& ast) : src_(source), ast_(ast), interner_(m_.types) {}

Result<uint32_t> Lowerer::const_u32(ast::ExprId e, std::string_view what) {
    WGSL_TRY(Operand v, value(e));
    if (!v.value || !v.type.is_scalar() || !v.type.scalar.is_integer())
        return fail(v.span, std::string(what) + " must be a constant integer");
    const int64_t n = v.value->scalar.i;
    if (n < 0 || n > UINT32_MAX) return fail(v.span, std::string(what) + " out of range");
    return static_cast<uint32_t>(n);
}

Result<GlobalEntry*> Lowerer::resolve_global(std::string_view name, Span span) {
    auto it = globals_.find(name);
    if (it == globals_.end()) return fail(span, "unknown name '" + std::string(name) + "'");
    WGSL_CHECK(lower_global(it->second));
    return &it->second;
}

Result<void> Lowerer::lower_global(GlobalEntry& entry) {
    if (entry.state == GlobalEntry::State::Done) return {};
    const ast::Global& g = ast_.globals[entry.index];
    if (entry.state == GlobalEntry::State::InProgress)
        return fail(g.span, "'" + std::string(g.name) + "' depends on itself");
    if (++depth_ > kMaxLoweringDepth) {
        --depth_;
        return fail(g.span, "declarations nested too deeply");
    }
    entry.state = GlobalEntry::State::InProgress;
    // Declarations are lowered outside any function, whatever triggered them.
    FunctionContext* saved = fn_;
    fn_ = nullptr;
    Result<void> r{};
    switch (g.kind) {
        case ast::GlobalKind::Struct: r = lower_struct(entry, g); break;
        case ast::GlobalKind::Alias: {
            auto t = resolve_type(g.type);
            if (!t) r = std::unexpected(t.error());
            else entry.type = *t;
            break;
        }
        case ast::GlobalKind::Decl:
            switch (g.decl.kind) {
                case ast::DeclKind::Const: r = lower_const(entry, g); break;
                case ast::DeclKind::Override: r = lower_override(entry, g); break;
                case ast::DeclKind::Var: r = lower_var(entry, g); break;
                case ast::DeclKind::Let: r = fail(g.span, "'let' is not allowed at module scope"); break;
            }
            break;
        case ast::GlobalKind::Function: r = lower_function(entry, g); break;
        case ast::GlobalKind::ConstAssert: break;
    }
    fn_ = saved;
    --depth_;
    if (!r) return r;
    entry.state = GlobalEntry::State::Done;
    return {};
}

Result<void> Lowerer::lower_struct(GlobalEntry& entry, const ast::Global& g) {
    ir::type::Struct s;
    for (const ast::StructMember& am : g.members) {
        for (const auto& other : s.members)
            if (other.name == am.name) return fail(am.span, "duplicate member '" + std::string(am.name) + "'");
        WGSL_TRY(VType t, resolve_type(am.type));
        if (t.kind == VType::Kind::Pointer) return fail(am.span, "struct members cannot be pointers");
        ir::StructMember m{std::string(am.name), intern(t), std::nullopt, 0, std::nullopt, std::nullopt};
        for (const ast::Attribute& a : am.attributes) {
            if (a.name == "align" || a.name == "size") {
                if (a.args.size() != 1) return fail(a.span, "@" + std::string(a.name) + " takes one argument");
                WGSL_TRY(uint32_t v, const_u32(a.args[0], "@" + std::string(a.name)));
                (a.name == "align" ? m.align : m.size) = v;
            } else if (a.name == "builtin" || a.name == "location") {
                return fail(a.span, "@" + std::string(a.name) + " on struct members is not supported in compute shaders");
            } else {
                return fail(a.span, "unknown attribute '@" + std::string(a.name) + "'");
            }
        }
        s.members.push_back(std::move(m));
    }
    if (s.members.empty()) return fail(g.span, "a struct needs at least one member");
    for (size_t i = 0; i + 1 < s.members.size(); ++i) {
        auto* a = std::get_if<ir::type::Array>(&m_.types[s.members[i].type].inner);
        if (a && a->size.kind == ir::ArraySize::Kind::Dynamic)
            return fail(g.members[i].span, "only the last member of a struct can be a runtime-sized array");
    }
    WGSL_CHECK(compute_struct_layout(m_.types, s, g.span));
    entry.type = VType::named(interner_.add_struct(std::string(g.name), std::move(s), g.span));
    return {};
}

Result<void> Lowerer::lower_const(GlobalEntry& entry, const ast::Global& g) {
    const ast::Decl& d = g.decl;
    if (!d.attributes.empty()) return fail(d.attributes[0].span, "attributes are not allowed on 'const'");
    if (d.init == ast::kNone) return fail(d.name_span, "a 'const' needs an initialiser");
    WGSL_TRY(Operand v, value(d.init));
    if (d.type != ast::kNone) {
        WGSL_TRY(VType t, resolve_type(d.type));
        WGSL_TRY(v, coerce(std::move(v), t, "initialiser"));
    }
    if (!v.value) return fail(v.span, "'const' initialiser is not a constant expression");
    entry.type = v.type;
    entry.value = v.value;
    if (!v.type.is_abstract()) {
        const auto init = commit_value(*v.value, v.span);
        entry.constant = m_.constants.append(ir::Constant{std::string(g.name), intern(v.type), init}, g.span);
    }
    return {};
}

Result<void> Lowerer::lower_override(GlobalEntry& entry, const ast::Global& g) {
    const ast::Decl& d = g.decl;
    ir::Override o{std::string(g.name), std::nullopt, {}, std::nullopt};
    for (const ast::Attribute& a : d.attributes) {
        if (a.name != "id") return fail(a.span, "unknown attribute '@" + std::string(a.name) + "' on 'override'");
        if (a.args.size() != 1) return fail(a.span, "@id takes one argument");
        WGSL_TRY(uint32_t id, const_u32(a.args[0], "@id"));
        if (id > 65535) return fail(a.span, "@id must be below 65536");
        o.id = static_cast<uint16_t>(id);
    }
    std::optional<VType> t;
    if (d.type != ast::kNone) {
        WGSL_TRY(t, resolve_type(d.type));
    }
    if (d.init != ast::kNone) {
        WGSL_TRY(Operand v, value(d.init));
        if (t) {
            WGSL_TRY(v, coerce(std::move(v), *t, "initialiser"));
        } else {
            t = concretize(v.type);
        }
        WGSL_TRY(auto h, materialize(v, *t));
        o.init = h;
    }
    if (!t) return fail(d.name_span, "an 'override' needs a type or an initialiser");
    if (!t->is_scalar() || t->scalar.is_abstract() || t->scalar == ir::Scalar::f64())
        return fail(d.name_span, "an 'override' must be bool, i32, u32, f32 or f16");
    o.type = intern(*t);
    entry.override_ = m_.overrides.append(std::move(o), g.span);
    return {};
}

Result<void> Lowerer::lower_var(GlobalEntry& entry, const ast::Global& g) {
    const ast::Decl& d = g.decl;
    ir::GlobalVariable v;
    v.name = std::string(g.name);
    const std::string_view sp = d.address_space;
    if (sp == "private") v.space = ir::AddressSpace::Private;
    else if (sp == "workgroup") v.space = ir::AddressSpace::WorkGroup;
    else if (sp == "uniform") v.space = ir::AddressSpace::Uniform;
    else if (sp == "storage") v.space = ir::AddressSpace::Storage;
    else if (sp.empty()) return fail(d.name_span, "a module-scope 'var' needs an address space");
    else return fail(d.name_span, "address space '" + std::string(sp) + "' is not allowed at module scope");
    v.access = v.space == ir::AddressSpace::Storage || v.space == ir::AddressSpace::Uniform ? ir::AccessMode::Read
                                                                                          : ir::AccessMode::ReadWrite;
    if (!d.access.empty()) {
        if (v.space != ir::AddressSpace::Storage) return fail(d.name_span, "only storage variables take an access mode");
        if (d.access == "read") v.access = ir::AccessMode::Read;
        else if (d.access == "read_write") v.access = ir::AccessMode::ReadWrite;
        else return fail(d.name_span, "storage buffers must be 'read' or 'read_write'");
    }
    std::optional<uint32_t> group, binding;
    for (const ast::Attribute& a : d.attributes) {
        if (a.name != "group" && a.name != "binding")
            return fail(a.span, "unknown attribute '@" + std::string(a.name) + "' on 'var'");
        if (a.args.size() != 1) return fail(a.span, "@" + std::string(a.name) + " takes one argument");
        WGSL_TRY(uint32_t n, const_u32(a.args[0], "@" + std::string(a.name)));
        (a.name == "group" ? group : binding) = n;
    }
    const bool resource = v.space == ir::AddressSpace::Uniform || v.space == ir::AddressSpace::Storage;
    if (resource) {
        if (!group || !binding) return fail(d.name_span, "resource variables need @group and @binding");
        v.binding = ir::ResourceBinding{*group, *binding};
    } else if (group || binding) {
        return fail(d.name_span, "@group and @binding are only allowed on uniform and storage variables");
    }
    std::optional<VType> t;
    if (d.type != ast::kNone) {
        WGSL_TRY(t, resolve_type(d.type));
    }
    if (d.init != ast::kNone) {
        if (v.space != ir::AddressSpace::Private) return fail(d.name_span, "only private variables can be initialised");
        WGSL_TRY(Operand init, value(d.init));
        if (t) {
            WGSL_TRY(init, coerce(std::move(init), *t, "initialiser"));
        } else {
            t = concretize(init.type);
        }
        WGSL_TRY(auto h, materialize(init, *t));
        v.init = h;
    }
    if (!t) return fail(d.name_span, "a module-scope 'var' needs a type");
    if (t->kind == VType::Kind::Pointer) return fail(d.name_span, "variables cannot hold pointers");
    v.type = intern(*t);
    entry.variable = m_.global_variables.append(std::move(v), g.span);
    return {};
}

namespace {

Result<ir::Binding> builtin_binding(const ast::Module& ast, const ast::Attribute& a) {
    if (a.args.size() != 1 || ast.exprs[a.args[0]].kind != ast::ExprKind::Ident)
        return error_at(a.span, "@builtin takes one builtin name");
    const std::string_view n = ast.exprs[a.args[0]].name;
    ir::Binding b;
    b.kind = ir::Binding::Kind::BuiltIn;
    if (n == "global_invocation_id") b.builtin = ir::BuiltIn::GlobalInvocationId;
    else if (n == "local_invocation_id") b.builtin = ir::BuiltIn::LocalInvocationId;
    else if (n == "local_invocation_index") b.builtin = ir::BuiltIn::LocalInvocationIndex;
    else if (n == "workgroup_id") b.builtin = ir::BuiltIn::WorkGroupId;
    else if (n == "num_workgroups") b.builtin = ir::BuiltIn::NumWorkGroups;
    else return error_at(a.span, "unknown or non-compute builtin '" + std::string(n) + "'");
    return b;
}

}  // namespace

Result<void> Lowerer::lower_function(GlobalEntry& entry, const ast::Global& g) {
    ir::Function f;
    f.name = std::string(g.name);
    FunctionContext ctx;
    ctx.fn = &f;
    ctx.block = &f.body;
    ctx.scopes.emplace_back();
    bool compute = false;
    std::optional<const ast::Attribute*> wg;
    for (const ast::Attribute& a : g.attributes) {
        if (a.name == "compute") compute = true;
        else if (a.name == "workgroup_size") wg = &a;
        else if (a.name == "vertex" || a.name == "fragment")
            return fail(a.span, "only compute entry points are supported");
        else if (a.name != "must_use" && a.name != "diagnostic")
            return fail(a.span, "unknown attribute '@" + std::string(a.name) + "' on a function");
    }
    if (wg && !compute) return fail((*wg)->span, "@workgroup_size needs @compute");
    ir::EntryPoint ep;
    if (compute) {
        if (!wg) return fail(g.span, "a compute entry point needs @workgroup_size");
        const ast::Attribute& a = **wg;
        if (a.args.empty() || a.args.size() > 3) return fail(a.span, "@workgroup_size takes one to three sizes");
        for (size_t i = 0; i < a.args.size(); ++i) {
            WGSL_TRY(Operand v, value(a.args[i]));
            if (!v.type.is_scalar() || !v.type.scalar.is_integer())
                return fail(v.span, "workgroup size must be an integer");
            if (v.value) {
                const int64_t n = v.value->scalar.i;
                if (n < 1 || n > 65535) return fail(v.span, "workgroup size must be between 1 and 65535");
                ep.workgroup_size[i] = static_cast<uint32_t>(n);
            } else {
                WGSL_TRY(auto h, materialize(v));
                ep.workgroup_size[i] = 0;
                ep.workgroup_size_overrides[i] = h;
            }
        }
    }
    FunctionContext* saved = fn_;
    fn_ = &ctx;
    auto body = [&]() -> Result<void> {
        for (size_t i = 0; i < g.params.size(); ++i) {
            const ast::Param& p = g.params[i];
            for (const auto& other : f.arguments)
                if (other.name == p.name) return fail(p.span, "duplicate parameter '" + std::string(p.name) + "'");
            WGSL_TRY(VType t, resolve_type(p.type));
            ir::FunctionArgument arg{std::string(p.name), intern(t), std::nullopt};
            for (const ast::Attribute& a : p.attributes) {
                if (a.name == "builtin") {
                    WGSL_TRY(arg.binding, builtin_binding(ast_, a));
                } else if (a.name == "location") {
                    return fail(a.span, "@location is not allowed in compute shaders");
                } else {
                    return fail(a.span, "unknown attribute '@" + std::string(a.name) + "' on a parameter");
                }
            }
            if (compute && !arg.binding) return fail(p.span, "entry point parameters need @builtin");
            if (!compute && arg.binding) return fail(p.span, "@builtin is only allowed on entry point parameters");
            f.arguments.push_back(std::move(arg));
            const auto h = append(ir::expr::FunctionArgument{static_cast<uint32_t>(i)}, p.span);
            ctx.scopes.back().emplace(p.name, runtime(t, h, p.span));
        }
        if (g.return_type != ast::kNone) {
            if (compute) return fail(ast_.exprs[g.return_type].span, "compute entry points cannot return a value");
            if (!g.return_attributes.empty())
                return fail(g.return_attributes[0].span, "attributes on a return type need an entry point");
            WGSL_TRY(VType rt, resolve_type(g.return_type));
            f.result = ir::FunctionResult{intern(rt), std::nullopt};
            ctx.return_type = rt;
        }
        ctx.scopes.emplace_back();
        for (ast::StmtId s : ast_.stmts[g.body].statements) WGSL_CHECK(statement(s));
        return {};
    };
    Result<void> r = body();
    fn_ = saved;
    if (!r) return r;
    if (compute) {
        ep.name = f.name;
        ep.span = g.span;
        ep.function = std::move(f);
        m_.entry_points.push_back(std::move(ep));
        entry.entry_point = true;
    } else {
        entry.function = m_.functions.append(std::move(f), g.span);
    }
    return {};
}

Result<std::vector<uint32_t>> Lowerer::function_order() {
    const size_t n = ast_.globals.size();
    std::vector<std::vector<uint32_t>> callees(n);
    for (uint32_t i = 0; i < n; ++i) {
        const ast::Global& g = ast_.globals[i];
        if (g.kind != ast::GlobalKind::Function) continue;
        for (uint32_t e = g.expr_begin; e < g.expr_end && e < ast_.exprs.size(); ++e) {
            const ast::Expr& x = ast_.exprs[e];
            if (x.kind != ast::ExprKind::Call) continue;
            auto it = globals_.find(x.name);
            if (it != globals_.end() && it->second.kind == GlobalEntry::Kind::Function)
                callees[i].push_back(it->second.index);
        }
    }
    // Iterative depth-first search: post-order puts callees first; a grey node seen again is a cycle.
    enum : uint8_t { White, Grey, Black };
    std::vector<uint8_t> color(n, White);
    std::vector<uint32_t> order;
    for (uint32_t root = 0; root < n; ++root) {
        if (ast_.globals[root].kind != ast::GlobalKind::Function || color[root] != White) continue;
        std::vector<std::pair<uint32_t, size_t>> stack{{root, 0}};
        color[root] = Grey;
        while (!stack.empty()) {
            auto& [node, next] = stack.back();
            if (next < callees[node].size()) {
                const uint32_t c = callees[node][next++];
                if (color[c] == Grey) {
                    const ast::Global& g = ast_.globals[c];
                    return fail(g.span, "recursion is not allowed: '" + std::string(g.name) +
                                            "' calls itself directly or indirectly");
                }
                if (color[c] == White) {
                    color[c] = Grey;
                    stack.push_back({c, 0});
                }
            } else {
                color[node] = Black;
                order.push_back(node);
                stack.pop_back();
            }
        }
    }
    return order;
}

Result<ir::Module> Lowerer::run() {
    for (const ast::Enable& en : ast_.enables) {
        if (en.name != "f16") return fail(en.span, "unknown extension '" + std::string(en.name) + "'");
        f16_enabled_ = true;
        m_.enables.emplace_back(en.name);
    }
    for (uint32_t i = 0; i < ast_.globals.size(); ++i) {
        const ast::Global& g = ast_.globals[i];
        if (g.kind == ast::GlobalKind::ConstAssert) continue;
        GlobalEntry e;
        e.index = i;
        switch (g.kind) {
            case ast::GlobalKind::Struct:
            case ast::GlobalKind::Alias: e.kind = GlobalEntry::Kind::Type; break;
            case ast::GlobalKind::Function: e.kind = GlobalEntry::Kind::Function; break;
            case ast::GlobalKind::Decl:
                e.kind = g.decl.kind == ast::DeclKind::Const      ? GlobalEntry::Kind::Const
                         : g.decl.kind == ast::DeclKind::Override ? GlobalEntry::Kind::Override
                                                                  : GlobalEntry::Kind::Var;
                break;
            default: break;
        }
        if (g.kind == ast::GlobalKind::Function)
            for (const auto& a : g.attributes) e.entry_point = e.entry_point || a.name == "compute";
        if (!globals_.emplace(g.name, e).second)
            return fail(g.span, "'" + std::string(g.name) + "' is already declared");
    }
    WGSL_TRY(auto order, function_order());
    for (uint32_t i = 0; i < ast_.globals.size(); ++i) {
        const ast::Global& g = ast_.globals[i];
        if (g.kind == ast::GlobalKind::Function) continue;
        if (g.kind == ast::GlobalKind::ConstAssert) {
            WGSL_TRY(Operand v, value(g.type));
            if (!v.value || !(v.type == VType::scalar_of(ir::Scalar::boolean())))
                return fail(v.span, "const_assert needs a constant bool expression");
            if (!v.value->scalar.b) return fail(g.full_span, "const_assert failed");
            continue;
        }
        WGSL_CHECK(lower_global(globals_.at(g.name)));
    }
    auto is_entry = [&](uint32_t i) {
        for (const auto& a : ast_.globals[i].attributes)
            if (a.name == "compute") return true;
        return false;
    };
    for (uint32_t i : order)
        if (!is_entry(i)) WGSL_CHECK(lower_global(globals_.at(ast_.globals[i].name)));
    for (uint32_t i = 0; i < ast_.globals.size(); ++i)
        if (ast_.globals[i].kind == ast::GlobalKind::Function && is_entry(i))
            WGSL_CHECK(lower_global(globals_.at(ast_.globals[i].name)));
    return std::move(m_);
}

}  // namespace trelliken::wgsl::lower

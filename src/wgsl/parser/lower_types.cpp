// Type expressions: predeclared type names, template lists, structs and aliases.

#include "wgsl/common/try.h"
#include "wgsl/parser/lower.h"

namespace trelliken::wgsl::lower {
namespace {

std::optional<ir::Scalar> scalar_named(std::string_view n) {
    if (n == "bool") return ir::Scalar::boolean();
    if (n == "i32") return ir::Scalar::i32();
    if (n == "u32") return ir::Scalar::u32();
    if (n == "f32") return ir::Scalar::f32();
    if (n == "f16") return ir::Scalar::f16();
    if (n == "f64") return ir::Scalar::f64();
    return std::nullopt;
}

std::optional<ir::Scalar> suffix_scalar(char c) {
    switch (c) {
        case 'f': return ir::Scalar::f32();
        case 'i': return ir::Scalar::i32();
        case 'u': return ir::Scalar::u32();
        case 'h': return ir::Scalar::f16();
        default: return std::nullopt;
    }
}

ir::VectorSize vsize(char c) { return static_cast<ir::VectorSize>(c - '0'); }

}  // namespace

Result<ir::Scalar> Lowerer::scalar_from_template(std::span<const ast::ExprId> templ, Span span) {
    if (templ.size() != 1) return fail(span, "expected one template argument");
    WGSL_TRY(VType t, resolve_type(templ[0]));
    if (!t.is_scalar()) return fail(ast_.exprs[templ[0]].span, "expected a scalar type, found " + name_of(t));
    return t.scalar;
}

Result<VType> Lowerer::resolve_type(ast::ExprId id) {
    const ast::Expr& e = ast_.exprs[id];
    if (e.kind != ast::ExprKind::Ident) return fail(e.span, "expected a type");
    WGSL_TRY(auto t, type_from_name(e.name, ast_.list(e.templ), e.span, false));
    if (!t) return fail(e.span, "'" + std::string(e.name) + "' is not a type");
    return *t;
}

Result<std::optional<VType>> Lowerer::type_from_name(std::string_view name, std::span<const ast::ExprId> templ,
                                                     Span span, bool allow_partial) {
    // Module declarations shadow predeclared names.
    if (auto it = globals_.find(name); it != globals_.end()) {
        if (it->second.kind != GlobalEntry::Kind::Type) return std::optional<VType>();
        WGSL_CHECK(lower_global(it->second));
        if (!templ.empty()) return fail(span, "'" + std::string(name) + "' takes no template arguments");
        return std::optional<VType>(it->second.type);
    }
    auto no_templates = [&]() -> Result<void> {
        if (!templ.empty()) return fail(span, "'" + std::string(name) + "' takes no template arguments");
        return {};
    };
    if (auto s = scalar_named(name)) {
        WGSL_CHECK(no_templates());
        return std::optional<VType>(VType::scalar_of(*s));
    }
    // vecN, vecN<T>, vecNf/i/u/h
    if (name.size() >= 4 && name.substr(0, 3) == "vec" && name[3] >= '2' && name[3] <= '4') {
        const ir::VectorSize n = vsize(name[3]);
        if (name.size() == 5) {
            auto s = suffix_scalar(name[4]);
            if (!s) return std::optional<VType>();
            WGSL_CHECK(no_templates());
            return std::optional<VType>(VType::vector_of(n, *s));
        }
        if (name.size() != 4) return std::optional<VType>();
        if (templ.empty()) {
            if (allow_partial) return std::optional<VType>(VType::vector_of(n, ir::Scalar::abstract_int()));
            return fail(span, "'" + std::string(name) + "' needs a component type");
        }
        WGSL_TRY(ir::Scalar s, scalar_from_template(templ, span));
        return std::optional<VType>(VType::vector_of(n, s));
    }
    // matCxR, matCxR<T>, matCxRf/h
    if (name.size() >= 6 && name.substr(0, 3) == "mat" && name[3] >= '2' && name[3] <= '4' && name[4] == 'x' &&
        name[5] >= '2' && name[5] <= '4') {
        const ir::VectorSize c = vsize(name[3]), r = vsize(name[5]);
        if (name.size() == 7) {
            if (name[6] != 'f' && name[6] != 'h') return std::optional<VType>();
            WGSL_CHECK(no_templates());
            return std::optional<VType>(VType::matrix_of(c, r, *suffix_scalar(name[6])));
        }
        if (name.size() != 6) return std::optional<VType>();
        if (templ.empty()) {
            if (allow_partial) return std::optional<VType>(VType::matrix_of(c, r, ir::Scalar::abstract_float()));
            return fail(span, "'" + std::string(name) + "' needs a component type");
        }
        WGSL_TRY(ir::Scalar s, scalar_from_template(templ, span));
        if (!s.is_float()) return fail(span, "matrix components must be floating point");
        return std::optional<VType>(VType::matrix_of(c, r, s));
    }
    if (name == "atomic") {
        WGSL_TRY(ir::Scalar s, scalar_from_template(templ, span));
        if (s != ir::Scalar::i32() && s != ir::Scalar::u32()) return fail(span, "atomic<T> needs T to be i32 or u32");
        return std::optional<VType>(VType::named(interner_.intern(ir::type::Atomic{s}, span)));
    }
    if (name == "array") {
        if (templ.empty()) {
            if (allow_partial) return std::optional<VType>(VType{});  // element type from the arguments
            return fail(span, "'array' needs an element type");
        }
        if (templ.size() > 2) return fail(span, "'array' takes an element type and a count");
        WGSL_TRY(VType elem, resolve_type(templ[0]));
        if (elem.kind == VType::Kind::Pointer || elem.kind == VType::Kind::Void)
            return fail(span, "invalid array element type " + name_of(elem));
        const ir::Handle<ir::Type> eh = intern(elem);
        if (auto* a = std::get_if<ir::type::Array>(&m_.types[eh].inner);
            a && a->size.kind == ir::ArraySize::Kind::Dynamic)
            return fail(span, "array elements cannot be runtime-sized arrays");
        const Layout l = layout_of(m_.types, eh);
        ir::type::Array arr{eh, {}, round_up(l.align, l.size)};
        if (templ.size() == 2) {
            WGSL_TRY(uint32_t n, const_u32(templ[1], "array element count"));
            if (n == 0) return fail(span, "array element count must be greater than zero");
            arr.size = {ir::ArraySize::Kind::Constant, n};
        }
        return std::optional<VType>(VType::named(interner_.intern(arr, span)));
    }
    if (name == "ptr") {
        if (templ.size() < 2 || templ.size() > 3) return fail(span, "'ptr' takes an address space, a type and an access mode");
        const ast::Expr& sp = ast_.exprs[templ[0]];
        ir::AddressSpace space{};
        if (sp.kind == ast::ExprKind::Ident && sp.name == "function") space = ir::AddressSpace::Function;
        else if (sp.kind == ast::ExprKind::Ident && sp.name == "private") space = ir::AddressSpace::Private;
        else if (sp.kind == ast::ExprKind::Ident && sp.name == "workgroup") space = ir::AddressSpace::WorkGroup;
        else if (sp.kind == ast::ExprKind::Ident && sp.name == "uniform") space = ir::AddressSpace::Uniform;
        else if (sp.kind == ast::ExprKind::Ident && sp.name == "storage") space = ir::AddressSpace::Storage;
        else return fail(sp.span, "unknown address space");
        WGSL_TRY(VType base, resolve_type(templ[1]));
        ir::AccessMode access = space == ir::AddressSpace::Uniform ? ir::AccessMode::Read
                                : space == ir::AddressSpace::Storage ? ir::AccessMode::Read
                                                                      : ir::AccessMode::ReadWrite;
        if (templ.size() == 3) {
            const ast::Expr& ac = ast_.exprs[templ[2]];
            if (space != ir::AddressSpace::Storage) return fail(ac.span, "only storage pointers take an access mode");
            if (ac.kind == ast::ExprKind::Ident && ac.name == "read") access = ir::AccessMode::Read;
            else if (ac.kind == ast::ExprKind::Ident && ac.name == "write") access = ir::AccessMode::Write;
            else if (ac.kind == ast::ExprKind::Ident && ac.name == "read_write") access = ir::AccessMode::ReadWrite;
            else return fail(ac.span, "unknown access mode");
        }
        return std::optional<VType>(VType::pointer(intern(base), space, access));
    }
    return std::optional<VType>();
}

}  // namespace trelliken::wgsl::lower

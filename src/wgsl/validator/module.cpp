// Module-scope validation: types and layouts, constants, overrides, variables, entry points.

#include <set>

#include "wgsl/common/try.h"
#include "wgsl/validator/validator_impl.h"

namespace trelliken::wgsl {
namespace validation {

using namespace ir::type;

Validator::Validator(const ir::Module& m, Capabilities caps) : m_(m), caps_(caps) {
    info_.types = m.types;
    interner_.emplace(info_.types);
}

Result<void> Validator::check_scalar(ir::Scalar s, Span span, std::string_view where) {
    if (s.is_abstract()) return fail(span, std::string(where) + " has an abstract type");
    const bool ok = s.kind == ir::ScalarKind::Bool                                     ? s.width == 1
                    : s.kind == ir::ScalarKind::Float                                  ? (s.width == 2 || s.width == 4 || s.width == 8)
                                                                                       : s.width == 4;
    if (!ok) return fail(span, std::string(where) + " has an invalid scalar width");
    if (s.kind == ir::ScalarKind::Float && s.width == 8 && !caps_.float64)
        return fail(span, std::string(where) + " uses f64, which is not enabled");
    if (s.kind == ir::ScalarKind::Float && s.width == 2 && !caps_.float16)
        return fail(span, std::string(where) + " uses f16, which is not enabled");
    return {};
}

bool Validator::is_runtime_array(ir::Handle<ir::Type> h) const {
    auto* a = std::get_if<Array>(&inner(h));
    return a && a->size.kind == ir::ArraySize::Kind::Dynamic;
}

bool Validator::contains_atomic(ir::Handle<ir::Type> h) const {
    const ir::TypeInner& t = inner(h);
    if (std::holds_alternative<Atomic>(t)) return true;
    if (auto* a = std::get_if<Array>(&t)) return a->base < h && contains_atomic(a->base);
    if (auto* s = std::get_if<Struct>(&t)) {
        for (const auto& mem : s->members)
            if (mem.type < h && contains_atomic(mem.type)) return true;
    }
    return false;
}

bool Validator::is_constructible(ir::Handle<ir::Type> h) const {
    const ir::TypeInner& t = inner(h);
    if (std::holds_alternative<Atomic>(t) || std::holds_alternative<Pointer>(t)) return false;
    if (auto* a = std::get_if<Array>(&t))
        return a->size.kind == ir::ArraySize::Kind::Constant && a->base < h && is_constructible(a->base);
    if (auto* s = std::get_if<Struct>(&t)) {
        for (const auto& mem : s->members)
            if (!(mem.type < h) || !is_constructible(mem.type)) return false;
    }
    return true;
}

bool Validator::is_host_shareable(ir::Handle<ir::Type> h) const {
    const ir::TypeInner& t = inner(h);
    if (auto* s = std::get_if<Scalar>(&t)) return s->scalar.kind != ir::ScalarKind::Bool;
    if (auto* v = std::get_if<Vector>(&t)) return v->scalar.kind != ir::ScalarKind::Bool;
    if (std::holds_alternative<Matrix>(t) || std::holds_alternative<Atomic>(t)) return true;
    if (auto* a = std::get_if<Array>(&t)) return a->base < h && is_host_shareable(a->base);
    if (auto* s = std::get_if<Struct>(&t)) {
        for (const auto& mem : s->members)
            if (!(mem.type < h) || !is_host_shareable(mem.type)) return false;
        return true;
    }
    return false;
}

Result<void> Validator::check_types() {
    for (uint32_t i = 0; i < m_.types.size(); ++i) {
        const auto h = m_.types.handle(i);
        const Span span = m_.types.span(h);
        const ir::Type& ty = m_.types[h];
        const std::string what = "type " + std::to_string(i);
        auto earlier = [&](ir::Handle<ir::Type> t) { return t.index < i; };
        if (auto* s = std::get_if<Scalar>(&ty.inner)) {
            WGSL_CHECK(check_scalar(s->scalar, span, what));
        } else if (auto* v = std::get_if<Vector>(&ty.inner)) {
            WGSL_CHECK(check_scalar(v->scalar, span, what));
        } else if (auto* mt = std::get_if<Matrix>(&ty.inner)) {
            WGSL_CHECK(check_scalar(mt->scalar, span, what));
            if (mt->scalar.kind != ir::ScalarKind::Float) return fail(span, "matrix components must be floating point");
        } else if (auto* a = std::get_if<Atomic>(&ty.inner)) {
            if (a->scalar != ir::Scalar::i32() && a->scalar != ir::Scalar::u32())
                return fail(span, "atomic<T> needs T to be i32 or u32");
        } else if (auto* p = std::get_if<Pointer>(&ty.inner)) {
            if (!earlier(p->base)) return fail(span, what + ": pointer refers to a later type");
        } else if (auto* a = std::get_if<Array>(&ty.inner)) {
            if (!earlier(a->base)) return fail(span, what + ": array element refers to a later type");
            if (is_runtime_array(a->base)) return fail(span, "array elements cannot be runtime-sized arrays");
            if (std::holds_alternative<Pointer>(inner(a->base))) return fail(span, "arrays cannot hold pointers");
            if (a->size.kind == ir::ArraySize::Kind::Constant && a->size.count == 0)
                return fail(span, "array element count must be greater than zero");
            const Layout l = layout_of(m_.types, a->base);
            if (a->stride < l.size || a->stride % l.align != 0)
                return fail(span, what + ": array stride " + std::to_string(a->stride) + " does not fit its element");
        } else if (auto* s = std::get_if<Struct>(&ty.inner)) {
            if (!ty.name || ty.name->empty()) return fail(span, what + ": structs need a name");
            if (s->members.empty()) return fail(span, "struct '" + *ty.name + "' has no members");
            for (size_t k = 0; k < s->members.size(); ++k) {
                const auto& mem = s->members[k];
                if (!earlier(mem.type)) return fail(span, "struct '" + *ty.name + "': member refers to a later type");
                if (std::holds_alternative<Pointer>(inner(mem.type)))
                    return fail(span, "struct '" + *ty.name + "': members cannot be pointers");
                if (is_runtime_array(mem.type) && k + 1 != s->members.size())
                    return fail(span, "struct '" + *ty.name + "': only the last member can be a runtime-sized array");
            }
            Struct copy = *s;
            WGSL_CHECK(compute_struct_layout(m_.types, copy, span));
            for (size_t k = 0; k < s->members.size(); ++k)
                if (copy.members[k].offset != s->members[k].offset)
                    return fail(span, "struct '" + *ty.name + "': member '" + s->members[k].name + "' has offset " +
                                          std::to_string(s->members[k].offset) + ", layout rules give " +
                                          std::to_string(copy.members[k].offset));
            if (copy.span != s->span) return fail(span, "struct '" + *ty.name + "': size does not follow the layout rules");
        }
        if (!std::holds_alternative<Struct>(ty.inner) && ty.name)
            return fail(span, what + ": only structs have names");
    }
    return {};
}

Result<void> Validator::check_constants_and_overrides() {
    for (uint32_t i = 0; i < m_.constants.size(); ++i) {
        const auto h = m_.constants.handle(i);
        const ir::Constant& c = m_.constants[h];
        const Span span = m_.constants.span(h);
        if (!m_.types.contains(c.type)) return fail(span, "constant '" + c.name + "' has an invalid type");
        if (!m_.global_expressions.contains(c.init)) return fail(span, "constant '" + c.name + "' has an invalid initialiser");
        if (info_.global_expression_types[c.init.index] != c.type)
            return fail(span, "constant '" + c.name + "' of type " + name(c.type) + " initialised with " +
                                  name(info_.global_expression_types[c.init.index]));
        if (!is_constructible(c.type)) return fail(span, "constant '" + c.name + "' must have a constructible type");
    }
    std::set<uint16_t> ids;
    for (uint32_t i = 0; i < m_.overrides.size(); ++i) {
        const auto h = m_.overrides.handle(i);
        const ir::Override& o = m_.overrides[h];
        const Span span = m_.overrides.span(h);
        if (!m_.types.contains(o.type) || !std::holds_alternative<Scalar>(inner(o.type)))
            return fail(span, "override '" + o.name + "' must have a scalar type");
        if (std::get<Scalar>(inner(o.type)).scalar == ir::Scalar::f64())
            return fail(span, "override '" + o.name + "' cannot be f64");
        if (o.id && !ids.insert(*o.id).second) return fail(span, "override id " + std::to_string(*o.id) + " used twice");
        if (o.init) {
            if (!m_.global_expressions.contains(*o.init)) return fail(span, "override '" + o.name + "' has an invalid initialiser");
            if (info_.global_expression_types[o.init->index] != o.type)
                return fail(span, "override '" + o.name + "' initialised with " +
                                      name(info_.global_expression_types[o.init->index]));
        }
    }
    return {};
}

Result<void> Validator::check_globals() {
    std::set<std::pair<uint32_t, uint32_t>> bindings;
    for (uint32_t i = 0; i < m_.global_variables.size(); ++i) {
        const auto h = m_.global_variables.handle(i);
        const ir::GlobalVariable& v = m_.global_variables[h];
        const Span span = m_.global_variables.span(h);
        const std::string what = "variable '" + v.name + "'";
        if (!m_.types.contains(v.type)) return fail(span, what + " has an invalid type");
        const bool resource = v.space == ir::AddressSpace::Uniform || v.space == ir::AddressSpace::Storage;
        if (resource != v.binding.has_value())
            return fail(span, what + (resource ? " needs @group and @binding" : " cannot have a binding"));
        if (v.binding && !bindings.insert({v.binding->group, v.binding->binding}).second)
            return fail(span, what + ": @group(" + std::to_string(v.binding->group) + ") @binding(" +
                                  std::to_string(v.binding->binding) + ") is used twice");
        switch (v.space) {
            case ir::AddressSpace::Function: return fail(span, what + ": module variables cannot be in function space");
            case ir::AddressSpace::Uniform:
                if (v.access != ir::AccessMode::Read) return fail(span, what + ": uniform variables are read-only");
                if (!is_constructible(v.type) || !is_host_shareable(v.type))
                    return fail(span, what + ": type " + name(v.type) + " cannot be used in a uniform buffer");
                break;
            case ir::AddressSpace::Storage:
                if (v.access == ir::AccessMode::Write) return fail(span, what + ": storage buffers cannot be write-only");
                if (!is_host_shareable(v.type))
                    return fail(span, what + ": type " + name(v.type) + " cannot be used in a storage buffer");
                if (v.access == ir::AccessMode::Read && contains_atomic(v.type))
                    return fail(span, what + ": atomics need read_write access");
                break;
            case ir::AddressSpace::WorkGroup:
            case ir::AddressSpace::Private:
                if (v.access != ir::AccessMode::ReadWrite) return fail(span, what + ": invalid access mode");
                if (is_runtime_array(v.type) ||
                    (std::holds_alternative<Struct>(inner(v.type)) &&
                     is_runtime_array(std::get<Struct>(inner(v.type)).members.back().type)))
                    return fail(span, what + ": runtime-sized arrays are only allowed in storage buffers");
                if (v.space == ir::AddressSpace::Private && contains_atomic(v.type))
                    return fail(span, what + ": atomics must live in storage or workgroup memory");
                break;
        }
        if (v.init) {
            if (v.space != ir::AddressSpace::Private) return fail(span, what + ": only private variables can be initialised");
            if (!m_.global_expressions.contains(*v.init)) return fail(span, what + " has an invalid initialiser");
            if (info_.global_expression_types[v.init->index] != v.type)
                return fail(span, what + " of type " + name(v.type) + " initialised with " +
                                      name(info_.global_expression_types[v.init->index]));
        }
    }
    return {};
}

Result<void> Validator::check_entry_point(const ir::EntryPoint& ep) {
    where_ = "entry point '" + ep.name + "'";
    if (ep.stage != ir::ShaderStage::Compute) return fail(ep.span, "only compute entry points are supported");
    for (int i = 0; i < 3; ++i) {
        if (auto o = ep.workgroup_size_overrides[i]) {
            if (!m_.global_expressions.contains(*o)) return fail(ep.span, "invalid workgroup size expression");
            const auto* s = std::get_if<Scalar>(&inner(info_.global_expression_types[o->index]));
            if (!s || (s->scalar != ir::Scalar::i32() && s->scalar != ir::Scalar::u32()))
                return fail(ep.span, "workgroup size must be i32 or u32");
        } else if (ep.workgroup_size[i] == 0) {
            return fail(ep.span, "workgroup size must be at least 1");
        }
    }
    if (ep.function.result) return fail(ep.span, "compute entry points cannot return a value");
    std::set<ir::BuiltIn> seen;
    for (const ir::FunctionArgument& a : ep.function.arguments) {
        if (!a.binding || a.binding->kind != ir::Binding::Kind::BuiltIn)
            return fail(ep.span, "argument '" + a.name + "' needs a builtin binding");
        if (!seen.insert(a.binding->builtin).second) return fail(ep.span, "builtin bound twice");
        const bool index = a.binding->builtin == ir::BuiltIn::LocalInvocationIndex;
        bool ok = false;
        if (m_.types.contains(a.type)) {
            if (auto* s = std::get_if<Scalar>(&inner(a.type))) ok = index && s->scalar == ir::Scalar::u32();
            if (auto* v = std::get_if<Vector>(&inner(a.type)))
                ok = !index && v->size == ir::VectorSize::Tri && v->scalar == ir::Scalar::u32();
        }
        if (!ok)
            return fail(ep.span, "argument '" + a.name + "' must be " + (index ? "u32" : "vec3<u32>"));
    }
    return {};
}

Result<ModuleInfo> Validator::run() {
    WGSL_CHECK(check_types());
    WGSL_TRY(info_.global_expression_types, resolve_all(m_.global_expressions, nullptr, true));
    WGSL_CHECK(check_constants_and_overrides());
    WGSL_CHECK(check_globals());
    for (uint32_t i = 0; i < m_.functions.size(); ++i) {
        const ir::Function& f = m_.functions[m_.functions.handle(i)];
        where_ = "function '" + f.name + "'";
        if (f.arguments.size() > 255) return fail(m_.functions.span(m_.functions.handle(i)), "too many parameters");
        for (const auto& a : f.arguments)
            if (a.binding) return fail(m_.functions.span(m_.functions.handle(i)), "only entry points take builtins");
        WGSL_TRY(FunctionInfo fi, check_function(f, i, m_.functions.span(m_.functions.handle(i))));
        info_.functions.push_back(std::move(fi));
    }
    std::set<std::string> names;
    for (const ir::EntryPoint& ep : m_.entry_points) {
        if (!names.insert(ep.name).second) return fail(ep.span, "entry point '" + ep.name + "' defined twice");
        WGSL_CHECK(check_entry_point(ep));
        WGSL_TRY(FunctionInfo fi, check_function(ep.function, std::nullopt, ep.span));
        info_.entry_points.push_back(std::move(fi));
    }
    where_.clear();
    return std::move(info_);
}

}  // namespace validation

Result<ModuleInfo> validate(const ir::Module& module, Capabilities caps) {
    return validation::Validator(module, caps).run();
}

}  // namespace trelliken::wgsl

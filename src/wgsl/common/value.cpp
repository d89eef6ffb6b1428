#include "wgsl/common/value.h"

namespace trelliken::wgsl {

VType concretize(const VType& t) {
    if (!t.is_abstract()) return t;
    return t.with_scalar(t.scalar.kind == ir::ScalarKind::AbstractInt ? ir::Scalar::i32() : ir::Scalar::f32());
}

VType vtype_of(const ir::Arena<ir::Type>& types, ir::Handle<ir::Type> h) {
    if (!types.contains(h)) return {};
    const ir::TypeInner& inner = types[h].inner;
    if (auto* s = std::get_if<ir::type::Scalar>(&inner)) return VType::scalar_of(s->scalar);
    if (auto* v = std::get_if<ir::type::Vector>(&inner)) return VType::vector_of(v->size, v->scalar);
    if (auto* m = std::get_if<ir::type::Matrix>(&inner)) return VType::matrix_of(m->columns, m->rows, m->scalar);
    if (auto* p = std::get_if<ir::type::Pointer>(&inner)) return VType::pointer(p->base, p->space, p->access);
    return VType::named(h);
}

ir::Handle<ir::Type> handle_of(TypeInterner& interner, const VType& t) {
    switch (t.kind) {
        case VType::Kind::Scalar: return interner.intern(ir::type::Scalar{t.scalar});
        case VType::Kind::Vector: return interner.intern(ir::type::Vector{t.size, t.scalar});
        case VType::Kind::Matrix: return interner.intern(ir::type::Matrix{t.size, t.rows, t.scalar});
        case VType::Kind::Named: return t.handle;
        case VType::Kind::Pointer: return interner.intern(ir::type::Pointer{t.handle, t.space, t.access});
        case VType::Kind::Void: break;
    }
    return {};
}

std::string scalar_name(ir::Scalar s) {
    switch (s.kind) {
        case ir::ScalarKind::Bool: return "bool";
        case ir::ScalarKind::Sint: return "i32";
        case ir::ScalarKind::Uint: return "u32";
        case ir::ScalarKind::Float: return s.width == 2 ? "f16" : s.width == 8 ? "f64" : "f32";
        case ir::ScalarKind::AbstractInt: return "abstract-int";
        case ir::ScalarKind::AbstractFloat: return "abstract-float";
    }
    return "?";
}

static std::string space_name(ir::AddressSpace s) {
    switch (s) {
        case ir::AddressSpace::Function: return "function";
        case ir::AddressSpace::Private: return "private";
        case ir::AddressSpace::WorkGroup: return "workgroup";
        case ir::AddressSpace::Uniform: return "uniform";
        case ir::AddressSpace::Storage: return "storage";
    }
    return "?";
}

std::string type_name(const ir::Arena<ir::Type>& types, const VType& t) {
    const auto n = [](ir::VectorSize s) { return std::to_string(static_cast<int>(s)); };
    switch (t.kind) {
        case VType::Kind::Void: return "void";
        case VType::Kind::Scalar: return scalar_name(t.scalar);
        case VType::Kind::Vector: return "vec" + n(t.size) + "<" + scalar_name(t.scalar) + ">";
        case VType::Kind::Matrix: return "mat" + n(t.size) + "x" + n(t.rows) + "<" + scalar_name(t.scalar) + ">";
        case VType::Kind::Pointer: {
            std::string out = "ptr<" + space_name(t.space) + ", " + type_name(types, vtype_of(types, t.handle));
            if (t.space == ir::AddressSpace::Storage)
                out += t.access == ir::AccessMode::ReadWrite ? ", read_write" : t.access == ir::AccessMode::Write ? ", write" : ", read";
            return out + ">";
        }
        case VType::Kind::Named: {
            if (!types.contains(t.handle)) return "?";
            const ir::Type& ty = types[t.handle];
            if (ty.name) return *ty.name;
            if (auto* a = std::get_if<ir::type::Atomic>(&ty.inner)) return "atomic<" + scalar_name(a->scalar) + ">";
            if (auto* a = std::get_if<ir::type::Array>(&ty.inner)) {
                if (!(a->base < t.handle)) return "array<?>";
                std::string out = "array<" + type_name(types, vtype_of(types, a->base));
                if (a->size.kind == ir::ArraySize::Kind::Constant) out += ", " + std::to_string(a->size.count);
                return out + ">";
            }
            return type_name(types, vtype_of(types, t.handle));
        }
    }
    return "?";
}

}  // namespace trelliken::wgsl

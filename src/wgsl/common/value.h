#pragma once
// Types and compile-time values as the front end sees them before they are committed to IR: unlike IR function
// expressions these may still be abstract.

#include <optional>
#include <string>
#include <vector>

#include "wgsl/common/layout.h"
#include "wgsl/ir/ir.h"

namespace trelliken::wgsl {

/// A type that may be abstract. Scalars, vectors and matrices are spelled out; arrays, structs and atomics are
/// handles of the module's type arena (always concrete); pointers name their pointee by handle.
struct VType {
    enum class Kind : uint8_t { Void, Scalar, Vector, Matrix, Named, Pointer };
    Kind kind = Kind::Void;
    ir::Scalar scalar{};
    ir::VectorSize size = ir::VectorSize::Bi;  // vector size, or matrix column count
    ir::VectorSize rows = ir::VectorSize::Bi;
    ir::Handle<ir::Type> handle;              // Named type, or pointee of a Pointer
    ir::AddressSpace space = ir::AddressSpace::Function;
    ir::AccessMode access = ir::AccessMode::ReadWrite;

    static VType scalar_of(ir::Scalar s) {
        VType t;
        t.kind = Kind::Scalar;
        t.scalar = s;
        return t;
    }
    static VType vector_of(ir::VectorSize n, ir::Scalar s) {
        VType t = scalar_of(s);
        t.kind = Kind::Vector;
        t.size = n;
        return t;
    }
    static VType matrix_of(ir::VectorSize c, ir::VectorSize r, ir::Scalar s) {
        VType t = scalar_of(s);
        t.kind = Kind::Matrix;
        t.size = c;
        t.rows = r;
        return t;
    }
    static VType named(ir::Handle<ir::Type> h) {
        VType t;
        t.kind = Kind::Named;
        t.handle = h;
        return t;
    }
    static VType pointer(ir::Handle<ir::Type> base, ir::AddressSpace space, ir::AccessMode access) {
        VType t;
        t.kind = Kind::Pointer;
        t.handle = base;
        t.space = space;
        t.access = access;
        return t;
    }

    [[nodiscard]] bool is_scalar() const { return kind == Kind::Scalar; }
    [[nodiscard]] bool is_vector() const { return kind == Kind::Vector; }
    [[nodiscard]] bool is_matrix() const { return kind == Kind::Matrix; }
    [[nodiscard]] bool is_numeric_leaf() const { return kind == Kind::Scalar || kind == Kind::Vector; }
    /// Abstract anywhere inside (only scalars, vectors and matrices can be).
    [[nodiscard]] bool is_abstract() const {
        return (kind == Kind::Scalar || kind == Kind::Vector || kind == Kind::Matrix) && scalar.is_abstract();
    }
    /// Same shape with another scalar.
    [[nodiscard]] VType with_scalar(ir::Scalar s) const {
        VType t = *this;
        t.scalar = s;
        return t;
    }
    friend bool operator==(const VType& a, const VType& b) {
        if (a.kind != b.kind) return false;
        switch (a.kind) {
            case Kind::Void: return true;
            case Kind::Scalar: return a.scalar == b.scalar;
            case Kind::Vector: return a.scalar == b.scalar && a.size == b.size;
            case Kind::Matrix: return a.scalar == b.scalar && a.size == b.size && a.rows == b.rows;
            case Kind::Named: return a.handle == b.handle;
            case Kind::Pointer: return a.handle == b.handle && a.space == b.space && a.access == b.access;
        }
        return false;
    }
};

/// The default concrete type of an abstract type (AbstractInt to i32, AbstractFloat to f32); others unchanged.
[[nodiscard]] VType concretize(const VType& t);

/// The VType of a type of `types`.
[[nodiscard]] VType vtype_of(const ir::Arena<ir::Type>& types, ir::Handle<ir::Type> h);

/// The handle of a concrete VType, interning it when needed.
[[nodiscard]] ir::Handle<ir::Type> handle_of(TypeInterner& interner, const VType& t);

/// WGSL spelling of a type for messages and the writer ("vec3<f32>", "array<u32, 4>", struct name).
[[nodiscard]] std::string type_name(const ir::Arena<ir::Type>& types, const VType& t);
[[nodiscard]] std::string scalar_name(ir::Scalar s);

/// A compile-time value: a scalar literal, or elements (vector components, matrix columns, array elements,
/// struct members).
struct ConstValue {
    VType type;
    ir::Literal scalar;
    std::vector<ConstValue> elems;
};

}  // namespace trelliken::wgsl

#pragma once
// Types and literal values of the IR.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "wgsl/ir/arena.h"

namespace trelliken::wgsl::ir {

struct Type;
struct Expression;

/// Kind of a scalar. The abstract kinds only appear in module constants and never in function expressions.
enum class ScalarKind : uint8_t { Bool, Sint, Uint, Float, AbstractInt, AbstractFloat };

/// A scalar type: kind plus width in bytes (bool 1, f16 2, i32/u32/f32 4, f64 and the abstract kinds 8).
struct Scalar {
    ScalarKind kind = ScalarKind::Bool;
    uint8_t width = 1;

    static constexpr Scalar boolean() { return {ScalarKind::Bool, 1}; }
    static constexpr Scalar i32() { return {ScalarKind::Sint, 4}; }
    static constexpr Scalar u32() { return {ScalarKind::Uint, 4}; }
    static constexpr Scalar f16() { return {ScalarKind::Float, 2}; }
    static constexpr Scalar f32() { return {ScalarKind::Float, 4}; }
    static constexpr Scalar f64() { return {ScalarKind::Float, 8}; }
    static constexpr Scalar abstract_int() { return {ScalarKind::AbstractInt, 8}; }
    static constexpr Scalar abstract_float() { return {ScalarKind::AbstractFloat, 8}; }

    [[nodiscard]] constexpr bool is_abstract() const {
        return kind == ScalarKind::AbstractInt || kind == ScalarKind::AbstractFloat;
    }
    [[nodiscard]] constexpr bool is_float() const {
        return kind == ScalarKind::Float || kind == ScalarKind::AbstractFloat;
    }
    [[nodiscard]] constexpr bool is_integer() const {
        return kind == ScalarKind::Sint || kind == ScalarKind::Uint || kind == ScalarKind::AbstractInt;
    }
    friend constexpr bool operator==(Scalar, Scalar) = default;
};

/// Number of components of a vector, or of columns or rows of a matrix.
enum class VectorSize : uint8_t { Bi = 2, Tri = 3, Quad = 4 };

/// Where a variable lives. Textures and samplers are outside the translator's scope.
enum class AddressSpace : uint8_t { Function, Private, WorkGroup, Uniform, Storage };

/// What a pointer may do. Only storage pointers carry a choice; every other space has a fixed mode
/// (uniform: Read; function, private and workgroup: ReadWrite).
enum class AccessMode : uint8_t { Read, Write, ReadWrite };

/// How many elements an array has. Runtime-sized arrays only appear as the store type of a storage
/// variable or as the last member of a struct that is one.
struct ArraySize {
    enum class Kind : uint8_t { Constant, Dynamic };
    Kind kind = Kind::Dynamic;
    uint32_t count = 0;  // element count when kind == Constant, always > 0

    friend bool operator==(const ArraySize&, const ArraySize&) = default;
};

/// Shader stage of an entry point; this translator handles compute shaders only.
enum class ShaderStage : uint8_t { Compute };

/// Builtin values an entry point can receive.
enum class BuiltIn : uint8_t {
    GlobalInvocationId,
    LocalInvocationId,
    LocalInvocationIndex,
    WorkGroupId,
    NumWorkGroups,
};

/// Binding of an entry-point argument or result (or of a member of a struct used as one).
struct Binding {
    enum class Kind : uint8_t { BuiltIn, Location };
    Kind kind = Kind::BuiltIn;
    BuiltIn builtin = BuiltIn::GlobalInvocationId;
    uint32_t location = 0;

    friend bool operator==(const Binding&, const Binding&) = default;
};

/// A member of a struct type. `offset` is the byte offset computed from the WGSL layout rules; `align` and
/// `size` are the @align and @size attributes exactly as written (absent when not written).
struct StructMember {
    std::string name;
    Handle<Type> type;
    std::optional<Binding> binding;
    uint32_t offset = 0;
    std::optional<uint32_t> align;
    std::optional<uint32_t> size;

    friend bool operator==(const StructMember&, const StructMember&) = default;
};

namespace type {
struct Scalar {
    ir::Scalar scalar;
    friend bool operator==(const Scalar&, const Scalar&) = default;
};
struct Vector {
    VectorSize size;
    ir::Scalar scalar;
    friend bool operator==(const Vector&, const Vector&) = default;
};
/// `columns` vectors of `rows` floats each.
struct Matrix {
    VectorSize columns;
    VectorSize rows;
    ir::Scalar scalar;
    friend bool operator==(const Matrix&, const Matrix&) = default;
};
/// atomic<i32> or atomic<u32>.
struct Atomic {
    ir::Scalar scalar;
    friend bool operator==(const Atomic&, const Atomic&) = default;
};
/// Pointer to a value of type `base` (a handle of the same type arena) in `space`.
struct Pointer {
    Handle<Type> base;
    AddressSpace space;
    AccessMode access;
    friend bool operator==(const Pointer&, const Pointer&) = default;
};
/// `stride` is the byte distance between elements.
struct Array {
    Handle<Type> base;
    ArraySize size;
    uint32_t stride = 0;
    friend bool operator==(const Array&, const Array&) = default;
};
/// `span` is the size of the struct in bytes, rounded up to its alignment.
struct Struct {
    std::vector<StructMember> members;
    uint32_t span = 0;
    friend bool operator==(const Struct&, const Struct&) = default;
};
}  // namespace type

using TypeInner = std::variant<type::Scalar, type::Vector, type::Matrix, type::Atomic, type::Pointer, type::Array,
                               type::Struct>;

/// A type of the module. Structs have a name; other types do not (aliases are resolved while parsing).
/// Struct types whose name begins with "__" are WGSL's predeclared result structs (for instance the result of
/// atomicCompareExchangeWeak); writers refer to them but never declare them.
struct Type {
    std::optional<std::string> name;
    TypeInner inner;

    friend bool operator==(const Type&, const Type&) = default;
};

/// Kind of a literal value.
enum class LiteralKind : uint8_t { Bool, I32, U32, F16, F32, F64, AbstractInt, AbstractFloat };

/// A literal scalar value. Integers live in `i` (u32 values as their non-negative value), floating-point values
/// in `f` (f32 and f16 values already rounded to their precision; abstract floats keep full double precision).
struct Literal {
    LiteralKind kind = LiteralKind::I32;
    bool b = false;
    int64_t i = 0;
    double f = 0.0;

    static Literal boolean(bool v) { return {LiteralKind::Bool, v, 0, 0.0}; }
    static Literal i32(int32_t v) { return {LiteralKind::I32, false, v, 0.0}; }
    static Literal u32(uint32_t v) { return {LiteralKind::U32, false, static_cast<int64_t>(v), 0.0}; }
    static Literal f32(float v) { return {LiteralKind::F32, false, 0, static_cast<double>(v)}; }
    static Literal f16(double v) { return {LiteralKind::F16, false, 0, v}; }
    static Literal f64(double v) { return {LiteralKind::F64, false, 0, v}; }
    static Literal abstract_int(int64_t v) { return {LiteralKind::AbstractInt, false, v, 0.0}; }
    static Literal abstract_float(double v) { return {LiteralKind::AbstractFloat, false, 0, v}; }

    /// The scalar type of the value.
    [[nodiscard]] Scalar scalar() const {
        switch (kind) {
            case LiteralKind::Bool: return Scalar::boolean();
            case LiteralKind::I32: return Scalar::i32();
            case LiteralKind::U32: return Scalar::u32();
            case LiteralKind::F16: return Scalar::f16();
            case LiteralKind::F32: return Scalar::f32();
            case LiteralKind::F64: return Scalar::f64();
            case LiteralKind::AbstractInt: return Scalar::abstract_int();
            case LiteralKind::AbstractFloat: return Scalar::abstract_float();
        }
        return Scalar::boolean();
    }
    friend bool operator==(const Literal&, const Literal&) = default;
};

}  // namespace trelliken::wgsl::ir

#pragma once
// The SPIR-V writer's own view of expression types. The writer needs to know, for every expression, whether it
// is a pointer, its address space, and the shape of its value (a scalar, vector or matrix may have no entry in
// Module::types, for instance a column of a matrix). Resolution is one forward pass over a function's arena.

#include <cstdint>
#include <vector>

#include "wgsl/common/span.h"
#include "wgsl/ir/ir.h"

namespace trelliken::wgsl::spirv {

/// The shape of a value: scalars, vectors and matrices carry everything inline; arrays and structs name their
/// arena type. Atomics are kept distinct because loads and stores through them become atomic instructions.
struct Shape {
    enum class Kind : uint8_t { Scalar, Vector, Matrix, Atomic, Array, Struct };
    Kind kind = Kind::Scalar;
    ir::Scalar scalar{};
    uint8_t size = 1;  // vector components or matrix columns
    uint8_t rows = 1;  // matrix rows
    ir::Handle<ir::Type> handle{};  // arrays and structs only

    static Shape of_scalar(ir::Scalar s) { return {Kind::Scalar, s, 1, 1, {}}; }
    static Shape of_vector(uint8_t n, ir::Scalar s) { return {Kind::Vector, s, n, 1, {}}; }
    static Shape of_matrix(uint8_t columns, uint8_t rows, ir::Scalar s) { return {Kind::Matrix, s, columns, rows, {}}; }

    [[nodiscard]] bool is_scalar() const { return kind == Kind::Scalar; }
    [[nodiscard]] bool is_vector() const { return kind == Kind::Vector; }
    [[nodiscard]] bool is_matrix() const { return kind == Kind::Matrix; }
    /// The same shape with a different scalar (vector and scalar shapes only).
    [[nodiscard]] Shape with_scalar(ir::Scalar s) const {
        Shape r = *this;
        r.scalar = s;
        return r;
    }
    friend bool operator==(const Shape&, const Shape&) = default;
};

/// Type of one expression: a value of `shape`, or a pointer to one in `space`.
struct ExprType {
    Shape shape;
    bool pointer = false;
    ir::AddressSpace space = ir::AddressSpace::Function;
    ir::AccessMode access = ir::AccessMode::ReadWrite;
};

/// Shape of an arena type; pointer types yield their pointee's shape with `pointer` set.
[[nodiscard]] Result<ExprType> type_of(const ir::Module& module, ir::Handle<ir::Type> type, Span span);

/// Types of every expression of `function`, indexed by handle.
[[nodiscard]] Result<std::vector<ExprType>> resolve_function(const ir::Module& module, const ir::Function& function);

/// Shape of the element `index` of an aggregate (struct member, array element, vector component, matrix
/// column); for arrays, vectors and matrices `index` is ignored.
[[nodiscard]] Result<Shape> element_shape(const ir::Module& module, const Shape& base, uint32_t index, Span span);

/// Number of components of a scalar or vector shape.
[[nodiscard]] inline uint32_t component_count(const Shape& s) { return s.kind == Shape::Kind::Vector ? s.size : 1; }

}  // namespace trelliken::wgsl::spirv

#include "wgsl/spirv/module_writer.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "wgsl/spirv/check.h"

namespace trelliken::wgsl::spirv {

std::unexpected<Diagnostic> cannot_express(Span span, const std::string& construct) {
    return error_at(span, "SPIR-V writer: cannot express " + construct);
}

namespace {

/// IEEE binary16 bits of `v`, rounded to nearest even (the IR already holds f16 values exactly).
uint32_t half_bits(double v) {
    const uint32_t sign = std::signbit(v) ? 0x8000u : 0u;
    if (std::isnan(v)) return sign | 0x7E00u;
    double a = std::fabs(v);
    if (std::isinf(a) || a >= 65520.0) return sign | 0x7C00u;
    if (a < 0x1p-14) {
        // Subnormal: units of 2^-24.
        const double units = std::nearbyint(a * 0x1p24);
        return sign | static_cast<uint32_t>(units);
    }
    int exponent = 0;
    const double mantissa = std::frexp(a, &exponent);  // a = mantissa * 2^exponent, mantissa in [0.5, 1)
    double scaled = std::nearbyint((mantissa * 2.0 - 1.0) * 1024.0);
    int biased = exponent - 1 + 15;
    if (scaled >= 1024.0) {
        scaled = 0.0;
        ++biased;
    }
    if (biased >= 31) return sign | 0x7C00u;
    return sign | static_cast<uint32_t>(biased) << 10 | static_cast<uint32_t>(scaled);
}

std::string scalar_name(ir::Scalar s) {
    switch (s.kind) {
        case ir::ScalarKind::Bool: return "bool";
        case ir::ScalarKind::Sint: return "i" + std::to_string(s.width * 8);
        case ir::ScalarKind::Uint: return "u" + std::to_string(s.width * 8);
        case ir::ScalarKind::Float: return "f" + std::to_string(s.width * 8);
        case ir::ScalarKind::AbstractInt: return "abstract-int";
        case ir::ScalarKind::AbstractFloat: return "abstract-float";
    }
    return "?";
}

}  // namespace

Id ModuleWriter::cached(std::vector<uint32_t> key, spv::Op op, std::vector<uint32_t> operands, bool has_result_type) {
    if (auto it = dedup_.find(key); it != dedup_.end()) return it->second;
    const Id id = fresh();
    Instruction ins(op);
    if (has_result_type) {
        ins.add(operands.front()).add(id).add(std::span<const uint32_t>(operands).subspan(1));
    } else {
        ins.add(id).add(std::span<const uint32_t>(operands));
    }
    ins.append_to(sections_.globals);
    dedup_.emplace(std::move(key), id);
    return id;
}

void ModuleWriter::name(Id id, const std::string& text) {
    if (!options_.debug_names || text.empty()) return;
    Instruction(spv::OpName).add(id).add_string(text).append_to(sections_.debug_names);
}

Id ModuleWriter::glsl_std_450() {
    if (glsl_ == 0) {
        glsl_ = fresh();
        Instruction(spv::OpExtInstImport).add(glsl_).add_string("GLSL.std.450").append_to(sections_.ext_imports);
    }
    return glsl_;
}

// ---------------------------------------------------------------- types

Id ModuleWriter::void_type() { return cached({spv::OpTypeVoid}, spv::OpTypeVoid, {}, false); }
Id ModuleWriter::bool_type() { return cached({spv::OpTypeBool}, spv::OpTypeBool, {}, false); }
Id ModuleWriter::u32_type() { return cached({spv::OpTypeInt, 32, 0}, spv::OpTypeInt, {32, 0}, false); }
Id ModuleWriter::i32_type() { return cached({spv::OpTypeInt, 32, 1}, spv::OpTypeInt, {32, 1}, false); }
Id ModuleWriter::f32_type() { return cached({spv::OpTypeFloat, 32}, spv::OpTypeFloat, {32}, false); }

Result<Id> ModuleWriter::scalar_type(ir::Scalar scalar, Span span) {
    const uint32_t bits = scalar.width * 8u;
    switch (scalar.kind) {
        case ir::ScalarKind::Bool: return bool_type();
        case ir::ScalarKind::Sint:
        case ir::ScalarKind::Uint: {
            if (bits != 32 && bits != 64) return cannot_express(span, "the integer type " + scalar_name(scalar));
            if (bits == 64) sections_.capabilities.insert(spv::CapabilityInt64);
            const uint32_t sign = scalar.kind == ir::ScalarKind::Sint ? 1 : 0;
            return cached({spv::OpTypeInt, bits, sign}, spv::OpTypeInt, {bits, sign}, false);
        }
        case ir::ScalarKind::Float: {
            if (bits != 16 && bits != 32 && bits != 64)
                return cannot_express(span, "the float type " + scalar_name(scalar));
            if (bits == 64) sections_.capabilities.insert(spv::CapabilityFloat64);
            if (bits == 16) sections_.capabilities.insert(spv::CapabilityFloat16);
            return cached({spv::OpTypeFloat, bits}, spv::OpTypeFloat, {bits}, false);
        }
        case ir::ScalarKind::AbstractInt:
        case ir::ScalarKind::AbstractFloat: break;
    }
    return cannot_express(span, "a value of abstract type (" + scalar_name(scalar) + ") outside a constant");
}

Result<Id> ModuleWriter::shape_type(const Shape& shape, Span span) {
    switch (shape.kind) {
        case Shape::Kind::Scalar:
        case Shape::Kind::Atomic: return scalar_type(shape.scalar, span);
        case Shape::Kind::Vector: {
            SPIRV_TRY(Id component, scalar_type(shape.scalar, span));
            return cached({spv::OpTypeVector, component, shape.size}, spv::OpTypeVector, {component, shape.size},
                          false);
        }
        case Shape::Kind::Matrix: {
            if (!shape.scalar.is_float()) return cannot_express(span, "a matrix of " + scalar_name(shape.scalar));
            SPIRV_TRY(Id column, shape_type(Shape::of_vector(shape.rows, shape.scalar), span));
            sections_.capabilities.insert(spv::CapabilityShader);
            return cached({spv::OpTypeMatrix, column, shape.size}, spv::OpTypeMatrix, {column, shape.size}, false);
        }
        case Shape::Kind::Array:
        case Shape::Kind::Struct: return arena_type(shape.handle, span);
    }
    return cannot_express(span, "a value of unknown shape");
}

Id ModuleWriter::pointer_type(spv::StorageClass storage, Id pointee) {
    return cached({spv::OpTypePointer, static_cast<uint32_t>(storage), pointee}, spv::OpTypePointer,
                  {static_cast<uint32_t>(storage), pointee}, false);
}

Id ModuleWriter::function_type(Id result, const std::vector<Id>& parameters) {
    std::vector<uint32_t> operands{result};
    operands.insert(operands.end(), parameters.begin(), parameters.end());
    std::vector<uint32_t> key{spv::OpTypeFunction};
    key.insert(key.end(), operands.begin(), operands.end());
    return cached(std::move(key), spv::OpTypeFunction, std::move(operands), false);
}

Result<Id> ModuleWriter::arena_type(ir::Handle<ir::Type> handle, Span span) {
    if (!module_.types.contains(handle)) return cannot_express(span, "a reference to a missing type");
    if (arena_types_[handle.index] != 0) return arena_types_[handle.index];
    const ir::Type& type = module_.types[handle];
    Id id = 0;
    if (auto* array = std::get_if<ir::type::Array>(&type.inner)) {
        SPIRV_TRY(ExprType element, type_of(module_, array->base, span));
        if (element.pointer) return cannot_express(span, "an array of pointers");
        SPIRV_TRY(Id element_id, shape_type(element.shape, span));
        id = fresh();
        if (array->size.kind == ir::ArraySize::Kind::Constant) {
            const Id length = constant_u32(array->size.count);
            emit(sections_.globals, spv::OpTypeArray, {id, element_id, length});
        } else {
            emit(sections_.globals, spv::OpTypeRuntimeArray, {id, element_id});
        }
        if (array->stride == 0) return cannot_express(span, "an array without a stride");
        emit(sections_.annotations, spv::OpDecorate, {id, spv::DecorationArrayStride, array->stride});
    } else if (auto* s = std::get_if<ir::type::Struct>(&type.inner)) {
        SPIRV_TRY(id, write_struct(handle, *s, span));
    } else if (std::holds_alternative<ir::type::Pointer>(type.inner)) {
        return cannot_express(span, "a pointer type stored inside another type");
    } else {
        SPIRV_TRY(ExprType t, type_of(module_, handle, span));
        SPIRV_TRY(id, shape_type(t.shape, span));
    }
    arena_types_[handle.index] = id;
    return id;
}

void ModuleWriter::decorate_matrix_layout(Id struct_id, uint32_t member, ir::Handle<ir::Type> type) {
    // Matrices inside buffers need their column layout stated; arrays of matrices state it on the member too.
    const ir::Type* t = &module_.types[type];
    while (auto* array = std::get_if<ir::type::Array>(&t->inner)) t = &module_.types[array->base];
    if (auto* matrix = std::get_if<ir::type::Matrix>(&t->inner)) {
        const uint32_t rows = static_cast<uint32_t>(matrix->rows);
        const uint32_t stride = (rows == 2 ? 2u : 4u) * matrix->scalar.width;
        emit(sections_.annotations, spv::OpMemberDecorate, {struct_id, member, spv::DecorationColMajor});
        emit(sections_.annotations, spv::OpMemberDecorate, {struct_id, member, spv::DecorationMatrixStride, stride});
    }
}

Result<Id> ModuleWriter::write_struct(ir::Handle<ir::Type> handle, const ir::type::Struct& s, Span span) {
    std::vector<uint32_t> members;
    for (const ir::StructMember& member : s.members) {
        SPIRV_TRY(ExprType mt, type_of(module_, member.type, span));
        if (mt.pointer) return cannot_express(span, "a struct member of pointer type");
        SPIRV_TRY(Id member_id, shape_type(mt.shape, span));
        members.push_back(member_id);
    }
    if (members.empty()) return cannot_express(span, "an empty struct");
    const Id id = fresh();
    Instruction(spv::OpTypeStruct).add(id).add(std::span<const uint32_t>(members)).append_to(sections_.globals);
    const ir::Type& type = module_.types[handle];
    if (type.name) name(id, *type.name);
    for (uint32_t i = 0; i < s.members.size(); ++i) {
        const ir::StructMember& member = s.members[i];
        if (options_.debug_names && !member.name.empty())
            Instruction(spv::OpMemberName).add(id).add(i).add_string(member.name).append_to(sections_.debug_names);
        emit(sections_.annotations, spv::OpMemberDecorate, {id, i, spv::DecorationOffset, member.offset});
        decorate_matrix_layout(id, i, member.type);
    }
    if (block_structs_.contains(handle.index)) emit(sections_.annotations, spv::OpDecorate, {id, spv::DecorationBlock});
    return id;
}

bool ModuleWriter::contains_f16(ir::Handle<ir::Type> handle) const {
    const ir::Type& t = module_.types[handle];
    return std::visit(
        [&](const auto& inner) -> bool {
            using T = std::decay_t<decltype(inner)>;
            if constexpr (std::is_same_v<T, ir::type::Scalar> || std::is_same_v<T, ir::type::Vector> ||
                          std::is_same_v<T, ir::type::Matrix> || std::is_same_v<T, ir::type::Atomic>) {
                return inner.scalar.kind == ir::ScalarKind::Float && inner.scalar.width == 2;
            } else if constexpr (std::is_same_v<T, ir::type::Array>) {
                return contains_f16(inner.base);
            } else if constexpr (std::is_same_v<T, ir::type::Struct>) {
                for (const auto& m : inner.members)
                    if (contains_f16(m.type)) return true;
                return false;
            } else {
                return false;
            }
        },
        t.inner);
}

void ModuleWriter::require_16bit_storage(ir::Handle<ir::Type> type, spv::StorageClass storage) {
    if (!contains_f16(type)) return;
    sections_.capabilities.insert(storage == spv::StorageClassUniform ? spv::CapabilityUniformAndStorageBuffer16BitAccess
                                                                      : spv::CapabilityStorageBuffer16BitAccess);
}

// ---------------------------------------------------------------- constants

Id ModuleWriter::constant_u32(uint32_t value) {
    const Id type = u32_type();
    return cached({spv::OpConstant, type, value}, spv::OpConstant, {type, value}, true);
}

Id ModuleWriter::constant_i32(int32_t value) {
    const Id type = i32_type();
    const uint32_t bits = static_cast<uint32_t>(value);
    return cached({spv::OpConstant, type, bits}, spv::OpConstant, {type, bits}, true);
}

Result<Id> ModuleWriter::constant_words(ir::Scalar scalar, std::vector<uint32_t> words, Span span) {
    SPIRV_TRY(Id type, scalar_type(scalar, span));
    if (scalar.kind == ir::ScalarKind::Bool) {
        const spv::Op op = words.front() != 0 ? spv::OpConstantTrue : spv::OpConstantFalse;
        return cached({static_cast<uint32_t>(op), type}, op, {type}, true);
    }
    std::vector<uint32_t> operands{type};
    operands.insert(operands.end(), words.begin(), words.end());
    std::vector<uint32_t> key{spv::OpConstant};
    key.insert(key.end(), operands.begin(), operands.end());
    return cached(std::move(key), spv::OpConstant, std::move(operands), true);
}

Result<Id> ModuleWriter::constant_number(ir::Scalar scalar, double value, Span span) {
    switch (scalar.kind) {
        case ir::ScalarKind::Bool: return constant_words(scalar, {value != 0.0 ? 1u : 0u}, span);
        case ir::ScalarKind::Sint:
            if (scalar.width == 8) {
                const uint64_t bits = static_cast<uint64_t>(static_cast<int64_t>(value));
                return constant_words(scalar, {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)}, span);
            }
            return constant_words(scalar, {static_cast<uint32_t>(static_cast<int32_t>(value))}, span);
        case ir::ScalarKind::Uint:
            if (scalar.width == 8) {
                const uint64_t bits = static_cast<uint64_t>(value);
                return constant_words(scalar, {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)}, span);
            }
            return constant_words(scalar, {static_cast<uint32_t>(static_cast<int64_t>(value))}, span);
        case ir::ScalarKind::Float:
            if (scalar.width == 8) {
                const uint64_t bits = std::bit_cast<uint64_t>(value);
                return constant_words(scalar, {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)}, span);
            }
            if (scalar.width == 2) return constant_words(scalar, {half_bits(value)}, span);
            return constant_words(scalar, {std::bit_cast<uint32_t>(static_cast<float>(value))}, span);
        default: break;
    }
    return cannot_express(span, "a constant of abstract type");
}

Result<Id> ModuleWriter::constant_splat(const Shape& shape, double value, Span span) {
    SPIRV_TRY(Id scalar, constant_number(shape.scalar, value, span));
    if (!shape.is_vector()) return scalar;
    SPIRV_TRY(Id type, shape_type(shape, span));
    return constant_composite(type, std::vector<Id>(shape.size, scalar));
}

Result<Id> ModuleWriter::literal(const ir::Literal& lit, Span span) {
    switch (lit.kind) {
        case ir::LiteralKind::Bool: return constant_words(ir::Scalar::boolean(), {lit.b ? 1u : 0u}, span);
        case ir::LiteralKind::I32:
            return constant_words(ir::Scalar::i32(), {static_cast<uint32_t>(static_cast<int32_t>(lit.i))}, span);
        case ir::LiteralKind::U32: return constant_words(ir::Scalar::u32(), {static_cast<uint32_t>(lit.i)}, span);
        case ir::LiteralKind::F16: return constant_number(ir::Scalar::f16(), lit.f, span);
        case ir::LiteralKind::F32: return constant_number(ir::Scalar::f32(), lit.f, span);
        case ir::LiteralKind::F64: return constant_number(ir::Scalar::f64(), lit.f, span);
        case ir::LiteralKind::AbstractInt:
        case ir::LiteralKind::AbstractFloat: break;
    }
    return cannot_express(span, "an abstract literal outside a constant declaration");
}

Id ModuleWriter::constant_composite(Id type, const std::vector<Id>& parts) {
    std::vector<uint32_t> operands{type};
    operands.insert(operands.end(), parts.begin(), parts.end());
    std::vector<uint32_t> key{spv::OpConstantComposite};
    key.insert(key.end(), operands.begin(), operands.end());
    return cached(std::move(key), spv::OpConstantComposite, std::move(operands), true);
}

Id ModuleWriter::constant_null(Id type) {
    return cached({spv::OpConstantNull, type}, spv::OpConstantNull, {type}, true);
}

Result<Id> ModuleWriter::global_expression(ir::Handle<ir::Expression> handle) {
    const auto& arena = module_.global_expressions;
    const Span span = arena.contains(handle) ? arena.span(handle) : Span{};
    if (!arena.contains(handle)) return cannot_express(span, "a reference to a missing module expression");
    if (global_expressions_[handle.index] != 0) return global_expressions_[handle.index];
    const ir::Expression& e = arena[handle];
    Id id = 0;
    if (auto* lit = e.as<ir::expr::Literal>()) {
        SPIRV_TRY(id, literal(*lit, span));
    } else if (auto* c = e.as<ir::expr::Constant>()) {
        if (!module_.constants.contains(c->constant)) return cannot_express(span, "a reference to a missing constant");
        SPIRV_TRY(id, global_expression(module_.constants[c->constant].init));
    } else if (auto* o = e.as<ir::expr::Override>()) {
        SPIRV_TRY(id, override_constant(o->override_, span));
    } else if (auto* z = e.as<ir::expr::ZeroValue>()) {
        SPIRV_TRY(Id type, arena_type(z->type, span));
        id = constant_null(type);
    } else if (auto* comp = e.as<ir::expr::Compose>()) {
        SPIRV_TRY(ExprType t, type_of(module_, comp->type, span));
        SPIRV_TRY(Id type, arena_type(comp->type, span));
        std::vector<Id> parts;
        for (auto part : comp->components) {
            SPIRV_TRY(Id p, global_expression(part));
            parts.push_back(p);
        }
        if (t.shape.is_matrix() && parts.size() == static_cast<size_t>(t.shape.size) * t.shape.rows &&
            t.shape.rows != 1) {
            // A matrix written as its scalars: group them into columns first.
            SPIRV_TRY(Id column_type, shape_type(Shape::of_vector(t.shape.rows, t.shape.scalar), span));
            std::vector<Id> columns;
            for (uint32_t c = 0; c < t.shape.size; ++c) {
                std::vector<Id> column(parts.begin() + c * t.shape.rows, parts.begin() + (c + 1) * t.shape.rows);
                columns.push_back(constant_composite(column_type, column));
            }
            parts = std::move(columns);
        } else if (t.shape.is_vector() && parts.size() != t.shape.size) {
            return cannot_express(span, "a constant vector built from smaller vectors");
        }
        id = constant_composite(type, parts);
    } else if (auto* sp = e.as<ir::expr::Splat>()) {
        SPIRV_TRY(Id scalar, global_expression(sp->value));
        // The component type comes from the scalar's own constant; find it through its expression.
        const ir::Expression& v = arena[sp->value];
        ir::Scalar s = ir::Scalar::f32();
        if (auto* l = v.as<ir::expr::Literal>()) s = l->scalar();
        else return cannot_express(span, "a constant splat of a non-literal value");
        SPIRV_TRY(Id type, shape_type(Shape::of_vector(static_cast<uint8_t>(sp->size), s), span));
        id = constant_composite(type, std::vector<Id>(static_cast<size_t>(sp->size), scalar));
    } else {
        return cannot_express(span, "a module constant that is not fully evaluated");
    }
    global_expressions_[handle.index] = id;
    return id;
}

// A workgroup size taken from overrides becomes a spec-constant uvec3 decorated WorkgroupSize, which
// takes precedence over LocalSize. That decoration holds for every entry point of the module (Vulkan 1.2
// has no per-entry-point form without maintenance4), so it is only written for a single entry point.
Result<void> ModuleWriter::override_workgroup_size(const ir::EntryPoint& ep) {
    bool any = false;
    for (const auto& size : ep.workgroup_size_overrides) any = any || size.has_value();
    if (!any) return {};
    if (module_.entry_points.size() != 1)
        return cannot_express(ep.span, "a workgroup size that depends on an override in a module with several entry points");
    std::vector<Id> parts;
    for (uint32_t i = 0; i < 3; ++i) {
        const auto& size = ep.workgroup_size_overrides[i];
        if (!size) {
            parts.push_back(constant_u32(ep.workgroup_size[i]));
            continue;
        }
        if (!module_.global_expressions.contains(*size))
            return cannot_express(ep.span, "a workgroup size referring to a missing expression");
        const ir::Override* ref_override = nullptr;
        ir::Handle<ir::Override> handle{};
        if (auto* ref = module_.global_expressions[*size].as<ir::expr::Override>()) {
            handle = ref->override_;
            if (!module_.overrides.contains(handle))
                return cannot_express(ep.span, "a workgroup size referring to a missing override");
            ref_override = &module_.overrides[handle];
        }
        if (ref_override == nullptr) return cannot_express(ep.span, "a workgroup size computed from overrides");
        SPIRV_TRY(ExprType t, type_of(module_, ref_override->type, ep.span));
        SPIRV_TRY(Id value, override_constant(handle, ep.span));
        if (t.shape.scalar.kind == ir::ScalarKind::Sint) {
            const Id as_unsigned = fresh();
            emit(sections_.globals, spv::OpSpecConstantOp, {u32_type(), as_unsigned, spv::OpBitcast, value});
            value = as_unsigned;
        }
        parts.push_back(value);
    }
    SPIRV_TRY(Id uvec3, shape_type(Shape::of_vector(3, ir::Scalar::u32()), ep.span));
    const Id composite = fresh();
    emit(sections_.globals, spv::OpSpecConstantComposite, {uvec3, composite, parts[0], parts[1], parts[2]});
    emit(sections_.annotations, spv::OpDecorate, {composite, spv::DecorationBuiltIn, spv::BuiltInWorkgroupSize});
    return {};
}

Result<Id> ModuleWriter::override_constant(ir::Handle<ir::Override> handle, Span span) {
    if (!module_.overrides.contains(handle)) return cannot_express(span, "a reference to a missing override");
    if (overrides_[handle.index] != 0) return overrides_[handle.index];
    const ir::Override& o = module_.overrides[handle];
    SPIRV_TRY(ExprType t, type_of(module_, o.type, span));
    if (!t.shape.is_scalar()) return cannot_express(span, "an override of non-scalar type");
    SPIRV_TRY(Id type, scalar_type(t.shape.scalar, span));
    double value = 0.0;
    bool bool_value = false;
    if (o.init) {
        const ir::Expression& init = module_.global_expressions[*o.init];
        const ir::Literal* lit = init.as<ir::expr::Literal>();
        if (lit == nullptr) return cannot_express(span, "override '" + o.name + "' whose default is not a literal");
        bool_value = lit->b;
        value = lit->f;
        if (lit->kind == ir::LiteralKind::I32 || lit->kind == ir::LiteralKind::U32 ||
            lit->kind == ir::LiteralKind::AbstractInt)
            value = static_cast<double>(lit->i);
    }
    const Id id = fresh();
    if (t.shape.scalar.kind == ir::ScalarKind::Bool) {
        emit(sections_.globals, bool_value ? spv::OpSpecConstantTrue : spv::OpSpecConstantFalse, {type, id});
    } else {
        // Reuse the constant encoder, then copy its value words onto a spec constant.
        std::vector<uint32_t> words;
        const ir::Scalar s = t.shape.scalar;
        if (s.kind == ir::ScalarKind::Float && s.width == 8) {
            const uint64_t bits = std::bit_cast<uint64_t>(value);
            words = {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};
        } else if (s.kind == ir::ScalarKind::Float && s.width == 2) {
            words = {half_bits(value)};
        } else if (s.kind == ir::ScalarKind::Float) {
            words = {std::bit_cast<uint32_t>(static_cast<float>(value))};
        } else {
            words = {static_cast<uint32_t>(static_cast<int64_t>(value))};
        }
        Instruction(spv::OpSpecConstant).add(type).add(id).add(std::span<const uint32_t>(words)).append_to(
            sections_.globals);
    }
    uint32_t spec_id = 0;
    if (o.id) {
        spec_id = *o.id;
    } else {
        while (used_spec_ids_.contains(spec_id)) ++spec_id;
        used_spec_ids_.insert(spec_id);
    }
    emit(sections_.annotations, spv::OpDecorate, {id, spv::DecorationSpecId, spec_id});
    name(id, o.name);
    overrides_[handle.index] = id;
    return id;
}

// ---------------------------------------------------------------- variables

Id ModuleWriter::builtin_input(ir::BuiltIn builtin) {
    const uint32_t key = static_cast<uint32_t>(builtin);
    if (auto it = builtin_inputs_.find(key); it != builtin_inputs_.end()) return it->second;
    const bool scalar = builtin == ir::BuiltIn::LocalInvocationIndex;
    Id type = u32_type();
    if (!scalar) type = cached({spv::OpTypeVector, type, 3}, spv::OpTypeVector, {type, 3}, false);
    const Id pointer = pointer_type(spv::StorageClassInput, type);
    const Id id = fresh();
    emit(sections_.globals, spv::OpVariable, {pointer, id, spv::StorageClassInput});
    spv::BuiltIn b = spv::BuiltInGlobalInvocationId;
    const char* label = "global_invocation_id";
    switch (builtin) {
        case ir::BuiltIn::GlobalInvocationId: break;
        case ir::BuiltIn::LocalInvocationId: b = spv::BuiltInLocalInvocationId; label = "local_invocation_id"; break;
        case ir::BuiltIn::LocalInvocationIndex:
            b = spv::BuiltInLocalInvocationIndex;
            label = "local_invocation_index";
            break;
        case ir::BuiltIn::WorkGroupId: b = spv::BuiltInWorkgroupId; label = "workgroup_id"; break;
        case ir::BuiltIn::NumWorkGroups: b = spv::BuiltInNumWorkgroups; label = "num_workgroups"; break;
    }
    emit(sections_.annotations, spv::OpDecorate, {id, spv::DecorationBuiltIn, static_cast<uint32_t>(b)});
    name(id, label);
    builtin_inputs_.emplace(key, id);
    return id;
}

Result<void> ModuleWriter::write_global(ir::Handle<ir::GlobalVariable> handle) {
    const ir::GlobalVariable& var = module_.global_variables[handle];
    const Span span = module_.global_variables.span(handle);
    GlobalInfo info;
    SPIRV_TRY(Id store_type, arena_type(var.type, span));
    switch (var.space) {
        case ir::AddressSpace::Storage:
        case ir::AddressSpace::Uniform: {
            info.storage = var.space == ir::AddressSpace::Storage ? spv::StorageClassStorageBuffer
                                                                  : spv::StorageClassUniform;
            if (!var.binding) return cannot_express(span, "buffer variable '" + var.name + "' without @group/@binding");
            if (var.init) return cannot_express(span, "an initialiser on buffer variable '" + var.name + "'");
            Id pointee = store_type;
            if (!block_structs_.contains(var.type.index)) {
                // Wrap the store type in a Block struct so that arrays, scalars and shared structs all work.
                const Id wrapper = fresh();
                emit(sections_.globals, spv::OpTypeStruct, {wrapper, store_type});
                emit(sections_.annotations, spv::OpDecorate, {wrapper, spv::DecorationBlock});
                emit(sections_.annotations, spv::OpMemberDecorate, {wrapper, 0, spv::DecorationOffset, 0});
                decorate_matrix_layout(wrapper, 0, var.type);
                name(wrapper, var.name + "_block");
                info.wrapped = true;
                info.inner_pointer_type = pointer_type(info.storage, store_type);
                pointee = wrapper;
            }
            require_16bit_storage(var.type, info.storage);
            const Id pointer = pointer_type(info.storage, pointee);
            info.variable = fresh();
            emit(sections_.globals, spv::OpVariable, {pointer, info.variable, static_cast<uint32_t>(info.storage)});
            emit(sections_.annotations, spv::OpDecorate,
                 {info.variable, spv::DecorationDescriptorSet, var.binding->group});
            emit(sections_.annotations, spv::OpDecorate, {info.variable, spv::DecorationBinding, var.binding->binding});
            if (var.space == ir::AddressSpace::Storage && var.access == ir::AccessMode::Read)
                emit(sections_.annotations, spv::OpDecorate, {info.variable, spv::DecorationNonWritable});
            break;
        }
        case ir::AddressSpace::WorkGroup: {
            info.storage = spv::StorageClassWorkgroup;
            if (var.init) return cannot_express(span, "an initialiser on workgroup variable '" + var.name + "'");
            const Id pointer = pointer_type(info.storage, store_type);
            info.variable = fresh();
            emit(sections_.globals, spv::OpVariable, {pointer, info.variable, spv::StorageClassWorkgroup});
            break;
        }
        case ir::AddressSpace::Private: {
            info.storage = spv::StorageClassPrivate;
            Id init = 0;
            if (var.init) {
                SPIRV_TRY(init, global_expression(*var.init));
            } else {
                init = constant_null(store_type);  // WGSL zero-initialises private variables
            }
            const Id pointer = pointer_type(info.storage, store_type);
            info.variable = fresh();
            emit(sections_.globals, spv::OpVariable, {pointer, info.variable, spv::StorageClassPrivate, init});
            break;
        }
        case ir::AddressSpace::Function:
            return cannot_express(span, "module variable '" + var.name + "' in the function address space");
    }
    name(info.variable, var.name);
    globals_[handle.index] = info;
    return {};
}

Result<void> ModuleWriter::write_globals() {
    // Structs that end in a runtime-sized array cannot be wrapped (the array must stay in the outermost
    // struct), so they carry Block themselves; WGSL only allows them as a storage store type.
    for (const ir::GlobalVariable& var : module_.global_variables.items()) {
        if (var.space != ir::AddressSpace::Storage || !module_.types.contains(var.type)) continue;
        const auto* s = std::get_if<ir::type::Struct>(&module_.types[var.type].inner);
        if (s == nullptr || s->members.empty()) continue;
        const auto* last = std::get_if<ir::type::Array>(&module_.types[s->members.back().type].inner);
        if (last != nullptr && last->size.kind == ir::ArraySize::Kind::Dynamic) block_structs_.insert(var.type.index);
    }
    for (uint32_t i = 0; i < module_.global_variables.size(); ++i)
        SPIRV_CHECK(write_global(ir::Handle<ir::GlobalVariable>(i)));
    return {};
}

// ---------------------------------------------------------------- module

Result<std::vector<uint32_t>> ModuleWriter::write() {
    if (options_.version < 0x00010400 || options_.version > 0x00010600)
        return cannot_express({}, "SPIR-V versions before 1.4 or after 1.6 (the writer relies on 1.4 rules)");
    arena_types_.assign(module_.types.size(), 0);
    global_expressions_.assign(module_.global_expressions.size(), 0);
    overrides_.assign(module_.overrides.size(), 0);
    globals_.assign(module_.global_variables.size(), GlobalInfo{});
    for (const ir::Override& o : module_.overrides.items())
        if (o.id) used_spec_ids_.insert(*o.id);

    sections_.capabilities.insert(spv::CapabilityShader);
    emit(sections_.memory_model, spv::OpMemoryModel, {spv::AddressingModelLogical, spv::MemoryModelGLSL450});

    SPIRV_CHECK(write_globals());

    for (uint32_t i = 0; i < module_.functions.size(); ++i) function_ids_.push_back(fresh());
    function_uses_.resize(module_.functions.size());
    function_builtins_.resize(module_.functions.size());

    auto transitive = [&](std::set<uint32_t>& uses, std::set<uint32_t>& builtins) {
        uses = current_uses_;
        builtins = current_builtins_;
        for (uint32_t callee : current_calls_) {
            uses.insert(function_uses_[callee].begin(), function_uses_[callee].end());
            builtins.insert(function_builtins_[callee].begin(), function_builtins_[callee].end());
        }
    };

    for (uint32_t i = 0; i < module_.functions.size(); ++i) {
        const ir::Function& function = module_.functions[ir::Handle<ir::Function>(i)];
        current_uses_.clear();
        current_calls_.clear();
        current_builtins_.clear();
        FunctionWriter writer(*this, function, nullptr);
        SPIRV_CHECK(writer.write(function_ids_[i], {}));
        for (uint32_t callee : current_calls_)
            if (callee >= i)
                return cannot_express(module_.functions.span(ir::Handle<ir::Function>(i)),
                                      "a call to a function that is not declared before the caller");
        transitive(function_uses_[i], function_builtins_[i]);
        name(function_ids_[i], function.name);
    }

    for (const ir::EntryPoint& ep : module_.entry_points) {
        if (ep.stage != ir::ShaderStage::Compute) return cannot_express(ep.span, "a non-compute entry point");
        SPIRV_CHECK(override_workgroup_size(ep));
        // Workgroup variables the entry point reaches need zeroing; find them by a dry pass over the same
        // expressions the writer will visit (callees are already known).
        std::set<uint32_t> reached;
        for (const ir::Expression& e : ep.function.expressions.items())
            if (auto* g = e.as<ir::expr::GlobalVariable>()) reached.insert(g->variable.index);
        std::function<void(const ir::Block&)> calls = [&](const ir::Block& block) {
            for (const ir::Statement& s : block.statements) {
                if (auto* c = s.as<ir::stmt::Call>()) {
                    if (c->function.index < function_uses_.size())
                        reached.insert(function_uses_[c->function.index].begin(), function_uses_[c->function.index].end());
                } else if (auto* b = s.as<ir::stmt::Block>()) {
                    calls(b->block);
                } else if (auto* f = s.as<ir::stmt::If>()) {
                    calls(f->accept);
                    calls(f->reject);
                } else if (auto* sw = s.as<ir::stmt::Switch>()) {
                    for (const auto& c : sw->cases) calls(c.body);
                } else if (auto* l = s.as<ir::stmt::Loop>()) {
                    calls(l->body);
                    calls(l->continuing);
                }
            }
        };
        calls(ep.function.body);
        std::vector<ir::Handle<ir::GlobalVariable>> workgroup;
        for (uint32_t g : reached)
            if (g < module_.global_variables.size() &&
                module_.global_variables[ir::Handle<ir::GlobalVariable>(g)].space == ir::AddressSpace::WorkGroup)
                workgroup.emplace_back(g);

        current_uses_.clear();
        current_calls_.clear();
        current_builtins_.clear();
        const Id id = fresh();
        FunctionWriter writer(*this, ep.function, &ep);
        SPIRV_CHECK(writer.write(id, workgroup));
        std::set<uint32_t> uses, builtins;
        transitive(uses, builtins);

        Instruction entry(spv::OpEntryPoint);
        entry.add(spv::ExecutionModelGLCompute).add(id).add_string(ep.name);
        for (uint32_t b : builtins) entry.add(builtin_input(static_cast<ir::BuiltIn>(b)));
        for (uint32_t g : uses) entry.add(globals_[g].variable);
        entry.append_to(sections_.entry_points);
        emit(sections_.execution_modes, spv::OpExecutionMode,
             {id, spv::ExecutionModeLocalSize, ep.workgroup_size[0], ep.workgroup_size[1], ep.workgroup_size[2]});
        name(id, ep.name);
    }
    return sections_.assemble(options_.version, next_id_);
}

}  // namespace trelliken::wgsl::spirv

namespace trelliken::wgsl {

Result<std::vector<uint32_t>> write_spirv(const ir::Module& module, const SpirvOptions& options) {
    spirv::ModuleWriter writer(module, options);
    return writer.write();
}

Result<std::vector<uint32_t>> write_spirv(const ir::Module& module, const ModuleInfo& /*info*/,
                                          const SpirvOptions& options) {
    return write_spirv(module, options);
}

}  // namespace trelliken::wgsl

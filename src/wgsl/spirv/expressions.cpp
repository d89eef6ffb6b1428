#include <bit>
#include <cmath>
#include <limits>
#include <string>

#include "wgsl/spirv/check.h"
#include "wgsl/spirv/module_writer.h"

namespace trelliken::wgsl::spirv {
namespace {

spv::StorageClass storage_class(ir::AddressSpace space) {
    switch (space) {
        case ir::AddressSpace::Function: return spv::StorageClassFunction;
        case ir::AddressSpace::Private: return spv::StorageClassPrivate;
        case ir::AddressSpace::WorkGroup: return spv::StorageClassWorkgroup;
        case ir::AddressSpace::Uniform: return spv::StorageClassUniform;
        case ir::AddressSpace::Storage: return spv::StorageClassStorageBuffer;
    }
    return spv::StorageClassFunction;
}

bool is_sint(const Shape& s) { return s.scalar.kind == ir::ScalarKind::Sint; }
bool is_uint(const Shape& s) { return s.scalar.kind == ir::ScalarKind::Uint; }
bool is_float(const Shape& s) { return s.scalar.kind == ir::ScalarKind::Float; }
bool is_bool(const Shape& s) { return s.scalar.kind == ir::ScalarKind::Bool; }

std::string math_name(ir::MathFunction f) {
    using F = ir::MathFunction;
    switch (f) {
        case F::Sin: return "sin";
        case F::Cos: return "cos";
        case F::Tan: return "tan";
        case F::Asin: return "asin";
        case F::Acos: return "acos";
        case F::Atan: return "atan";
        case F::Atan2: return "atan2";
        case F::Sinh: return "sinh";
        case F::Cosh: return "cosh";
        case F::Tanh: return "tanh";
        case F::Asinh: return "asinh";
        case F::Acosh: return "acosh";
        case F::Atanh: return "atanh";
        case F::Exp: return "exp";
        case F::Exp2: return "exp2";
        case F::Log: return "log";
        case F::Log2: return "log2";
        case F::Pow: return "pow";
        default: return "this builtin";
    }
}

}  // namespace

Id FunctionWriter::op(spv::Op opcode, Id type, std::initializer_list<Id> operands) {
    const Id id = m_.fresh();
    Instruction(opcode).add(type).add(id).add(operands).append_to(code_);
    return id;
}

Id FunctionWriter::op(spv::Op opcode, Id type, const std::vector<Id>& operands) {
    const Id id = m_.fresh();
    Instruction(opcode).add(type).add(id).add(std::span<const uint32_t>(operands)).append_to(code_);
    return id;
}

Id FunctionWriter::ext(GLSLstd450 instruction, Id type, std::initializer_list<Id> operands) {
    const Id set = m_.glsl_std_450();
    const Id id = m_.fresh();
    Instruction(spv::OpExtInst).add(type).add(id).add(set).add(static_cast<uint32_t>(instruction)).add(operands).append_to(
        code_);
    return id;
}

Result<Id> FunctionWriter::type_of_expr(ir::Handle<ir::Expression> handle) {
    const ExprType& t = types_[handle.index];
    SPIRV_TRY(Id value_type, m_.shape_type(t.shape, span_of(handle)));
    if (!t.pointer) return value_type;
    return m_.pointer_type(storage_class(t.space), value_type);
}

Result<Id> FunctionWriter::value(ir::Handle<ir::Expression> handle) {
    if (!f_.expressions.contains(handle)) return cannot_express({}, "a reference to a missing expression");
    if (ids_[handle.index] != 0) return ids_[handle.index];
    const ir::Expression& e = f_.expressions[handle];
    const Span span = span_of(handle);
    Id id = 0;
    if (auto* lit = e.as<ir::expr::Literal>()) {
        SPIRV_TRY(id, m_.literal(*lit, span));
    } else if (auto* c = e.as<ir::expr::Constant>()) {
        SPIRV_TRY(id, m_.global_expression(module_.constants[c->constant].init));
    } else if (auto* o = e.as<ir::expr::Override>()) {
        SPIRV_TRY(id, override_value(o->override_, span));
    } else if (e.is<ir::expr::ZeroValue>()) {
        SPIRV_TRY(Id type, type_of_expr(handle));
        id = m_.constant_null(type);
    } else if (auto* arg = e.as<ir::expr::FunctionArgument>()) {
        const auto& source = entry_ ? argument_values_ : parameter_ids_;
        if (arg->index >= source.size()) return cannot_express(span, "a reference to a missing argument");
        id = source[arg->index];
    } else if (auto* g = e.as<ir::expr::GlobalVariable>()) {
        const GlobalInfo& info = m_.global(g->variable);
        id = info.wrapped ? global_pointers_[g->variable.index] : info.variable;
    } else if (auto* l = e.as<ir::expr::LocalVariable>()) {
        id = local_ids_[l->variable.index];
    }
    if (id == 0) return cannot_express(span, "an expression used before it is evaluated");
    ids_[handle.index] = id;
    return id;
}

Result<Id> FunctionWriter::splat_if_scalar(Id id, const Shape& from, const Shape& to, Span span) {
    if (!from.is_scalar() || !to.is_vector()) return id;
    SPIRV_TRY(Id type, m_.shape_type(to.with_scalar(from.scalar), span));
    return op(spv::OpCompositeConstruct, type, std::vector<Id>(to.size, id));
}

Result<Id> FunctionWriter::compose_matrix_columns(const Shape& matrix, const std::vector<Id>& scalars, Span span) {
    SPIRV_TRY(Id column_type, m_.shape_type(Shape::of_vector(matrix.rows, matrix.scalar), span));
    SPIRV_TRY(Id type, m_.shape_type(matrix, span));
    std::vector<Id> columns;
    for (uint32_t c = 0; c < matrix.size; ++c) {
        std::vector<Id> column(scalars.begin() + c * matrix.rows, scalars.begin() + (c + 1) * matrix.rows);
        columns.push_back(op(spv::OpCompositeConstruct, column_type, column));
    }
    return op(spv::OpCompositeConstruct, type, columns);
}

Result<Id> FunctionWriter::clamp_index(Id index, const ExprType& index_type, uint32_t count, Span span) {
    // Out-of-bounds indices into fixed-size things are clamped to the last element, one of the behaviours
    // WGSL allows, so no index ever reaches undefined SPIR-V behaviour.
    if (count == 0) return cannot_express(span, "indexing into an empty aggregate");
    Id u = index;
    if (is_sint(index_type.shape)) u = op(spv::OpBitcast, m_.u32_type(), {index});
    else if (!is_uint(index_type.shape)) return cannot_express(span, "an index that is not an integer");
    return ext(GLSLstd450UMin, m_.u32_type(), {u, m_.constant_u32(count - 1)});
}

Result<Id> FunctionWriter::emit_access(ir::Handle<ir::Expression> handle, ir::Handle<ir::Expression> base,
                                       Id index_id, std::optional<uint32_t> constant_index) {
    const Span span = span_of(handle);
    const ExprType& bt = types_[base.index];
    SPIRV_TRY(Id base_id, value(base));
    SPIRV_TRY(Id result_type, type_of_expr(handle));
    if (bt.pointer) {
        const Id index = constant_index ? m_.constant_u32(*constant_index) : index_id;
        return op(spv::OpAccessChain, result_type, {base_id, index});
    }
    if (constant_index) {
        const Id id = m_.fresh();
        Instruction(spv::OpCompositeExtract).add(result_type).add(id).add(base_id).add(*constant_index).append_to(code_);
        return id;
    }
    if (bt.shape.is_vector()) return op(spv::OpVectorExtractDynamic, result_type, {base_id, index_id});
    // SPIR-V has no dynamic extract for arrays and matrices: index a temporary copy instead.
    SPIRV_TRY(Id base_type, m_.shape_type(bt.shape, span));
    const Id temp = m_.fresh();
    emit(variables_, spv::OpVariable,
         {m_.pointer_type(spv::StorageClassFunction, base_type), temp, spv::StorageClassFunction});
    emit(code_, spv::OpStore, {temp, base_id});
    const Id element = op(spv::OpAccessChain, m_.pointer_type(spv::StorageClassFunction, result_type), {temp, index_id});
    return op(spv::OpLoad, result_type, {element});
}

Result<Id> FunctionWriter::emit_expression(ir::Handle<ir::Expression> handle) {
    const ir::Expression& e = f_.expressions[handle];
    const Span span = span_of(handle);
    const ExprType& t = types_[handle.index];

    if (auto* comp = e.as<ir::expr::Compose>()) {
        SPIRV_TRY(Id type, type_of_expr(handle));
        std::vector<Id> parts;
        bool scalars = true;
        for (auto c : comp->components) {
            SPIRV_TRY(Id p, value(c));
            parts.push_back(p);
            scalars = scalars && types_[c.index].shape.is_scalar();
        }
        if (t.shape.is_matrix() && scalars) return compose_matrix_columns(t.shape, parts, span);
        if (parts.size() > 0xFFF0) return cannot_express(span, "a composite with more than 65520 components");
        return op(spv::OpCompositeConstruct, type, parts);
    }
    if (auto* a = e.as<ir::expr::Access>()) {
        SPIRV_TRY(Id index, value(a->index));
        // Fold literal indices so struct-free chains stay constant and need no clamp.
        const ir::Expression& ie = f_.expressions[a->index];
        const ExprType& bt = types_[a->base.index];
        uint32_t count = 0;
        if (bt.shape.is_vector()) count = bt.shape.size;
        else if (bt.shape.is_matrix()) count = bt.shape.size;
        else if (bt.shape.kind == Shape::Kind::Array) {
            const auto& array = std::get<ir::type::Array>(module_.types[bt.shape.handle].inner);
            if (array.size.kind == ir::ArraySize::Kind::Constant) count = array.size.count;
        }
        if (auto* lit = ie.as<ir::expr::Literal>(); lit && (lit->kind == ir::LiteralKind::U32 ||
                                                             lit->kind == ir::LiteralKind::I32)) {
            if (lit->i >= 0 && (count == 0 || lit->i < count))
                return emit_access(handle, a->base, 0, static_cast<uint32_t>(lit->i));
        }
        if (count != 0) {
            SPIRV_TRY(index, clamp_index(index, types_[a->index.index], count, span));
        }
        return emit_access(handle, a->base, index, std::nullopt);
    }
    if (auto* a = e.as<ir::expr::AccessIndex>()) return emit_access(handle, a->base, 0, a->index);
    if (auto* s = e.as<ir::expr::Splat>()) {
        SPIRV_TRY(Id v, value(s->value));
        SPIRV_TRY(Id type, type_of_expr(handle));
        return op(spv::OpCompositeConstruct, type, std::vector<Id>(static_cast<size_t>(s->size), v));
    }
    if (auto* s = e.as<ir::expr::Swizzle>()) {
        SPIRV_TRY(Id v, value(s->vector));
        SPIRV_TRY(Id type, type_of_expr(handle));
        const Id id = m_.fresh();
        Instruction shuffle(spv::OpVectorShuffle);
        shuffle.add(type).add(id).add(v).add(v);
        for (uint32_t i = 0; i < static_cast<uint32_t>(s->size); ++i) shuffle.add(s->pattern[i]);
        shuffle.append_to(code_);
        return id;
    }
    if (auto* l = e.as<ir::expr::Load>()) {
        SPIRV_TRY(Id pointer, value(l->pointer));
        SPIRV_TRY(Id type, type_of_expr(handle));
        const ExprType& pt = types_[l->pointer.index];
        if (pt.shape.kind == Shape::Kind::Atomic)
            return op(spv::OpAtomicLoad, type,
                      {pointer, m_.constant_u32(atomic_scope(pt.space)), m_.constant_u32(spv::MemorySemanticsMaskNone)});
        return op(spv::OpLoad, type, {pointer});
    }
    if (auto* u = e.as<ir::expr::Unary>()) {
        SPIRV_TRY(Id v, value(u->expr));
        SPIRV_TRY(Id type, type_of_expr(handle));
        switch (u->op) {
            case ir::UnaryOperator::Negate:
                if (is_float(t.shape)) return op(spv::OpFNegate, type, {v});
                if (t.shape.is_matrix()) return cannot_express(span, "negation of a matrix");
                return op(spv::OpSNegate, type, {v});
            case ir::UnaryOperator::LogicalNot: return op(spv::OpLogicalNot, type, {v});
            case ir::UnaryOperator::BitwiseNot: return op(spv::OpNot, type, {v});
        }
    }
    if (auto* b = e.as<ir::expr::Binary>()) return emit_binary(handle, *b);
    if (auto* s = e.as<ir::expr::Select>()) {
        SPIRV_TRY(Id condition, value(s->condition));
        SPIRV_TRY(Id accept, value(s->accept));
        SPIRV_TRY(Id reject, value(s->reject));
        SPIRV_TRY(Id type, type_of_expr(handle));
        if (t.shape.kind == Shape::Kind::Array || t.shape.kind == Shape::Kind::Struct || t.shape.is_matrix())
            return cannot_express(span, "select of a composite value");
        return op(spv::OpSelect, type, {condition, accept, reject});
    }
    if (auto* r = e.as<ir::expr::Relational>()) {
        SPIRV_TRY(Id v, value(r->argument));
        if (!types_[r->argument.index].shape.is_vector()) return v;
        return op(r->fun == ir::RelationalFunction::All ? spv::OpAll : spv::OpAny, m_.bool_type(), {v});
    }
    if (auto* m = e.as<ir::expr::Math>()) return emit_math(handle, *m);
    if (auto* as = e.as<ir::expr::As>()) return emit_as(handle, *as);
    if (auto* a = e.as<ir::expr::ArrayLength>()) return emit_array_length(handle, *a);
    return cannot_express(span, "this expression kind inside an Emit");
}

Result<Id> FunctionWriter::emit_binary(ir::Handle<ir::Expression> handle, const ir::expr::Binary& b) {
    using B = ir::BinaryOperator;
    const Span span = span_of(handle);
    const Shape& ls = types_[b.left.index].shape;
    const Shape& rs = types_[b.right.index].shape;
    const Shape& result = types_[handle.index].shape;
    SPIRV_TRY(Id l, value(b.left));
    SPIRV_TRY(Id r, value(b.right));
    SPIRV_TRY(Id type, type_of_expr(handle));
    const bool flt = is_float(ls);

    if (b.op == B::Multiply && flt) {
        if (ls.is_matrix() && rs.is_matrix()) return op(spv::OpMatrixTimesMatrix, type, {l, r});
        if (ls.is_matrix() && rs.is_vector()) return op(spv::OpMatrixTimesVector, type, {l, r});
        if (ls.is_vector() && rs.is_matrix()) return op(spv::OpVectorTimesMatrix, type, {l, r});
        if (ls.is_matrix() && rs.is_scalar()) return op(spv::OpMatrixTimesScalar, type, {l, r});
        if (ls.is_scalar() && rs.is_matrix()) return op(spv::OpMatrixTimesScalar, type, {r, l});
        if (ls.is_vector() && rs.is_scalar()) return op(spv::OpVectorTimesScalar, type, {l, r});
        if (ls.is_scalar() && rs.is_vector()) return op(spv::OpVectorTimesScalar, type, {r, l});
    }
    if ((b.op == B::Add || b.op == B::Subtract) && ls.is_matrix()) {
        // Matrix sums go column by column.
        SPIRV_TRY(Id column_type, m_.shape_type(Shape::of_vector(ls.rows, ls.scalar), span));
        std::vector<Id> columns;
        for (uint32_t c = 0; c < ls.size; ++c) {
            const Id lc = m_.fresh();
            Instruction(spv::OpCompositeExtract).add(column_type).add(lc).add(l).add(c).append_to(code_);
            const Id rc = m_.fresh();
            Instruction(spv::OpCompositeExtract).add(column_type).add(rc).add(r).add(c).append_to(code_);
            columns.push_back(op(b.op == B::Add ? spv::OpFAdd : spv::OpFSub, column_type, {lc, rc}));
        }
        return op(spv::OpCompositeConstruct, type, columns);
    }
    if (ls.is_matrix() || rs.is_matrix()) return cannot_express(span, "this operator on matrices");

    // Mixed scalar and vector operands: widen the scalar.
    if (b.op != B::ShiftLeft && b.op != B::ShiftRight) {
        SPIRV_TRY(l, splat_if_scalar(l, ls, rs, span));
        SPIRV_TRY(r, splat_if_scalar(r, rs, ls, span));
    }
    const Shape operand = ls.is_vector() ? ls : rs.is_vector() ? rs.with_scalar(ls.scalar) : ls;

    switch (b.op) {
        case B::Add: return op(flt ? spv::OpFAdd : spv::OpIAdd, type, {l, r});
        case B::Subtract: return op(flt ? spv::OpFSub : spv::OpISub, type, {l, r});
        case B::Multiply: return op(flt ? spv::OpFMul : spv::OpIMul, type, {l, r});
        case B::Divide:
        case B::Modulo: {
            if (flt) return op(b.op == B::Divide ? spv::OpFDiv : spv::OpFRem, type, {l, r});
            // WGSL defines integer division by zero (and i32 MIN / -1) as e1 for / and 0 for %; dividing
            // by 1 instead gives exactly that, where SPIR-V would be undefined.
            SPIRV_TRY(Id bool_type, m_.shape_type(operand.with_scalar(ir::Scalar::boolean()), span));
            SPIRV_TRY(Id zero, m_.constant_splat(operand, 0.0, span));
            SPIRV_TRY(Id one, m_.constant_splat(operand, 1.0, span));
            Id bad = op(spv::OpIEqual, bool_type, {r, zero});
            if (is_sint(operand)) {
                SPIRV_TRY(Id minus_one, m_.constant_splat(operand, -1.0, span));
                SPIRV_TRY(Id int_min, m_.constant_splat(operand, -2147483648.0, span));
                const Id is_min = op(spv::OpIEqual, bool_type, {l, int_min});
                const Id is_minus_one = op(spv::OpIEqual, bool_type, {r, minus_one});
                const Id overflow = op(spv::OpLogicalAnd, bool_type, {is_min, is_minus_one});
                bad = op(spv::OpLogicalOr, bool_type, {bad, overflow});
            }
            const Id divisor = op(spv::OpSelect, type, {bad, one, r});
            if (b.op == B::Divide) return op(is_sint(operand) ? spv::OpSDiv : spv::OpUDiv, type, {l, divisor});
            return op(is_sint(operand) ? spv::OpSRem : spv::OpUMod, type, {l, divisor});
        }
        case B::Equal:
        case B::NotEqual:
        case B::Less:
        case B::LessEqual:
        case B::Greater:
        case B::GreaterEqual: {
            spv::Op opcode = spv::OpIEqual;
            const bool eq = b.op == B::Equal;
            if (is_bool(operand)) {
                if (b.op != B::Equal && b.op != B::NotEqual) return cannot_express(span, "ordering of booleans");
                opcode = eq ? spv::OpLogicalEqual : spv::OpLogicalNotEqual;
            } else if (flt) {
                // Ordered comparisons, except != which is true for NaN as in IEEE 754.
                switch (b.op) {
                    case B::Equal: opcode = spv::OpFOrdEqual; break;
                    case B::NotEqual: opcode = spv::OpFUnordNotEqual; break;
                    case B::Less: opcode = spv::OpFOrdLessThan; break;
                    case B::LessEqual: opcode = spv::OpFOrdLessThanEqual; break;
                    case B::Greater: opcode = spv::OpFOrdGreaterThan; break;
                    default: opcode = spv::OpFOrdGreaterThanEqual; break;
                }
            } else {
                const bool s = is_sint(operand);
                switch (b.op) {
                    case B::Equal: opcode = spv::OpIEqual; break;
                    case B::NotEqual: opcode = spv::OpINotEqual; break;
                    case B::Less: opcode = s ? spv::OpSLessThan : spv::OpULessThan; break;
                    case B::LessEqual: opcode = s ? spv::OpSLessThanEqual : spv::OpULessThanEqual; break;
                    case B::Greater: opcode = s ? spv::OpSGreaterThan : spv::OpUGreaterThan; break;
                    default: opcode = s ? spv::OpSGreaterThanEqual : spv::OpUGreaterThanEqual; break;
                }
            }
            return op(opcode, type, {l, r});
        }
        case B::And: return op(is_bool(operand) ? spv::OpLogicalAnd : spv::OpBitwiseAnd, type, {l, r});
        case B::InclusiveOr: return op(is_bool(operand) ? spv::OpLogicalOr : spv::OpBitwiseOr, type, {l, r});
        case B::ExclusiveOr: return op(is_bool(operand) ? spv::OpLogicalNotEqual : spv::OpBitwiseXor, type, {l, r});
        case B::LogicalAnd: return op(spv::OpLogicalAnd, type, {l, r});
        case B::LogicalOr: return op(spv::OpLogicalOr, type, {l, r});
        case B::ShiftLeft:
        case B::ShiftRight: {
            // WGSL takes the shift amount modulo the bit width; SPIR-V leaves larger amounts undefined.
            SPIRV_TRY(r, splat_if_scalar(r, rs, ls, span));
            const Shape amount = ls.with_scalar(rs.scalar);
            SPIRV_TRY(Id mask, m_.constant_splat(amount, ls.scalar.width * 8.0 - 1.0, span));
            SPIRV_TRY(Id amount_type, m_.shape_type(amount, span));
            const Id masked = op(spv::OpBitwiseAnd, amount_type, {r, mask});
            if (b.op == B::ShiftLeft) return op(spv::OpShiftLeftLogical, type, {l, masked});
            return op(is_sint(ls) ? spv::OpShiftRightArithmetic : spv::OpShiftRightLogical, type, {l, masked});
        }
    }
    (void)result;
    return cannot_express(span, "this binary operator");
}

Result<Id> FunctionWriter::emit_math(ir::Handle<ir::Expression> handle, const ir::expr::Math& m) {
    using F = ir::MathFunction;
    const Span span = span_of(handle);
    const Shape& a0 = types_[m.arg.index].shape;
    const Shape& result = types_[handle.index].shape;
    SPIRV_TRY(Id type, type_of_expr(handle));
    SPIRV_TRY(Id x, value(m.arg));
    Id y = 0, z = 0, w = 0;
    if (m.arg1) { SPIRV_TRY(y, value(*m.arg1)); }
    if (m.arg2) { SPIRV_TRY(z, value(*m.arg2)); }
    if (m.arg3) { SPIRV_TRY(w, value(*m.arg3)); }
    auto need = [&](int count) -> Result<void> {
        const int have = 1 + (m.arg1 ? 1 : 0) + (m.arg2 ? 1 : 0) + (m.arg3 ? 1 : 0);
        if (have < count) return cannot_express(span, "a builtin call with too few arguments");
        return {};
    };
    const bool flt = is_float(a0);
    const bool sint = is_sint(a0);
    // GLSL.std.450 defines these for 16- and 32-bit floats only.
    auto small_float_only = [&]() -> Result<void> {
        if (flt && a0.scalar.width == 8)
            return cannot_express(span, math_name(m.fun) + "() on f64 (GLSL.std.450 has no 64-bit form)");
        return {};
    };
    auto ext1 = [&](GLSLstd450 i) -> Result<Id> { return ext(i, type, {x}); };
    auto ext2 = [&](GLSLstd450 i) -> Result<Id> {
        SPIRV_CHECK(need(2));
        return ext(i, type, {x, y});
    };
    auto ext3 = [&](GLSLstd450 i) -> Result<Id> {
        SPIRV_CHECK(need(3));
        return ext(i, type, {x, y, z});
    };
    auto as_uint = [&](Id v, const Shape& s) -> Result<Id> {
        if (!sint) return v;
        SPIRV_TRY(Id ut, m_.shape_type(s.with_scalar(ir::Scalar::u32()), span));
        return op(spv::OpBitcast, ut, {v});
    };
    auto from_uint = [&](Id v) -> Id { return sint ? op(spv::OpBitcast, type, {v}) : v; };

    switch (m.fun) {
        case F::Abs:
            if (flt) return ext1(GLSLstd450FAbs);
            if (sint) return ext1(GLSLstd450SAbs);
            return x;
        case F::Min: return ext2(flt ? GLSLstd450FMin : sint ? GLSLstd450SMin : GLSLstd450UMin);
        case F::Max: return ext2(flt ? GLSLstd450FMax : sint ? GLSLstd450SMax : GLSLstd450UMax);
        case F::Clamp: return ext3(flt ? GLSLstd450FClamp : sint ? GLSLstd450SClamp : GLSLstd450UClamp);
        case F::Saturate: {
            SPIRV_TRY(Id zero, m_.constant_splat(a0, 0.0, span));
            SPIRV_TRY(Id one, m_.constant_splat(a0, 1.0, span));
            return ext(GLSLstd450FClamp, type, {x, zero, one});
        }
        case F::Cos: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Cos);
        case F::Cosh: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Cosh);
        case F::Sin: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Sin);
        case F::Sinh: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Sinh);
        case F::Tan: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Tan);
        case F::Tanh: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Tanh);
        case F::Acos: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Acos);
        case F::Asin: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Asin);
        case F::Atan: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Atan);
        case F::Atan2: SPIRV_CHECK(small_float_only()); return ext2(GLSLstd450Atan2);
        case F::Asinh: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Asinh);
        case F::Acosh: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Acosh);
        case F::Atanh: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Atanh);
        case F::Radians:
        case F::Degrees: {
            // A multiply works for every float width, unlike the 16/32-bit-only GLSL.std.450 forms.
            const double factor = m.fun == F::Radians ? 0.017453292519943295 : 57.29577951308232;
            SPIRV_TRY(Id k, m_.constant_splat(a0, factor, span));
            return op(spv::OpFMul, type, {x, k});
        }
        case F::Ceil: return ext1(GLSLstd450Ceil);
        case F::Floor: return ext1(GLSLstd450Floor);
        case F::Round: return ext1(GLSLstd450RoundEven);  // WGSL rounds halfway cases to even
        case F::Fract: return ext1(GLSLstd450Fract);
        case F::Trunc: return ext1(GLSLstd450Trunc);
        case F::Ldexp: return ext2(GLSLstd450Ldexp);
        case F::Exp: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Exp);
        case F::Exp2: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Exp2);
        case F::Log: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Log);
        case F::Log2: SPIRV_CHECK(small_float_only()); return ext1(GLSLstd450Log2);
        case F::Pow: SPIRV_CHECK(small_float_only()); return ext2(GLSLstd450Pow);
        case F::Dot: {
            SPIRV_CHECK(need(2));
            if (flt) return op(spv::OpDot, type, {x, y});
            // Integer dot products: multiply, then add the components.
            SPIRV_TRY(Id vector_type, m_.shape_type(a0, span));
            const Id product = op(spv::OpIMul, vector_type, {x, y});
            Id sum = 0;
            for (uint32_t i = 0; i < a0.size; ++i) {
                const Id c = m_.fresh();
                Instruction(spv::OpCompositeExtract).add(type).add(c).add(product).add(i).append_to(code_);
                sum = sum == 0 ? c : op(spv::OpIAdd, type, {sum, c});
            }
            return sum;
        }
        case F::Cross: return ext2(GLSLstd450Cross);
        case F::Distance: return ext2(GLSLstd450Distance);
        case F::Length: return ext1(GLSLstd450Length);
        case F::Normalize: return ext1(GLSLstd450Normalize);
        case F::FaceForward: return ext3(GLSLstd450FaceForward);
        case F::Reflect: return ext2(GLSLstd450Reflect);
        case F::Refract: return ext3(GLSLstd450Refract);
        case F::Sign: {
            if (flt) return ext1(GLSLstd450FSign);
            if (sint) return ext1(GLSLstd450SSign);
            return cannot_express(span, "sign() of an unsigned value");
        }
        case F::Fma: return ext3(GLSLstd450Fma);
        case F::Mix: {
            SPIRV_CHECK(need(3));
            SPIRV_TRY(Id t, splat_if_scalar(z, types_[m.arg2->index].shape, a0, span));
            return ext(GLSLstd450FMix, type, {x, y, t});
        }
        case F::Step: {
            SPIRV_CHECK(need(2));
            SPIRV_TRY(Id edge, splat_if_scalar(x, a0, result, span));
            return ext(GLSLstd450Step, type, {edge, y});
        }
        case F::SmoothStep: {
            SPIRV_CHECK(need(3));
            SPIRV_TRY(Id low, splat_if_scalar(x, a0, result, span));
            SPIRV_TRY(Id high, splat_if_scalar(y, types_[m.arg1->index].shape, result, span));
            return ext(GLSLstd450SmoothStep, type, {low, high, z});
        }
        case F::Sqrt: return ext1(GLSLstd450Sqrt);
        case F::InverseSqrt: return ext1(GLSLstd450InverseSqrt);
        case F::Transpose: return op(spv::OpTranspose, type, {x});
        case F::Determinant: return ext1(GLSLstd450Determinant);
        case F::CountTrailingZeros: {
            // FindILsb gives -1 (all ones) for zero; min with the width turns that into 32 as WGSL wants.
            SPIRV_TRY(Id ux, as_uint(x, a0));
            SPIRV_TRY(Id ut, m_.shape_type(a0.with_scalar(ir::Scalar::u32()), span));
            const Id lsb = ext(GLSLstd450FindILsb, ut, {ux});
            SPIRV_TRY(Id width, m_.constant_splat(a0.with_scalar(ir::Scalar::u32()), 32.0, span));
            return from_uint(ext(GLSLstd450UMin, ut, {lsb, width}));
        }
        case F::CountLeadingZeros: {
            // 31 - FindUMsb(x), where FindUMsb(0) = all ones makes the difference wrap to 32.
            SPIRV_TRY(Id ux, as_uint(x, a0));
            SPIRV_TRY(Id ut, m_.shape_type(a0.with_scalar(ir::Scalar::u32()), span));
            const Id msb = ext(GLSLstd450FindUMsb, ut, {ux});
            SPIRV_TRY(Id k31, m_.constant_splat(a0.with_scalar(ir::Scalar::u32()), 31.0, span));
            return from_uint(op(spv::OpISub, ut, {k31, msb}));
        }
        case F::CountOneBits: return op(spv::OpBitCount, type, {x});
        case F::ReverseBits: return op(spv::OpBitReverse, type, {x});
        case F::ExtractBits:
        case F::InsertBits: {
            // WGSL clamps offset and count into the value's width; SPIR-V leaves overflow undefined.
            const bool insert = m.fun == F::InsertBits;
            SPIRV_CHECK(need(insert ? 4 : 3));
            const Id offset_in = insert ? z : y;
            const Id count_in = insert ? w : z;
            const Id u32 = m_.u32_type();
            const Id k32 = m_.constant_u32(32);
            const Id offset = ext(GLSLstd450UMin, u32, {offset_in, k32});
            const Id room = op(spv::OpISub, u32, {k32, offset});
            const Id count = ext(GLSLstd450UMin, u32, {count_in, room});
            if (insert) return op(spv::OpBitFieldInsert, type, {x, y, offset, count});
            return op(sint ? spv::OpBitFieldSExtract : spv::OpBitFieldUExtract, type, {x, offset, count});
        }
        case F::FirstTrailingBit: return ext1(GLSLstd450FindILsb);
        case F::FirstLeadingBit: return ext1(sint ? GLSLstd450FindSMsb : GLSLstd450FindUMsb);
        case F::Pack4x8snorm: return ext1(GLSLstd450PackSnorm4x8);
        case F::Pack4x8unorm: return ext1(GLSLstd450PackUnorm4x8);
        case F::Pack2x16snorm: return ext1(GLSLstd450PackSnorm2x16);
        case F::Pack2x16unorm: return ext1(GLSLstd450PackUnorm2x16);
        case F::Pack2x16float: return ext1(GLSLstd450PackHalf2x16);
        case F::Unpack4x8snorm: return ext1(GLSLstd450UnpackSnorm4x8);
        case F::Unpack4x8unorm: return ext1(GLSLstd450UnpackUnorm4x8);
        case F::Unpack2x16snorm: return ext1(GLSLstd450UnpackSnorm2x16);
        case F::Unpack2x16unorm: return ext1(GLSLstd450UnpackUnorm2x16);
        case F::Unpack2x16float: return ext1(GLSLstd450UnpackHalf2x16);
        case F::Dot4I8Packed:
        case F::Dot4U8Packed: {
            SPIRV_CHECK(need(2));
            const bool s = m.fun == F::Dot4I8Packed;
            const Id t = s ? m_.i32_type() : m_.u32_type();
            const Id a = s ? op(spv::OpBitcast, t, {x}) : x;
            const Id b = s ? op(spv::OpBitcast, t, {y}) : y;
            Id sum = 0;
            for (uint32_t i = 0; i < 4; ++i) {
                const spv::Op extract = s ? spv::OpBitFieldSExtract : spv::OpBitFieldUExtract;
                const Id ai = op(extract, t, {a, m_.constant_u32(8 * i), m_.constant_u32(8)});
                const Id bi = op(extract, t, {b, m_.constant_u32(8 * i), m_.constant_u32(8)});
                const Id p = op(spv::OpIMul, t, {ai, bi});
                sum = sum == 0 ? p : op(spv::OpIAdd, t, {sum, p});
            }
            return sum;
        }
    }
    return cannot_express(span, "this builtin function");
}

Result<Id> FunctionWriter::emit_as(ir::Handle<ir::Expression> handle, const ir::expr::As& as) {
    const Span span = span_of(handle);
    const Shape& from = types_[as.expr.index].shape;
    const Shape& to = types_[handle.index].shape;
    SPIRV_TRY(Id x, value(as.expr));
    SPIRV_TRY(Id type, type_of_expr(handle));
    if (from == to) return x;
    if (!from.is_scalar() && !from.is_vector()) return cannot_express(span, "a conversion of a composite value");
    if (!as.convert) return op(spv::OpBitcast, type, {x});

    const ir::ScalarKind fk = from.scalar.kind;
    const ir::ScalarKind tk = to.scalar.kind;
    if (fk == ir::ScalarKind::Bool) {
        SPIRV_TRY(Id one, m_.constant_splat(to, 1.0, span));
        SPIRV_TRY(Id zero, m_.constant_splat(to, 0.0, span));
        return op(spv::OpSelect, type, {x, one, zero});
    }
    if (tk == ir::ScalarKind::Bool) {
        SPIRV_TRY(Id zero, m_.constant_splat(from, 0.0, span));
        // NaN is not zero, so it converts to true: the unordered comparison gives exactly that.
        return op(fk == ir::ScalarKind::Float ? spv::OpFUnordNotEqual : spv::OpINotEqual, type, {x, zero});
    }
    if (fk == ir::ScalarKind::Float && tk == ir::ScalarKind::Float) return op(spv::OpFConvert, type, {x});
    if (fk == ir::ScalarKind::Float) {
        // WGSL saturates float-to-integer conversions; SPIR-V leaves out-of-range values undefined, so clamp to
        // the representable integer range first (the bounds are exact values of the source type).
        const bool to_signed = tk == ir::ScalarKind::Sint;
        // Largest value of the source type that fits: below 2^31 (2^32) f32 steps by 128 (256).
        double high = to_signed ? 2147483647.0 : 4294967295.0;
        if (from.scalar.width == 4) high = to_signed ? 2147483520.0 : 4294967040.0;
        if (from.scalar.width == 2) high = 65504.0;
        const double low = to_signed ? (from.scalar.width == 2 ? -65504.0 : -2147483648.0) : 0.0;
        SPIRV_TRY(Id lo, m_.constant_splat(from, low, span));
        SPIRV_TRY(Id hi, m_.constant_splat(from, high, span));
        SPIRV_TRY(Id from_type, m_.shape_type(from, span));
        const Id clamped = ext(GLSLstd450FClamp, from_type, {x, lo, hi});
        return op(to_signed ? spv::OpConvertFToS : spv::OpConvertFToU, type, {clamped});
    }
    if (tk == ir::ScalarKind::Float)
        return op(fk == ir::ScalarKind::Sint ? spv::OpConvertSToF : spv::OpConvertUToF, type, {x});
    // Integer to integer.
    if (from.scalar.width == to.scalar.width) return op(spv::OpBitcast, type, {x});
    const Shape same_sign = to.with_scalar(ir::Scalar{fk, to.scalar.width});
    SPIRV_TRY(Id widened_type, m_.shape_type(same_sign, span));
    const Id widened = op(fk == ir::ScalarKind::Sint ? spv::OpSConvert : spv::OpUConvert, widened_type, {x});
    return fk == tk ? widened : op(spv::OpBitcast, type, {widened});
}

Result<Id> FunctionWriter::emit_array_length(ir::Handle<ir::Expression> handle, const ir::expr::ArrayLength& a) {
    const Span span = span_of(handle);
    const ir::Expression& e = f_.expressions[a.array];
    const Id u32 = m_.u32_type();
    if (auto* g = e.as<ir::expr::GlobalVariable>()) {
        const GlobalInfo& info = m_.global(g->variable);
        if (!info.wrapped) return cannot_express(span, "arrayLength of a variable that is not a runtime array");
        const Id id = m_.fresh();
        Instruction(spv::OpArrayLength).add(u32).add(id).add(info.variable).add(0).append_to(code_);
        return id;
    }
    if (auto* ai = e.as<ir::expr::AccessIndex>()) {
        const ExprType& bt = types_[ai->base.index];
        if (bt.pointer && bt.shape.kind == Shape::Kind::Struct) {
            SPIRV_TRY(Id base, value(ai->base));
            const Id id = m_.fresh();
            Instruction(spv::OpArrayLength).add(u32).add(id).add(base).add(ai->index).append_to(code_);
            return id;
        }
    }
    return cannot_express(span, "arrayLength of a pointer that is not a buffer's runtime-sized array");
}

// An override whose default is computed from other overrides cannot be a spec constant of its own: a spec
// constant's default must be a literal, and Vulkan shaders may not fold float arithmetic into OpSpecConstantOp.
// So its value is computed on entry of each function that reads it, from the specialisation constants it depends on. It
// follows them when they are specialised but has no SpecId, so it cannot be set on its own through SPIR-V.
Result<Id> FunctionWriter::override_value(ir::Handle<ir::Override> handle, Span span) {
    if (!module_.overrides.contains(handle)) return cannot_express(span, "a reference to a missing override");
    const ir::Override& o = module_.overrides[handle];
    if (!o.init || module_.global_expressions[*o.init].is<ir::expr::Literal>())
        return m_.override_constant(handle, span);
    if (auto it = derived_overrides_.find(handle.index); it != derived_overrides_.end()) return it->second;
    SPIRV_TRY(ExprType t, type_of(module_, o.type, span));
    if (!t.shape.is_scalar()) return cannot_express(span, "an override of non-scalar type");
    SPIRV_TRY(Id v, derived_override_part(*o.init, t.shape.scalar, o.name, span));
    derived_overrides_[handle.index] = v;
    return v;
}

Result<Id> FunctionWriter::derived_override_part(ir::Handle<ir::Expression> handle, ir::Scalar scalar,
                                                 const std::string& name, Span span) {
    auto refuse = [&] {
        return cannot_express(span, "override '" + name +
                                        "' whose default is not built from literals, constants and overrides "
                                        "of its type with + - * (and / on floats)");
    };
    if (!module_.global_expressions.contains(handle)) return refuse();
    const ir::Expression& e = module_.global_expressions[handle];
    if (auto* lit = e.as<ir::expr::Literal>()) {
        if (scalar.kind == ir::ScalarKind::Bool || lit->kind == ir::LiteralKind::Bool) return refuse();
        const bool integer = lit->kind == ir::LiteralKind::I32 || lit->kind == ir::LiteralKind::U32 ||
                             lit->kind == ir::LiteralKind::AbstractInt;
        return m_.constant_number(scalar, integer ? static_cast<double>(lit->i) : lit->f, span);
    }
    if (auto* c = e.as<ir::expr::Constant>()) {
        if (!module_.constants.contains(c->constant)) return refuse();
        return derived_override_part(module_.constants[c->constant].init, scalar, name, span);
    }
    if (auto* ov = e.as<ir::expr::Override>()) {
        if (!module_.overrides.contains(ov->override_)) return refuse();
        SPIRV_TRY(ExprType t, type_of(module_, module_.overrides[ov->override_].type, span));
        if (!t.shape.is_scalar() || !(t.shape.scalar == scalar)) return refuse();
        return override_value(ov->override_, span);
    }
    SPIRV_TRY(Id type, m_.scalar_type(scalar, span));
    const bool is_float_scalar = scalar.kind == ir::ScalarKind::Float;
    if (auto* u = e.as<ir::expr::Unary>()) {
        if (u->op != ir::UnaryOperator::Negate || scalar.kind == ir::ScalarKind::Uint) return refuse();
        SPIRV_TRY(Id x, derived_override_part(u->expr, scalar, name, span));
        const Id id = m_.fresh();
        Instruction(is_float_scalar ? spv::OpFNegate : spv::OpSNegate).add(type).add(id).add(x).append_to(prelude_);
        return id;
    }
    if (auto* b = e.as<ir::expr::Binary>()) {
        if (scalar.kind == ir::ScalarKind::Bool) return refuse();
        spv::Op opcode = spv::OpNop;
        switch (b->op) {
            case ir::BinaryOperator::Add: opcode = is_float_scalar ? spv::OpFAdd : spv::OpIAdd; break;
            case ir::BinaryOperator::Subtract: opcode = is_float_scalar ? spv::OpFSub : spv::OpISub; break;
            case ir::BinaryOperator::Multiply: opcode = is_float_scalar ? spv::OpFMul : spv::OpIMul; break;
            // Integer division by zero is a pipeline-creation error in WGSL, which code cannot report.
            case ir::BinaryOperator::Divide: opcode = is_float_scalar ? spv::OpFDiv : spv::OpNop; break;
            default: break;
        }
        if (opcode == spv::OpNop) return refuse();
        SPIRV_TRY(Id l, derived_override_part(b->left, scalar, name, span));
        SPIRV_TRY(Id r, derived_override_part(b->right, scalar, name, span));
        const Id id = m_.fresh();
        Instruction(opcode).add(type).add(id).add(l).add(r).append_to(prelude_);
        return id;
    }
    return refuse();
}

}  // namespace trelliken::wgsl::spirv

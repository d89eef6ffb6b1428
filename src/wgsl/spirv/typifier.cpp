#include "wgsl/spirv/typifier.h"

#include <string>

#include "wgsl/spirv/check.h"

namespace trelliken::wgsl::spirv {
namespace {

std::unexpected<Diagnostic> fail(Span span, const std::string& what) {
    return error_at(span, "SPIR-V writer: " + what);
}

ir::Scalar scalar_of_kind(ir::ScalarKind kind, uint8_t width) { return ir::Scalar{kind, width}; }

}  // namespace

Result<ExprType> type_of(const ir::Module& module, ir::Handle<ir::Type> type, Span span) {
    if (!module.types.contains(type)) return fail(span, "reference to a type that does not exist");
    const ir::Type& t = module.types[type];
    ExprType result;
    if (auto* s = std::get_if<ir::type::Scalar>(&t.inner)) {
        result.shape = Shape::of_scalar(s->scalar);
    } else if (auto* v = std::get_if<ir::type::Vector>(&t.inner)) {
        result.shape = Shape::of_vector(static_cast<uint8_t>(v->size), v->scalar);
    } else if (auto* m = std::get_if<ir::type::Matrix>(&t.inner)) {
        result.shape = Shape::of_matrix(static_cast<uint8_t>(m->columns), static_cast<uint8_t>(m->rows), m->scalar);
    } else if (auto* a = std::get_if<ir::type::Atomic>(&t.inner)) {
        result.shape = Shape{Shape::Kind::Atomic, a->scalar, 1, 1, {}};
    } else if (std::holds_alternative<ir::type::Array>(t.inner)) {
        result.shape = Shape{Shape::Kind::Array, {}, 1, 1, type};
    } else if (std::holds_alternative<ir::type::Struct>(t.inner)) {
        result.shape = Shape{Shape::Kind::Struct, {}, 1, 1, type};
    } else if (auto* p = std::get_if<ir::type::Pointer>(&t.inner)) {
        SPIRV_TRY(ExprType base, type_of(module, p->base, span));
        if (base.pointer) return fail(span, "pointer to a pointer");
        result = base;
        result.pointer = true;
        result.space = p->space;
        result.access = p->access;
    }
    return result;
}

Result<Shape> element_shape(const ir::Module& module, const Shape& base, uint32_t index, Span span) {
    switch (base.kind) {
        case Shape::Kind::Vector: return Shape::of_scalar(base.scalar);
        case Shape::Kind::Matrix: return Shape::of_vector(base.rows, base.scalar);
        case Shape::Kind::Array: {
            const auto& array = std::get<ir::type::Array>(module.types[base.handle].inner);
            SPIRV_TRY(ExprType element, type_of(module, array.base, span));
            return element.shape;
        }
        case Shape::Kind::Struct: {
            const auto& members = std::get<ir::type::Struct>(module.types[base.handle].inner).members;
            if (index >= members.size()) return fail(span, "struct member index out of range");
            SPIRV_TRY(ExprType member, type_of(module, members[index].type, span));
            return member.shape;
        }
        default: return fail(span, "indexing into a scalar");
    }
}

namespace {

/// Type of an arithmetic binary expression from the types of its operands, following WGSL's mixed forms.
Shape arithmetic_result(ir::BinaryOperator op, const Shape& l, const Shape& r) {
    if (op == ir::BinaryOperator::Multiply) {
        if (l.is_matrix() && r.is_matrix()) return Shape::of_matrix(r.size, l.rows, l.scalar);
        if (l.is_matrix() && r.is_vector()) return Shape::of_vector(l.rows, l.scalar);
        if (l.is_vector() && r.is_matrix()) return Shape::of_vector(r.size, l.scalar);
    }
    if (l.is_scalar() && !r.is_scalar()) return r;
    return l;
}

}  // namespace

Result<std::vector<ExprType>> resolve_function(const ir::Module& module, const ir::Function& function) {
    std::vector<ExprType> types;
    types.reserve(function.expressions.size());
    const ir::Scalar boolean = ir::Scalar::boolean();
    for (uint32_t i = 0; i < function.expressions.size(); ++i) {
        const ir::Handle<ir::Expression> handle(i);
        const ir::Expression& e = function.expressions[handle];
        const Span span = function.expressions.span(handle);
        // Operands must come earlier; checked here so the lookups below never read past `types`.
        bool backwards = true;
        ir::for_each_operand(e, [&](ir::Handle<ir::Expression> h) { backwards = backwards && h.index < i; });
        if (!backwards) return fail(span, "expression refers to a later expression");
        auto at = [&](ir::Handle<ir::Expression> h) -> const ExprType& { return types[h.index]; };

        ExprType t;
        if (auto* lit = e.as<ir::expr::Literal>()) {
            t.shape = Shape::of_scalar(lit->scalar());
        } else if (auto* c = e.as<ir::expr::Constant>()) {
            if (!module.constants.contains(c->constant)) return fail(span, "reference to a missing constant");
            SPIRV_TRY(t, type_of(module, module.constants[c->constant].type, span));
        } else if (auto* o = e.as<ir::expr::Override>()) {
            if (!module.overrides.contains(o->override_)) return fail(span, "reference to a missing override");
            SPIRV_TRY(t, type_of(module, module.overrides[o->override_].type, span));
        } else if (auto* z = e.as<ir::expr::ZeroValue>()) {
            SPIRV_TRY(t, type_of(module, z->type, span));
        } else if (auto* comp = e.as<ir::expr::Compose>()) {
            SPIRV_TRY(t, type_of(module, comp->type, span));
        } else if (auto* acc = e.as<ir::expr::Access>()) {
            t = at(acc->base);
            SPIRV_TRY(t.shape, element_shape(module, t.shape, 0, span));
        } else if (auto* ai = e.as<ir::expr::AccessIndex>()) {
            t = at(ai->base);
            SPIRV_TRY(t.shape, element_shape(module, t.shape, ai->index, span));
        } else if (auto* sp = e.as<ir::expr::Splat>()) {
            t.shape = Shape::of_vector(static_cast<uint8_t>(sp->size), at(sp->value).shape.scalar);
        } else if (auto* sw = e.as<ir::expr::Swizzle>()) {
            t.shape = Shape::of_vector(static_cast<uint8_t>(sw->size), at(sw->vector).shape.scalar);
        } else if (auto* arg = e.as<ir::expr::FunctionArgument>()) {
            if (arg->index >= function.arguments.size()) return fail(span, "argument index out of range");
            SPIRV_TRY(t, type_of(module, function.arguments[arg->index].type, span));
        } else if (auto* gv = e.as<ir::expr::GlobalVariable>()) {
            if (!module.global_variables.contains(gv->variable)) return fail(span, "reference to a missing variable");
            const ir::GlobalVariable& var = module.global_variables[gv->variable];
            SPIRV_TRY(t, type_of(module, var.type, span));
            t.pointer = true;
            t.space = var.space;
            t.access = var.space == ir::AddressSpace::Uniform ? ir::AccessMode::Read : var.access;
        } else if (auto* lv = e.as<ir::expr::LocalVariable>()) {
            if (!function.local_variables.contains(lv->variable)) return fail(span, "reference to a missing local");
            SPIRV_TRY(t, type_of(module, function.local_variables[lv->variable].type, span));
            t.pointer = true;
            t.space = ir::AddressSpace::Function;
            t.access = ir::AccessMode::ReadWrite;
        } else if (auto* load = e.as<ir::expr::Load>()) {
            t = at(load->pointer);
            if (!t.pointer) return fail(span, "load from a value that is not a pointer");
            t.pointer = false;
            if (t.shape.kind == Shape::Kind::Atomic) t.shape = Shape::of_scalar(t.shape.scalar);
        } else if (auto* un = e.as<ir::expr::Unary>()) {
            t = at(un->expr);
        } else if (auto* bin = e.as<ir::expr::Binary>()) {
            const Shape& l = at(bin->left).shape;
            const Shape& r = at(bin->right).shape;
            switch (bin->op) {
                case ir::BinaryOperator::Equal:
                case ir::BinaryOperator::NotEqual:
                case ir::BinaryOperator::Less:
                case ir::BinaryOperator::LessEqual:
                case ir::BinaryOperator::Greater:
                case ir::BinaryOperator::GreaterEqual:
                    t.shape = l.with_scalar(boolean);
                    break;
                case ir::BinaryOperator::LogicalAnd:
                case ir::BinaryOperator::LogicalOr: t.shape = l.with_scalar(boolean); break;
                case ir::BinaryOperator::ShiftLeft:
                case ir::BinaryOperator::ShiftRight: t.shape = l; break;
                default: t.shape = arithmetic_result(bin->op, l, r); break;
            }
        } else if (auto* sel = e.as<ir::expr::Select>()) {
            t = at(sel->accept);
        } else if (e.is<ir::expr::Relational>()) {
            t.shape = Shape::of_scalar(boolean);
        } else if (auto* m = e.as<ir::expr::Math>()) {
            const Shape& a = at(m->arg).shape;
            using F = ir::MathFunction;
            switch (m->fun) {
                case F::Dot:
                case F::Length:
                case F::Distance:
                case F::Determinant: t.shape = Shape::of_scalar(a.scalar); break;
                case F::Transpose: t.shape = Shape::of_matrix(a.rows, a.size, a.scalar); break;
                case F::Pack4x8snorm:
                case F::Pack4x8unorm:
                case F::Pack2x16snorm:
                case F::Pack2x16unorm:
                case F::Pack2x16float:
                case F::Dot4U8Packed: t.shape = Shape::of_scalar(ir::Scalar::u32()); break;
                case F::Dot4I8Packed: t.shape = Shape::of_scalar(ir::Scalar::i32()); break;
                case F::Unpack4x8snorm:
                case F::Unpack4x8unorm: t.shape = Shape::of_vector(4, ir::Scalar::f32()); break;
                case F::Unpack2x16snorm:
                case F::Unpack2x16unorm:
                case F::Unpack2x16float: t.shape = Shape::of_vector(2, ir::Scalar::f32()); break;
                default: {
                    // Functions whose first argument may be a scalar where a later one is a vector take the
                    // vector shape (mix with a scalar factor has the vector first, so the first one wins).
                    t.shape = a;
                    if (m->fun == F::Step || m->fun == F::SmoothStep) {
                        const auto last = m->fun == F::Step ? m->arg1 : m->arg2;
                        if (last) t.shape = at(*last).shape;
                    }
                    break;
                }
            }
        } else if (auto* as = e.as<ir::expr::As>()) {
            const Shape& from = at(as->expr).shape;
            const ir::Scalar to = scalar_of_kind(as->kind, as->width);
            t.shape = from.with_scalar(to);
            if (!as->convert && to.width != from.scalar.width) {
                const uint32_t bits = component_count(from) * from.scalar.width;
                const uint32_t count = bits / to.width;
                t.shape = count == 1 ? Shape::of_scalar(to) : Shape::of_vector(static_cast<uint8_t>(count), to);
            }
        } else if (auto* call = e.as<ir::expr::CallResult>()) {
            if (!module.functions.contains(call->function)) return fail(span, "call of a missing function");
            const auto& result = module.functions[call->function].result;
            if (!result) return fail(span, "result of a function that returns nothing");
            SPIRV_TRY(t, type_of(module, result->type, span));
        } else if (auto* ar = e.as<ir::expr::AtomicResult>()) {
            SPIRV_TRY(t, type_of(module, ar->type, span));
        } else if (e.is<ir::expr::ArrayLength>()) {
            t.shape = Shape::of_scalar(ir::Scalar::u32());
        }
        types.push_back(t);
    }
    return types;
}

}  // namespace trelliken::wgsl::spirv

#include <string>

#include "wgsl/spirv/check.h"
#include "wgsl/spirv/module_writer.h"

namespace trelliken::wgsl::spirv {

void FunctionWriter::start_block(Id label) {
    emit(code_, spv::OpLabel, {label});
    block_open_ = true;
}

void FunctionWriter::terminate(spv::Op opcode, std::initializer_list<Id> operands) {
    emit(code_, opcode, operands);
    block_open_ = false;
}

spv::Scope FunctionWriter::atomic_scope(ir::AddressSpace space) const {
    return space == ir::AddressSpace::WorkGroup ? spv::ScopeWorkgroup : spv::ScopeDevice;
}

Result<void> FunctionWriter::write(Id id, const std::vector<ir::Handle<ir::GlobalVariable>>& workgroup_vars) {
    SPIRV_TRY(types_, resolve_function(module_, f_));
    ids_.assign(f_.expressions.size(), 0);

    // Signature. Entry points take no SPIR-V parameters: their WGSL arguments are builtins read on entry.
    Id result_type = m_.void_type();
    if (f_.result) {
        if (entry_) return cannot_express(entry_->span, "a compute entry point that returns a value");
        SPIRV_TRY(ExprType rt, type_of(module_, f_.result->type, {}));
        if (rt.pointer) return cannot_express({}, "function '" + f_.name + "' returning a pointer");
        SPIRV_TRY(result_type, m_.shape_type(rt.shape, {}));
    }
    std::vector<Id> parameter_types;
    std::vector<uint32_t> header;
    if (!entry_) {
        for (const ir::FunctionArgument& arg : f_.arguments) {
            SPIRV_TRY(ExprType at, type_of(module_, arg.type, {}));
            SPIRV_TRY(Id value_type, m_.shape_type(at.shape, {}));
            Id type = value_type;
            if (at.pointer) {
                spv::StorageClass sc = spv::StorageClassFunction;
                switch (at.space) {
                    case ir::AddressSpace::Function: sc = spv::StorageClassFunction; break;
                    case ir::AddressSpace::Private: sc = spv::StorageClassPrivate; break;
                    case ir::AddressSpace::WorkGroup: sc = spv::StorageClassWorkgroup; break;
                    case ir::AddressSpace::Storage:
                        // Logical addressing lets only whole Function/Private/Workgroup variables through a call.
                        // Storage-buffer pointers travel as variable pointers instead (core since SPIR-V 1.3,
                        // the Vulkan feature variablePointersStorageBuffer): one callee serves every argument,
                        // and an argument may point into part of a buffer. Specialising the callee per root
                        // would avoid the feature but multiply the code; uniform pointers have no such route.
                        sc = spv::StorageClassStorageBuffer;
                        m_.sections().capabilities.insert(spv::CapabilityVariablePointersStorageBuffer);
                        break;
                    default:
                        return cannot_express({}, "a pointer parameter into a uniform buffer (function '" + f_.name +
                                                      "')");
                }
                type = m_.pointer_type(sc, value_type);
            }
            parameter_types.push_back(type);
        }
    }
    const Id function_type = m_.function_type(result_type, parameter_types);
    emit(header, spv::OpFunction, {result_type, id, spv::FunctionControlMaskNone, function_type});
    for (Id type : parameter_types) {
        const Id p = m_.fresh();
        parameter_ids_.push_back(p);
        emit(header, spv::OpFunctionParameter, {type, p});
    }
    const Id entry_label = m_.fresh();
    emit(header, spv::OpLabel, {entry_label});

    // Locals live in the entry block. WGSL zero-initialises a `var` without a value.
    for (uint32_t i = 0; i < f_.local_variables.size(); ++i) {
        const ir::Handle<ir::LocalVariable> h(i);
        const ir::LocalVariable& local = f_.local_variables[h];
        const Span span = f_.local_variables.span(h);
        SPIRV_TRY(ExprType lt, type_of(module_, local.type, span));
        if (lt.pointer) return cannot_express(span, "a local variable holding a pointer");
        SPIRV_TRY(Id type, m_.shape_type(lt.shape, span));
        Id init = m_.constant_null(type);
        if (local.init) {
            if (!f_.expressions.contains(*local.init)) return cannot_express(span, "a missing local initialiser");
            const ir::Expression& e = f_.expressions[*local.init];
            if (!(e.is<ir::expr::Literal>() || e.is<ir::expr::Constant>() || e.is<ir::expr::Override>() ||
                  e.is<ir::expr::ZeroValue>()))
                return cannot_express(span, "a local variable initialised on entry with a non-constant value");
            SPIRV_TRY(init, value(*local.init));
        }
        const Id var = m_.fresh();
        emit(variables_, spv::OpVariable, {m_.pointer_type(spv::StorageClassFunction, type), var,
                                           spv::StorageClassFunction, init});
        local_ids_.push_back(var);
        m_.name(var, local.name);
    }

    SPIRV_CHECK(write_prologue(workgroup_vars));
    SPIRV_CHECK(write_block(f_.body));
    if (block_open_) {
        // Falling off the end: void functions return; WGSL guarantees the others never get here.
        if (f_.result) terminate(spv::OpUnreachable, {});
        else terminate(spv::OpReturn, {});
    }

    auto& out = m_.sections().functions;
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), variables_.begin(), variables_.end());
    out.insert(out.end(), prelude_.begin(), prelude_.end());
    out.insert(out.end(), code_.begin(), code_.end());
    emit(out, spv::OpFunctionEnd, {});
    return {};
}

Result<void> FunctionWriter::write_prologue(const std::vector<ir::Handle<ir::GlobalVariable>>& workgroup_vars) {
    // Wrapped buffers: one access chain per buffer, in the entry block so it dominates every use.
    std::set<uint32_t> used_globals;
    for (const ir::Expression& e : f_.expressions.items())
        if (auto* g = e.as<ir::expr::GlobalVariable>()) used_globals.insert(g->variable.index);
    for (uint32_t g : used_globals) {
        if (g >= module_.global_variables.size()) return cannot_express({}, "a reference to a missing variable");
        const GlobalInfo& info = m_.global(ir::Handle<ir::GlobalVariable>(g));
        m_.note_global_use(ir::Handle<ir::GlobalVariable>(g));
        if (!info.wrapped) continue;
        global_pointers_[g] = op(spv::OpAccessChain, info.inner_pointer_type, {info.variable, m_.constant_u32(0)});
    }

    if (!entry_) return {};

    // Entry point arguments: builtins, alone or as members of a struct argument.
    auto load_builtin = [&](const std::optional<ir::Binding>& binding, Span span) -> Result<Id> {
        if (!binding || binding->kind != ir::Binding::Kind::BuiltIn)
            return cannot_express(span, "an entry point input that is not a builtin");
        const Id var = m_.builtin_input(binding->builtin);
        m_.note_builtin(binding->builtin);
        const bool scalar = binding->builtin == ir::BuiltIn::LocalInvocationIndex;
        SPIRV_TRY(Id type, m_.shape_type(scalar ? Shape::of_scalar(ir::Scalar::u32())
                                               : Shape::of_vector(3, ir::Scalar::u32()),
                                        span));
        return op(spv::OpLoad, type, {var});
    };
    for (const ir::FunctionArgument& arg : f_.arguments) {
        const Span span = entry_->span;
        if (arg.binding) {
            SPIRV_TRY(Id v, load_builtin(arg.binding, span));
            argument_values_.push_back(v);
            continue;
        }
        const auto* s = std::get_if<ir::type::Struct>(&module_.types[arg.type].inner);
        if (s == nullptr) return cannot_express(span, "entry point argument '" + arg.name + "' without a builtin");
        std::vector<Id> members;
        for (const ir::StructMember& member : s->members) {
            SPIRV_TRY(Id v, load_builtin(member.binding, span));
            members.push_back(v);
        }
        SPIRV_TRY(Id type, m_.arena_type(arg.type, span));
        argument_values_.push_back(op(spv::OpCompositeConstruct, type, members));
    }

    // WGSL zero-initialises workgroup memory; Vulkan 1.2 does not, so the invocations do it and everyone waits at
    // a barrier before the body runs. Fixed-size arrays are shared out element by element in a strided loop:
    // one invocation storing a whole large array unrolls into thousands of stores, which lavapipe takes seconds
    // to compile. Everything else is stored whole by the first invocation. The barrier is reached by every
    // invocation from the same block, so it is in uniform control flow.
    if (!workgroup_vars.empty()) {
        const Id u32 = m_.u32_type();
        const Id index_var = m_.builtin_input(ir::BuiltIn::LocalInvocationIndex);
        m_.note_builtin(ir::BuiltIn::LocalInvocationIndex);
        const Id index = op(spv::OpLoad, u32, {index_var});
        const uint32_t invocations =
            entry_->workgroup_size[0] * entry_->workgroup_size[1] * entry_->workgroup_size[2];
        std::vector<ir::Handle<ir::GlobalVariable>> whole;
        for (auto h : workgroup_vars) {
            const ir::GlobalVariable& var = module_.global_variables[h];
            m_.note_global_use(h);
            const auto* array = std::get_if<ir::type::Array>(&module_.types[var.type].inner);
            if (array == nullptr || array->size.kind != ir::ArraySize::Kind::Constant || array->size.count <= 1 ||
                invocations <= 1) {
                whole.push_back(h);
                continue;
            }
            SPIRV_TRY(Id element_type, m_.arena_type(array->base, {}));
            const Id element_pointer = m_.pointer_type(spv::StorageClassWorkgroup, element_type);
            const Id counter = m_.fresh();
            emit(variables_, spv::OpVariable,
                 {m_.pointer_type(spv::StorageClassFunction, u32), counter, spv::StorageClassFunction});
            emit(code_, spv::OpStore, {counter, index});
            const Id header = m_.fresh(), body = m_.fresh(), continuing = m_.fresh(), merge = m_.fresh();
            terminate(spv::OpBranch, {header});
            start_block(header);
            const Id i = op(spv::OpLoad, u32, {counter});
            const Id more = op(spv::OpULessThan, m_.bool_type(), {i, m_.constant_u32(array->size.count)});
            emit(code_, spv::OpLoopMerge, {merge, continuing, spv::LoopControlMaskNone});
            terminate(spv::OpBranchConditional, {more, body, merge});
            start_block(body);
            const Id element = op(spv::OpAccessChain, element_pointer, {m_.global(h).variable, i});
            emit(code_, spv::OpStore, {element, m_.constant_null(element_type)});
            terminate(spv::OpBranch, {continuing});
            start_block(continuing);
            const Id next = op(spv::OpIAdd, u32, {i, m_.constant_u32(invocations)});
            emit(code_, spv::OpStore, {counter, next});
            terminate(spv::OpBranch, {header});
            start_block(merge);
        }
        if (!whole.empty()) {
            const Id first = op(spv::OpIEqual, m_.bool_type(), {index, m_.constant_u32(0)});
            const Id zero_label = m_.fresh();
            const Id merge = m_.fresh();
            emit(code_, spv::OpSelectionMerge, {merge, spv::SelectionControlMaskNone});
            terminate(spv::OpBranchConditional, {first, zero_label, merge});
            start_block(zero_label);
            for (auto h : whole) {
                const ir::GlobalVariable& var = module_.global_variables[h];
                SPIRV_TRY(Id type, m_.arena_type(var.type, {}));
                emit(code_, spv::OpStore, {m_.global(h).variable, m_.constant_null(type)});
            }
            terminate(spv::OpBranch, {merge});
            start_block(merge);
        }
        emit(code_, spv::OpControlBarrier,
             {m_.constant_u32(spv::ScopeWorkgroup), m_.constant_u32(spv::ScopeWorkgroup),
              m_.constant_u32(spv::MemorySemanticsAcquireReleaseMask | spv::MemorySemanticsWorkgroupMemoryMask)});
    }
    return {};
}

Result<void> FunctionWriter::write_block(const ir::Block& block) {
    for (size_t i = 0; i < block.statements.size(); ++i) {
        // Statements after a return, break or continue are dead; WGSL scoping keeps their values out of reach.
        if (!block_open_) break;
        SPIRV_CHECK(write_statement(block.statements[i], i < block.spans.size() ? block.spans[i] : Span{}));
    }
    return {};
}

Result<void> FunctionWriter::write_statement(const ir::Statement& statement, Span span) {
    if (auto* e = statement.as<ir::stmt::Emit>()) {
        for (uint32_t i = e->range.first; i < e->range.end; ++i) {
            const ir::Handle<ir::Expression> h(i);
            if (!f_.expressions.contains(h)) return cannot_express(span, "an Emit of missing expressions");
            if (!ir::needs_emit(f_.expressions[h])) continue;
            SPIRV_TRY(ids_[i], emit_expression(h));
        }
        return {};
    }
    if (auto* b = statement.as<ir::stmt::Block>()) return write_block(b->block);
    if (auto* s = statement.as<ir::stmt::If>()) {
        SPIRV_TRY(Id condition, value(s->condition));
        const Id accept = m_.fresh();
        const Id merge = m_.fresh();
        const Id reject = s->reject.empty() ? merge : m_.fresh();
        emit(code_, spv::OpSelectionMerge, {merge, spv::SelectionControlMaskNone});
        terminate(spv::OpBranchConditional, {condition, accept, reject});
        start_block(accept);
        SPIRV_CHECK(write_block(s->accept));
        if (block_open_) terminate(spv::OpBranch, {merge});
        if (!s->reject.empty()) {
            start_block(reject);
            SPIRV_CHECK(write_block(s->reject));
            if (block_open_) terminate(spv::OpBranch, {merge});
        }
        start_block(merge);
        return {};
    }
    if (auto* s = statement.as<ir::stmt::Switch>()) {
        SPIRV_TRY(Id selector, value(s->selector));
        const Id merge = m_.fresh();
        std::vector<Id> labels;
        Id default_label = merge;
        Instruction sw(spv::OpSwitch);
        std::vector<uint32_t> targets;
        for (const ir::SwitchCase& c : s->cases) {
            const Id label = m_.fresh();
            labels.push_back(label);
            for (const ir::SwitchValue& v : c.values) {
                if (v.kind == ir::SwitchValue::Kind::Default) {
                    default_label = label;
                } else {
                    targets.push_back(static_cast<uint32_t>(v.value));
                    targets.push_back(label);
                }
            }
        }
        sw.add(selector).add(default_label).add(std::span<const uint32_t>(targets));
        emit(code_, spv::OpSelectionMerge, {merge, spv::SelectionControlMaskNone});
        sw.append_to(code_);
        block_open_ = false;
        break_targets_.push_back(merge);
        for (size_t i = 0; i < s->cases.size(); ++i) {
            start_block(labels[i]);
            SPIRV_CHECK(write_block(s->cases[i].body));
            if (block_open_) terminate(spv::OpBranch, {merge});
        }
        break_targets_.pop_back();
        start_block(merge);
        return {};
    }
    if (auto* l = statement.as<ir::stmt::Loop>()) {
        const Id header = m_.fresh();
        const Id body = m_.fresh();
        const Id continuing = m_.fresh();
        const Id merge = m_.fresh();
        terminate(spv::OpBranch, {header});
        start_block(header);
        emit(code_, spv::OpLoopMerge, {merge, continuing, spv::LoopControlMaskNone});
        terminate(spv::OpBranch, {body});
        start_block(body);
        break_targets_.push_back(merge);
        continue_targets_.push_back(continuing);
        SPIRV_CHECK(write_block(l->body));
        if (block_open_) terminate(spv::OpBranch, {continuing});
        // `continue` and `break` are not allowed in a continuing block (WGSL), but `break if` is.
        continue_targets_.pop_back();
        start_block(continuing);
        SPIRV_CHECK(write_block(l->continuing));
        break_targets_.pop_back();
        if (block_open_) {
            if (l->break_if) {
                SPIRV_TRY(Id condition, value(*l->break_if));
                terminate(spv::OpBranchConditional, {condition, merge, header});
            } else {
                terminate(spv::OpBranch, {header});
            }
        }
        start_block(merge);
        return {};
    }
    if (statement.is<ir::stmt::Break>()) {
        if (break_targets_.empty()) return cannot_express(span, "a break outside a loop or switch");
        terminate(spv::OpBranch, {break_targets_.back()});
        return {};
    }
    if (statement.is<ir::stmt::Continue>()) {
        if (continue_targets_.empty()) return cannot_express(span, "a continue outside a loop body");
        terminate(spv::OpBranch, {continue_targets_.back()});
        return {};
    }
    if (auto* r = statement.as<ir::stmt::Return>()) {
        if (r->value) {
            if (entry_) return cannot_express(span, "a value returned from a compute entry point");
            SPIRV_TRY(Id v, value(*r->value));
            terminate(spv::OpReturnValue, {v});
        } else {
            terminate(spv::OpReturn, {});
        }
        return {};
    }
    if (auto* s = statement.as<ir::stmt::Store>()) {
        SPIRV_TRY(Id pointer, value(s->pointer));
        SPIRV_TRY(Id v, value(s->value));
        const ExprType& pt = types_[s->pointer.index];
        if (!pt.pointer) return cannot_express(span, "a store through a value that is not a pointer");
        if (pt.shape.kind == Shape::Kind::Atomic) {
            emit(code_, spv::OpAtomicStore,
                 {pointer, m_.constant_u32(atomic_scope(pt.space)), m_.constant_u32(spv::MemorySemanticsMaskNone), v});
        } else {
            emit(code_, spv::OpStore, {pointer, v});
        }
        return {};
    }
    if (auto* c = statement.as<ir::stmt::Call>()) {
        if (!module_.functions.contains(c->function)) return cannot_express(span, "a call of a missing function");
        const ir::Function& callee = module_.functions[c->function];
        Id result_type = m_.void_type();
        if (callee.result) {
            SPIRV_TRY(ExprType rt, type_of(module_, callee.result->type, span));
            SPIRV_TRY(result_type, m_.shape_type(rt.shape, span));
        }
        std::vector<Id> operands{m_.function_id(c->function)};
        for (auto a : c->arguments) {
            SPIRV_TRY(Id v, value(a));
            if (types_[a.index].pointer && types_[a.index].space != ir::AddressSpace::Storage) {
                // Logical addressing only lets whole variables through a call (storage-buffer pointers are
                // variable pointers, see the parameter types).
                const ir::Expression& e = f_.expressions[a];
                if (!(e.is<ir::expr::LocalVariable>() || e.is<ir::expr::FunctionArgument>() ||
                      (e.is<ir::expr::GlobalVariable>() &&
                       !m_.global(e.as<ir::expr::GlobalVariable>()->variable).wrapped)))
                    return cannot_express(f_.expressions.span(a), "a pointer argument to part of a variable");
            }
            operands.push_back(v);
        }
        const Id result = m_.fresh();
        Instruction call(spv::OpFunctionCall);
        call.add(result_type).add(result).add(std::span<const uint32_t>(operands)).append_to(code_);
        m_.note_call(c->function);
        if (c->result) {
            if (!callee.result) return cannot_express(span, "the result of a function that returns nothing");
            ids_[c->result->index] = result;
        }
        return {};
    }
    if (auto* a = statement.as<ir::stmt::Atomic>()) {
        SPIRV_TRY(Id pointer, value(a->pointer));
        SPIRV_TRY(Id v, value(a->value));
        const ExprType& pt = types_[a->pointer.index];
        if (!pt.pointer || pt.shape.kind != Shape::Kind::Atomic)
            return cannot_express(span, "an atomic operation on a non-atomic value");
        SPIRV_TRY(Id type, m_.scalar_type(pt.shape.scalar, span));
        const Id scope = m_.constant_u32(atomic_scope(pt.space));
        const Id relaxed = m_.constant_u32(spv::MemorySemanticsMaskNone);
        const bool sint = pt.shape.scalar.kind == ir::ScalarKind::Sint;
        Id result = 0;
        if (a->compare) {
            if (a->fun != ir::AtomicFunction::Exchange) return cannot_express(span, "a comparing atomic other than exchange");
            SPIRV_TRY(Id comparator, value(*a->compare));
            const Id old = op(spv::OpAtomicCompareExchange, type, {pointer, scope, relaxed, relaxed, v, comparator});
            const Id exchanged = op(spv::OpIEqual, m_.bool_type(), {old, comparator});
            if (a->result) {
                SPIRV_TRY(Id struct_type, type_of_expr(*a->result));
                result = op(spv::OpCompositeConstruct, struct_type, {old, exchanged});
            }
        } else {
            spv::Op opcode = spv::OpAtomicIAdd;
            switch (a->fun) {
                case ir::AtomicFunction::Add: opcode = spv::OpAtomicIAdd; break;
                case ir::AtomicFunction::Subtract: opcode = spv::OpAtomicISub; break;
                case ir::AtomicFunction::And: opcode = spv::OpAtomicAnd; break;
                case ir::AtomicFunction::ExclusiveOr: opcode = spv::OpAtomicXor; break;
                case ir::AtomicFunction::InclusiveOr: opcode = spv::OpAtomicOr; break;
                case ir::AtomicFunction::Min: opcode = sint ? spv::OpAtomicSMin : spv::OpAtomicUMin; break;
                case ir::AtomicFunction::Max: opcode = sint ? spv::OpAtomicSMax : spv::OpAtomicUMax; break;
                case ir::AtomicFunction::Exchange: opcode = spv::OpAtomicExchange; break;
            }
            result = op(opcode, type, {pointer, scope, relaxed, v});
        }
        if (a->result) ids_[a->result->index] = result;
        return {};
    }
    if (auto* b = statement.as<ir::stmt::Barrier>()) {
        // Execution scope is always the workgroup; storage barriers also order device-visible buffer memory.
        uint32_t semantics = b->flags != 0 ? static_cast<uint32_t>(spv::MemorySemanticsAcquireReleaseMask) : 0u;
        spv::Scope memory = spv::ScopeWorkgroup;
        if (b->flags & ir::BarrierWorkGroup) semantics |= spv::MemorySemanticsWorkgroupMemoryMask;
        if (b->flags & ir::BarrierStorage) {
            semantics |= spv::MemorySemanticsUniformMemoryMask;
            memory = spv::ScopeDevice;
        }
        emit(code_, spv::OpControlBarrier,
             {m_.constant_u32(spv::ScopeWorkgroup), m_.constant_u32(memory), m_.constant_u32(semantics)});
        return {};
    }
    return cannot_express(span, "an unknown statement");
}

}  // namespace trelliken::wgsl::spirv

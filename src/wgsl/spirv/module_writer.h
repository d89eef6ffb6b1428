#pragma once
// Internals of the SPIR-V writer: the module-level state (ids, types, constants, variables) and the per-function
// state (expression ids, blocks, break and continue targets). Not part of the translator's interface.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "wgsl/spirv/typifier.h"
#include "wgsl/spirv/words.h"
#include "wgsl/spirv/writer.h"

namespace trelliken::wgsl::spirv {

/// The "cannot express" error every writer failure uses, so messages read alike.
[[nodiscard]] std::unexpected<Diagnostic> cannot_express(Span span, const std::string& construct);

/// How a module variable appears in SPIR-V.
struct GlobalInfo {
    Id variable = 0;
    spv::StorageClass storage = spv::StorageClassPrivate;
    /// Buffers whose store type cannot carry Block themselves sit in a one-member wrapper struct; functions
    /// then reach the WGSL variable through an access chain to member 0.
    bool wrapped = false;
    Id inner_pointer_type = 0;  // pointer to the store type, for that access chain
};

class ModuleWriter {
public:
    ModuleWriter(const ir::Module& module, const SpirvOptions& options) : module_(module), options_(options) {}

    [[nodiscard]] Result<std::vector<uint32_t>> write();

    // ---- ids and sections, used by the function writer ----
    Id fresh() { return next_id_++; }
    ModuleSections& sections() { return sections_; }
    const ir::Module& module() const { return module_; }
    Id glsl_std_450();

    // ---- types ----
    Result<Id> scalar_type(ir::Scalar scalar, Span span);
    Result<Id> shape_type(const Shape& shape, Span span);
    Result<Id> arena_type(ir::Handle<ir::Type> type, Span span);
    Id pointer_type(spv::StorageClass storage, Id pointee);
    Id function_type(Id result, const std::vector<Id>& parameters);
    Id void_type();
    Id bool_type();
    Id u32_type();
    Id i32_type();
    Id f32_type();

    // ---- constants ----
    Id constant_u32(uint32_t value);
    Id constant_i32(int32_t value);
    /// A scalar constant of `scalar` from raw words (low word first for 64-bit values).
    Result<Id> constant_words(ir::Scalar scalar, std::vector<uint32_t> words, Span span);
    /// A scalar constant holding `value` converted to `scalar` (floats rounded, integers truncated).
    Result<Id> constant_number(ir::Scalar scalar, double value, Span span);
    /// A scalar or a vector with every component `value`.
    Result<Id> constant_splat(const Shape& shape, double value, Span span);
    Result<Id> literal(const ir::Literal& literal, Span span);
    Id constant_composite(Id type, const std::vector<Id>& parts);
    Id constant_null(Id type);
    Result<Id> global_expression(ir::Handle<ir::Expression> handle);
    Result<Id> override_constant(ir::Handle<ir::Override> handle, Span span);
    Result<void> override_workgroup_size(const ir::EntryPoint& ep);

    // ---- module variables and functions ----
    const GlobalInfo& global(ir::Handle<ir::GlobalVariable> handle) const { return globals_[handle.index]; }
    Id function_id(ir::Handle<ir::Function> handle) const { return function_ids_[handle.index]; }
    Id builtin_input(ir::BuiltIn builtin);
    /// Records that the function being written touches a module variable (for entry point interfaces).
    void note_global_use(ir::Handle<ir::GlobalVariable> handle) { current_uses_.insert(handle.index); }
    void note_call(ir::Handle<ir::Function> handle) { current_calls_.insert(handle.index); }
    void note_builtin(ir::BuiltIn builtin) { current_builtins_.insert(static_cast<uint32_t>(builtin)); }

    /// Adds the 16-bit storage capabilities a buffer of `type` needs.
    void require_16bit_storage(ir::Handle<ir::Type> type, spv::StorageClass storage);

private:
    Result<void> write_globals();
    Result<void> write_global(ir::Handle<ir::GlobalVariable> handle);
    Result<Id> write_struct(ir::Handle<ir::Type> handle, const ir::type::Struct& s, Span span);
    void decorate_matrix_layout(Id struct_id, uint32_t member, ir::Handle<ir::Type> type);
    bool contains_f16(ir::Handle<ir::Type> type) const;
    Id cached(std::vector<uint32_t> key, spv::Op op, std::vector<uint32_t> operands_after_result,
              bool has_result_type);
    void name(Id id, const std::string& text);

    const ir::Module& module_;
    const SpirvOptions& options_;
    ModuleSections sections_;
    Id next_id_ = 1;
    Id glsl_ = 0;
    std::map<std::vector<uint32_t>, Id> dedup_;  // types and constants keyed by their operands
    std::vector<Id> arena_types_;
    std::vector<Id> global_expressions_;
    std::vector<Id> overrides_;
    std::vector<GlobalInfo> globals_;
    std::vector<Id> function_ids_;
    std::set<uint32_t> block_structs_;  // structs that carry Block themselves (they end in a runtime array)
    std::map<uint32_t, Id> builtin_inputs_;
    std::set<uint32_t> used_spec_ids_;
    // What the function being written uses, and per written function the transitive result.
    std::set<uint32_t> current_uses_, current_calls_, current_builtins_;
    std::vector<std::set<uint32_t>> function_uses_, function_builtins_;

    friend class FunctionWriter;
};

/// Writes one function (or one entry point's function) into the module's function section.
class FunctionWriter {
public:
    FunctionWriter(ModuleWriter& writer, const ir::Function& function, const ir::EntryPoint* entry)
        : m_(writer), module_(writer.module()), f_(function), entry_(entry) {}

    /// Writes the function under id `id`; for an entry point, `workgroup_vars` are zeroed on entry.
    [[nodiscard]] Result<void> write(Id id, const std::vector<ir::Handle<ir::GlobalVariable>>& workgroup_vars);

private:
    // expressions (expressions.cpp)
    Result<Id> value(ir::Handle<ir::Expression> handle);
    Result<Id> emit_expression(ir::Handle<ir::Expression> handle);
    Result<Id> emit_access(ir::Handle<ir::Expression> handle, ir::Handle<ir::Expression> base, Id index_id,
                           std::optional<uint32_t> constant_index);
    Result<Id> emit_binary(ir::Handle<ir::Expression> handle, const ir::expr::Binary& b);
    Result<Id> emit_math(ir::Handle<ir::Expression> handle, const ir::expr::Math& m);
    Result<Id> emit_as(ir::Handle<ir::Expression> handle, const ir::expr::As& as);
    Result<Id> emit_array_length(ir::Handle<ir::Expression> handle, const ir::expr::ArrayLength& a);
    Result<Id> override_value(ir::Handle<ir::Override> handle, Span span);
    Result<Id> derived_override_part(ir::Handle<ir::Expression> handle, ir::Scalar scalar, const std::string& name,
                                     Span span);
    Result<Id> clamp_index(Id index, const ExprType& index_type, uint32_t count, Span span);
    Result<Id> splat_if_scalar(Id id, const Shape& from, const Shape& to, Span span);
    Result<Id> compose_matrix_columns(const Shape& matrix, const std::vector<Id>& scalars, Span span);
    Id op(spv::Op opcode, Id type, std::initializer_list<Id> operands);
    Id op(spv::Op opcode, Id type, const std::vector<Id>& operands);
    Id ext(GLSLstd450 instruction, Id type, std::initializer_list<Id> operands);
    Result<Id> type_of_expr(ir::Handle<ir::Expression> handle);
    Span span_of(ir::Handle<ir::Expression> handle) const { return f_.expressions.span(handle); }
    spv::Scope atomic_scope(ir::AddressSpace space) const;

    // statements (statements.cpp)
    Result<void> write_block(const ir::Block& block);
    Result<void> write_statement(const ir::Statement& statement, Span span);
    Result<void> write_prologue(const std::vector<ir::Handle<ir::GlobalVariable>>& workgroup_vars);
    void start_block(Id label);
    void terminate(spv::Op opcode, std::initializer_list<Id> operands);

    ModuleWriter& m_;
    const ir::Module& module_;
    const ir::Function& f_;
    const ir::EntryPoint* entry_;
    std::vector<ExprType> types_;
    std::vector<Id> ids_;
    std::vector<Id> parameter_ids_;
    std::vector<Id> argument_values_;  // entry points: builtin values loaded on entry
    std::vector<Id> local_ids_;
    std::map<uint32_t, Id> global_pointers_;  // wrapped buffers: access chain made in the entry block
    std::vector<uint32_t> variables_;         // OpVariable instructions of the entry block
    std::vector<uint32_t> prelude_;           // then values computed once on entry (derived overrides)
    std::map<uint32_t, Id> derived_overrides_;
    std::vector<uint32_t> code_;              // everything after them
    bool block_open_ = true;
    std::vector<Id> break_targets_;
    std::vector<Id> continue_targets_;
};

}  // namespace trelliken::wgsl::spirv

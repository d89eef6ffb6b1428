#pragma once
// Lowering from the syntax tree to IR: name resolution, types, constant folding, references and loads, and the
// Emit structure of function bodies. Internal to parse().

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "wgsl/common/const_eval.h"
#include "wgsl/common/layout.h"
#include "wgsl/common/value.h"
#include "wgsl/ir/ir.h"
#include "wgsl/parser/ast.h"

namespace trelliken::wgsl::lower {

/// Deepest recursion through expressions and declarations that refer to each other.
inline constexpr int kMaxLoweringDepth = 1024;

/// What an expression lowers to: a compile-time value not yet committed to IR, a value handle, or a reference
/// (a pointer handle standing for the memory it points to, as WGSL references do).
struct Operand {
    VType type;  // value type, or the store type of a reference
    bool is_ref = false;
    ir::AddressSpace space = ir::AddressSpace::Function;  // of a reference
    ir::AccessMode access = ir::AccessMode::ReadWrite;    // of a reference
    std::optional<ConstValue> value;
    std::optional<ir::Handle<ir::Constant>> constant;  // the value names a concrete module constant
    ir::Handle<ir::Expression> handle;
    Span span;
};

/// Module-scope declarations resolve on first use; this records where each one is.
struct GlobalEntry {
    enum class State : uint8_t { Pending, InProgress, Done };
    enum class Kind : uint8_t { Type, Const, Override, Var, Function, Other };
    uint32_t index = 0;  // in ast::Module::globals
    State state = State::Pending;
    Kind kind = Kind::Other;
    VType type;                                        // Type: the type; Const: its type
    std::optional<ConstValue> value;                   // Const
    std::optional<ir::Handle<ir::Constant>> constant;  // Const of concrete type
    ir::Handle<ir::Override> override_;
    ir::Handle<ir::GlobalVariable> variable;
    ir::Handle<ir::Function> function;
    bool entry_point = false;
};

/// Per-function lowering state.
struct FunctionContext {
    ir::Function* fn = nullptr;
    ir::Block* block = nullptr;
    ir::Emitter emitter;
    std::vector<std::unordered_map<std::string_view, Operand>> scopes;
    std::unordered_map<uint32_t, ir::Handle<ir::Expression>> globals;    // by GlobalVariable index
    std::unordered_map<uint32_t, ir::Handle<ir::Expression>> constants;  // by Constant index
    std::unordered_map<uint32_t, ir::Handle<ir::Expression>> overrides;  // by Override index
    std::optional<VType> return_type;
};

class Lowerer {
public:
    Lowerer(std::string_view source, const ast::Module& ast);
    Result<ir::Module> run();

    // ---- module (lower_module.cpp) ----
    Result<GlobalEntry*> resolve_global(std::string_view name, Span span);
    Result<void> lower_global(GlobalEntry& entry);
    Result<void> lower_struct(GlobalEntry& entry, const ast::Global& g);
    Result<void> lower_const(GlobalEntry& entry, const ast::Global& g);
    Result<void> lower_override(GlobalEntry& entry, const ast::Global& g);
    Result<void> lower_var(GlobalEntry& entry, const ast::Global& g);
    Result<void> lower_function(GlobalEntry& entry, const ast::Global& g);
    Result<std::vector<uint32_t>> function_order();
    Result<uint32_t> const_u32(ast::ExprId e, std::string_view what);

    // ---- types (lower_types.cpp) ----
    Result<VType> resolve_type(ast::ExprId e);
    /// The type named by `name<templ...>`, or nullopt when the name is not a type.
    Result<std::optional<VType>> type_from_name(std::string_view name, std::span<const ast::ExprId> templ,
                                                Span span, bool allow_partial);
    Result<ir::Scalar> scalar_from_template(std::span<const ast::ExprId> templ, Span span);
    ir::Handle<ir::Type> intern(const VType& t) { return handle_of(interner_, t); }
    std::string name_of(const VType& t) const { return type_name(m_.types, t); }

    // ---- expressions (lower_expr.cpp) ----
    Result<Operand> expr(ast::ExprId e);
    Result<Operand> value(ast::ExprId e);
    Result<Operand> load(Operand op);
    Result<Operand> ident(const ast::Expr& e);
    Result<Operand> unary(const ast::Expr& e);
    Result<Operand> binary(const ast::Expr& e);
    Result<Operand> short_circuit(const ast::Expr& e, Operand l);
    Result<Operand> binary_op(ir::BinaryOperator op, Operand l, Operand r, Span span);
    Result<Operand> index(const ast::Expr& e);
    Result<Operand> member(const ast::Expr& e);
    Result<Operand> deref_pointer(Operand op);
    /// Commits an operand to IR as a value of its own type (abstract ones made concrete), or of `target`.
    Result<ir::Handle<ir::Expression>> materialize(const Operand& op, std::optional<VType> target = std::nullopt);
    ir::Handle<ir::Expression> commit_value(const ConstValue& v, Span span);
    /// Converts an operand for use where `target` is expected (assignment, argument, initialiser).
    Result<Operand> coerce(Operand op, const VType& target, std::string_view what);
    Result<void> unify_abstract(std::span<Operand* const> ops, Span span);
    ir::Handle<ir::Expression> append(ir::Expression e, Span span);
    ir::Arena<ir::Expression>& arena();
    Operand runtime(const VType& t, ir::Handle<ir::Expression> h, Span span);
    Result<Operand> splat_to(Operand scalar, ir::VectorSize n, Span span);

    // ---- calls (lower_call.cpp) ----
    Result<Operand> call(const ast::Expr& e, bool as_statement);
    Result<std::optional<Operand>> construct(const ast::Expr& e, std::vector<Operand> args);
    Result<Operand> builtin(const ast::Expr& e, std::vector<Operand> args, bool as_statement);
    Result<Operand> math(ir::MathFunction fun, std::vector<Operand> args, Span span);
    Result<Operand> atomic(const ast::Expr& e, std::vector<Operand> args, bool as_statement);
    Result<Operand> user_call(GlobalEntry& entry, const ast::Expr& e, std::vector<Operand> args, bool as_statement);
    Result<Operand> conversion(const VType& target, Operand arg, Span span);

    // ---- statements (lower_stmt.cpp) ----
    Result<void> block(ast::StmtId s, ir::Block& out, bool new_scope = true);
    Result<void> statement(ast::StmtId s);
    Result<void> statement_body(ast::StmtId s);
    Result<void> local_decl(const ast::Stmt& s);
    Result<void> assignment(const ast::Stmt& s);
    Result<void> push(ir::Statement st, Span span);
    void flush(Span span);
    void restart();

    std::unexpected<Diagnostic> fail(Span span, std::string message) const { return error_at(span, std::move(message)); }

    std::string_view src_;
    const ast::Module& ast_;
    ir::Module m_;
    TypeInterner interner_;
    std::unordered_map<std::string_view, GlobalEntry> globals_;
    FunctionContext* fn_ = nullptr;
    int depth_ = 0;  // expression and declaration recursion, bounded by kMaxLoweringDepth
    bool f16_enabled_ = false;
};

}  // namespace trelliken::wgsl::lower

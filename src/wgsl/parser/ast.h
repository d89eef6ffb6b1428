#pragma once
// Syntax tree of a WGSL module, as the parser produces it and lowering consumes it. Nodes live in flat vectors
// and refer to each other by index, so deep trees cost no recursion to destroy.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "wgsl/common/span.h"
#include "wgsl/ir/types.h"

namespace trelliken::wgsl::ast {

using ExprId = uint32_t;
using StmtId = uint32_t;
inline constexpr uint32_t kNone = UINT32_MAX;

enum class ExprKind : uint8_t {
    Literal,   // literal
    Ident,     // name, template args in `args`
    Call,      // callee name with template args in `templ`, call args in `args`
    Unary,     // op, operand a
    Binary,    // op, a, b
    Index,     // a[b]
    Member,    // a.name
};

enum class UnaryOp : uint8_t { Negate, Not, BitNot, AddressOf, Deref };
enum class BinaryOp : uint8_t {
    Add, Sub, Mul, Div, Mod, Eq, Ne, Lt, Le, Gt, Ge, And, Or, Xor, LogicalAnd, LogicalOr, Shl, Shr
};

/// A run of expression ids stored in Module::lists (template arguments, call arguments).
struct IdList {
    uint32_t begin = 0;
    uint32_t count = 0;
    [[nodiscard]] bool empty() const { return count == 0; }
    [[nodiscard]] uint32_t size() const { return count; }
};

struct Expr {
    explicit Expr(ExprKind k) : kind(k) {}
    ExprKind kind;
    uint8_t op = 0;  // UnaryOp or BinaryOp
    Span span;
    std::string_view name;  // Ident, Call callee, Member
    ExprId a = kNone;
    ExprId b = kNone;
    ir::Literal literal;
    IdList templ;  // template args (Ident and Call)
    IdList args;   // call args
};

struct Attribute {
    std::string_view name;
    std::vector<ExprId> args;
    Span span;
};

enum class StmtKind : uint8_t {
    Block,      // body
    Var,        // decl
    Assign,     // lhs a (kNone for phony `_`), rhs b, op (kNone = plain '=' or BinaryOp)
    Increment,  // a
    Decrement,  // a
    If,         // cond a, body, else_stmt (kNone, or Block/If stmt)
    Switch,     // selector a, clauses
    Loop,       // body, continuing (Block stmt or kNone), break_if expression b
    For,        // init stmt, cond a, update stmt, body
    While,      // cond a, body
    Break,
    BreakIf,    // a (only as the last statement of continuing)
    Continue,
    Return,     // a (or kNone)
    CallStmt,   // a (a Call expression)
    ConstAssert,// a
    Empty,
};

enum class DeclKind : uint8_t { Var, Let, Const, Override };

/// A variable-like declaration: var / let / const / override, at module or function scope.
struct Decl {
    DeclKind kind = DeclKind::Var;
    std::string_view name;
    Span name_span;
    ExprId type = kNone;
    ExprId init = kNone;
    std::string_view address_space;  // var<space, access>
    std::string_view access;
    std::vector<Attribute> attributes;
};

struct SwitchClause {
    std::vector<ExprId> selectors;  // kNone stands for `default`
    StmtId body = kNone;            // a Block statement
    Span span;
};

struct Stmt {
    explicit Stmt(StmtKind k) : kind(k) {}
    StmtKind kind;
    Span span;
    uint32_t op = kNone;
    ExprId a = kNone;
    ExprId b = kNone;
    StmtId body = kNone;
    StmtId else_stmt = kNone;
    StmtId init = kNone;
    StmtId update = kNone;
    StmtId continuing = kNone;
    std::vector<StmtId> statements;  // Block
    uint32_t decl = kNone;           // Var: index in Module::decls
    std::vector<SwitchClause> clauses;
};

struct StructMember {
    std::string_view name;
    Span span;
    ExprId type = kNone;
    std::vector<Attribute> attributes;
};

struct Param {
    std::string_view name;
    Span span;
    ExprId type = kNone;
    std::vector<Attribute> attributes;
};

enum class GlobalKind : uint8_t { Struct, Alias, Decl, Function, ConstAssert };

struct Global {
    GlobalKind kind;
    std::string_view name;
    Span span;       // name span
    Span full_span;  // whole declaration
    std::vector<Attribute> attributes;
    // Struct
    std::vector<StructMember> members;
    // Alias: type; ConstAssert: expression in `type`
    ExprId type = kNone;
    // Decl
    Decl decl;
    // Function
    std::vector<Param> params;
    ExprId return_type = kNone;
    std::vector<Attribute> return_attributes;
    StmtId body = kNone;
    // Expressions of this declaration occupy [expr_begin, expr_end) of Module::exprs.
    uint32_t expr_begin = 0;
    uint32_t expr_end = 0;
};

struct Enable {
    std::string_view name;
    Span span;
};

struct Module {
    std::vector<Enable> enables;
    std::vector<Global> globals;
    std::vector<Expr> exprs;
    std::vector<Stmt> stmts;
    std::vector<ExprId> lists;
    std::vector<Decl> decls;  // declarations of Var statements

    [[nodiscard]] std::span<const ExprId> list(IdList l) const { return {lists.data() + l.begin, l.count}; }
};

}  // namespace trelliken::wgsl::ast

#pragma once
// The recursive-descent parser from tokens to the syntax tree; internal to parse_syntax(). Each rule names its
// grammar production; a rule either matches, leaves the input alone when its first token does not fit (callers
// peek first), or fails with a diagnostic at the offending token. Module-scope and expression rules live in
// syntax.cpp, statement rules in syntax_statements.cpp.

#include <string_view>
#include <vector>

#include "wgsl/common/try.h"
#include "wgsl/lexer/token.h"
#include "wgsl/parser/syntax.h"

namespace trelliken::wgsl::syntax_detail {

using ast::ExprId;
using ast::kNone;
using ast::StmtId;

class Parser {
public:
    Parser(std::string_view src, std::vector<Token> toks) : src_(src), toks_(std::move(toks)) {
        // Growing these vectors dominated parse time; tokens bound their sizes closely enough.
        m_.exprs.reserve(toks_.size() / 3 + 16);
        m_.stmts.reserve(toks_.size() / 10 + 16);
    }

    // translation_unit : global_directive* global_decl*
    Result<ast::Module> run();

private:
    // ---- token helpers ----
    const Token& cur() const { return toks_[pos_]; }
    bool peek(TokenKind k) const { return cur().kind == k; }
    bool peek_at(size_t ahead, TokenKind k) const {
        return pos_ + ahead < toks_.size() && toks_[pos_ + ahead].kind == k;
    }
    std::string_view text(const Token& t) const { return src_.substr(t.span.begin, t.span.end - t.span.begin); }
    bool peek_ident(std::string_view word) const { return peek(TokenKind::Ident) && text(cur()) == word; }
    Token advance() {
        Token t = cur();
        if (t.kind != TokenKind::Eof) ++pos_;
        return t;
    }
    bool eat(TokenKind k) {
        if (!peek(k)) return false;
        advance();
        return true;
    }
    bool eat_ident(std::string_view word) {
        if (!peek_ident(word)) return false;
        advance();
        return true;
    }
    std::unexpected<Diagnostic> unexpected(std::string_view what) const {
        std::string found = cur().kind == TokenKind::Ident ? "'" + std::string(text(cur())) + "'"
                                                           : std::string(token_name(cur().kind));
        return error_at(cur().span, "expected " + std::string(what) + ", found " + found);
    }
    Result<Token> expect(TokenKind k, std::string_view what) {
        if (!peek(k)) return unexpected(what);
        return advance();
    }
    Result<void> expect_ident(std::string_view word) {
        if (!eat_ident(word)) return unexpected("'" + std::string(word) + "'");
        return {};
    }
    Span span_from(Span start) const {
        const Span prev = pos_ > 0 ? toks_[pos_ - 1].span : start;
        return Span{start.begin, prev.end > start.begin ? prev.end : start.end};
    }

    // Guards recursion; every recursive rule holds one for its extent.
    struct DepthGuard {
        Parser* p;
        explicit DepthGuard(Parser* parser) : p(parser) {}
        DepthGuard(DepthGuard&& other) noexcept : p(other.p) { other.p = nullptr; }
        DepthGuard(const DepthGuard&) = delete;
        DepthGuard& operator=(const DepthGuard&) = delete;
        DepthGuard& operator=(DepthGuard&&) = delete;
        ~DepthGuard() {
            if (p) --p->depth_;
        }
    };
    Result<DepthGuard> enter() {
        if (++depth_ > kMaxNesting) {
            --depth_;
            return error_at(cur().span, "nesting too deep (limit " + std::to_string(kMaxNesting) + ")");
        }
        return DepthGuard(this);
    }

    ExprId add(ast::Expr e) {
        m_.exprs.push_back(std::move(e));
        return static_cast<ExprId>(m_.exprs.size() - 1);
    }
    ast::IdList store(const std::vector<ExprId>& ids) {
        ast::IdList l{static_cast<uint32_t>(m_.lists.size()), static_cast<uint32_t>(ids.size())};
        m_.lists.insert(m_.lists.end(), ids.begin(), ids.end());
        return l;
    }
    StmtId add(ast::Stmt s) {
        m_.stmts.push_back(std::move(s));
        return static_cast<StmtId>(m_.stmts.size() - 1);
    }

    // ---- attributes ----
    // attribute : '@' ident ( '(' expression ( ',' expression )* ','? ')' )?
    Result<std::vector<ast::Attribute>> attributes();

    // ---- module scope ----
    // global_decl : attribute* ( global_variable_decl ';' | global_value_decl ';' | type_alias_decl ';'
    //             | struct_decl | function_decl | const_assert_statement ';' )
    Result<void> global_decl();

    // variable_decl : 'var' ( '<' address_space ( ',' access_mode )? '>' )? ident ( ':' type )? ( '=' expr )?
    // value_decl    : ( 'let' | 'const' | 'override' ) ident ( ':' type )? ( '=' expr )?
    Result<ast::Decl> declaration();

    // type_specifier : ident template_list?
    Result<ExprId> type_specifier();

    // template_list : '<' expression ( ',' expression )* ','? '>'
    Result<std::vector<ExprId>> template_list();

    // ---- expressions ----
    // expression : unary ( binary_operator unary )*   (with the usual precedence)
    Result<ExprId> expression() { return binary(0); }

    static int precedence(TokenKind k, ast::BinaryOp& op);

    Result<ExprId> binary(int min_prec);

    // unary : ( '-' | '!' | '~' | '*' | '&' ) unary | postfix
    Result<ExprId> unary();

    // postfix : primary ( '[' expression ']' | '.' ident )*
    Result<ExprId> postfix();

    // primary : literal | '(' expression ')' | ident template_list? argument_list?
    Result<ExprId> primary();

    // ---- statements ----
    // compound_statement : attribute* '{' statement* '}'
    Result<StmtId> compound_statement();

    ast::Stmt simple(ast::StmtKind kind, Span span) {
        ast::Stmt s{kind};
        s.span = span;
        return s;
    }

    // statement : ';' | compound | if | switch | loop | for | while | decl ';' | assignment ';' | call ';'
    //           | 'break' ';' | 'continue' ';' | 'return' expression? ';' | const_assert ';'
    Result<StmtId> statement();

    // if_statement : 'if' expression compound_statement ( 'else' ( if_statement | compound_statement ) )?
    Result<StmtId> if_statement(Span start);

    // simple_statement : variable_or_value_decl | '_' '=' expression | lhs ( '=' | op'=' ) expression
    //                  | lhs '++' | lhs '--' | call_expression
    Result<StmtId> simple_statement();

    std::string_view src_;
    std::vector<Token> toks_;
    size_t pos_ = 0;
    int depth_ = 0;
    ast::Module m_;
};

}  // namespace trelliken::wgsl::syntax_detail

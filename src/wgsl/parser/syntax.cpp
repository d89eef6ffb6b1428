// Recursive-descent parser from tokens to the syntax tree. Each rule names its grammar production; a rule either
// matches, leaves the input alone when its first token does not fit (callers peek first), or fails with a
// diagnostic at the offending token.

#include "wgsl/common/try.h"
#include "wgsl/lexer/token.h"
#include "wgsl/parser/syntax.h"

namespace trelliken::wgsl {
namespace {

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
    Result<ast::Module> run() {
        while (peek_ident("enable") || peek_ident("requires") || peek_ident("diagnostic")) {
            const bool enable = peek_ident("enable");
            advance();
            if (enable) {
                do {
                    WGSL_TRY(Token name, expect(TokenKind::Ident, "extension name"));
                    m_.enables.push_back({text(name), name.span});
                } while (eat(TokenKind::Comma) && peek(TokenKind::Ident));
            } else {
                // Directives that change nothing for this translator are skipped up to their ';'.
                while (!peek(TokenKind::Semicolon) && !peek(TokenKind::Eof)) advance();
            }
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
        }
        while (!peek(TokenKind::Eof)) {
            if (eat(TokenKind::Semicolon)) continue;
            WGSL_CHECK(global_decl());
        }
        return std::move(m_);
    }

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
    Result<std::vector<ast::Attribute>> attributes() {
        std::vector<ast::Attribute> out;
        while (peek(TokenKind::At)) {
            const Span start = advance().span;
            WGSL_TRY(Token name, expect(TokenKind::Ident, "attribute name"));
            ast::Attribute a{text(name), {}, {}};
            if (eat(TokenKind::ParenLeft)) {
                while (!peek(TokenKind::ParenRight)) {
                    WGSL_TRY(ExprId e, expression());
                    a.args.push_back(e);
                    if (!eat(TokenKind::Comma)) break;
                }
                WGSL_CHECK(expect(TokenKind::ParenRight, "')'"));
            }
            a.span = span_from(start);
            out.push_back(std::move(a));
        }
        return out;
    }

    // ---- module scope ----
    // global_decl : attribute* ( global_variable_decl ';' | global_value_decl ';' | type_alias_decl ';'
    //             | struct_decl | function_decl | const_assert_statement ';' )
    Result<void> global_decl() {
        WGSL_TRY(auto attrs, attributes());
        const Span start = cur().span;
        ast::Global g{};
        g.attributes = std::move(attrs);
        g.expr_begin = static_cast<uint32_t>(m_.exprs.size());
        if (eat_ident("struct")) {
            g.kind = ast::GlobalKind::Struct;
            WGSL_TRY(Token name, expect(TokenKind::Ident, "struct name"));
            g.name = text(name);
            g.span = name.span;
            WGSL_CHECK(expect(TokenKind::BraceLeft, "'{'"));
            while (!peek(TokenKind::BraceRight)) {
                WGSL_TRY(auto mattrs, attributes());
                WGSL_TRY(Token mname, expect(TokenKind::Ident, "member name"));
                WGSL_CHECK(expect(TokenKind::Colon, "':'"));
                WGSL_TRY(ExprId ty, type_specifier());
                g.members.push_back({text(mname), mname.span, ty, std::move(mattrs)});
                if (!eat(TokenKind::Comma)) break;
            }
            WGSL_CHECK(expect(TokenKind::BraceRight, "'}'"));
            eat(TokenKind::Semicolon);
        } else if (eat_ident("alias")) {
            g.kind = ast::GlobalKind::Alias;
            WGSL_TRY(Token name, expect(TokenKind::Ident, "alias name"));
            g.name = text(name);
            g.span = name.span;
            WGSL_CHECK(expect(TokenKind::Equal, "'='"));
            WGSL_TRY(g.type, type_specifier());
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
        } else if (eat_ident("const_assert")) {
            g.kind = ast::GlobalKind::ConstAssert;
            WGSL_TRY(g.type, expression());
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
        } else if (peek_ident("var") || peek_ident("const") || peek_ident("override") || peek_ident("let")) {
            g.kind = ast::GlobalKind::Decl;
            WGSL_TRY(g.decl, declaration());
            g.decl.attributes = std::move(g.attributes);
            g.attributes.clear();
            g.name = g.decl.name;
            g.span = g.decl.name_span;
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
        } else if (eat_ident("fn")) {
            g.kind = ast::GlobalKind::Function;
            WGSL_TRY(Token name, expect(TokenKind::Ident, "function name"));
            g.name = text(name);
            g.span = name.span;
            WGSL_CHECK(expect(TokenKind::ParenLeft, "'('"));
            while (!peek(TokenKind::ParenRight)) {
                WGSL_TRY(auto pattrs, attributes());
                WGSL_TRY(Token pname, expect(TokenKind::Ident, "parameter name"));
                WGSL_CHECK(expect(TokenKind::Colon, "':'"));
                WGSL_TRY(ExprId ty, type_specifier());
                g.params.push_back({text(pname), pname.span, ty, std::move(pattrs)});
                if (!eat(TokenKind::Comma)) break;
            }
            WGSL_CHECK(expect(TokenKind::ParenRight, "')'"));
            if (eat(TokenKind::Arrow)) {
                WGSL_TRY(g.return_attributes, attributes());
                WGSL_TRY(g.return_type, type_specifier());
            }
            WGSL_TRY(g.body, compound_statement());
        } else {
            return unexpected("a declaration");
        }
        g.full_span = span_from(start);
        g.expr_end = static_cast<uint32_t>(m_.exprs.size());
        m_.globals.push_back(std::move(g));
        return {};
    }

    // variable_decl : 'var' ( '<' address_space ( ',' access_mode )? '>' )? ident ( ':' type )? ( '=' expr )?
    // value_decl    : ( 'let' | 'const' | 'override' ) ident ( ':' type )? ( '=' expr )?
    Result<ast::Decl> declaration() {
        ast::Decl d;
        const std::string_view word = text(advance());
        d.kind = word == "var"     ? ast::DeclKind::Var
                 : word == "let"   ? ast::DeclKind::Let
                 : word == "const" ? ast::DeclKind::Const
                                   : ast::DeclKind::Override;
        if (d.kind == ast::DeclKind::Var && (eat(TokenKind::TemplateArgsStart) || eat(TokenKind::Less))) {
            WGSL_TRY(Token space, expect(TokenKind::Ident, "address space"));
            d.address_space = text(space);
            if (eat(TokenKind::Comma)) {
                WGSL_TRY(Token access, expect(TokenKind::Ident, "access mode"));
                d.access = text(access);
            }
            if (!eat(TokenKind::TemplateArgsEnd) && !eat(TokenKind::Greater)) return unexpected("'>'");
        }
        WGSL_TRY(Token name, expect(TokenKind::Ident, "a name"));
        d.name = text(name);
        d.name_span = name.span;
        if (eat(TokenKind::Colon)) {
            WGSL_TRY(d.type, type_specifier());
        }
        if (eat(TokenKind::Equal)) {
            WGSL_TRY(d.init, expression());
        }
        return d;
    }

    // type_specifier : ident template_list?
    Result<ExprId> type_specifier() {
        WGSL_TRY(auto guard, enter());
        WGSL_TRY(Token name, expect(TokenKind::Ident, "a type"));
        ast::Expr e{ast::ExprKind::Ident};
        e.name = text(name);
        if (peek(TokenKind::TemplateArgsStart)) {
            WGSL_TRY(auto list, template_list());
            e.templ = store(list);
        }
        e.span = span_from(name.span);
        return add(std::move(e));
    }

    // template_list : '<' expression ( ',' expression )* ','? '>'
    Result<std::vector<ExprId>> template_list() {
        advance();
        std::vector<ExprId> out;
        while (!peek(TokenKind::TemplateArgsEnd)) {
            WGSL_TRY(ExprId e, expression());
            out.push_back(e);
            if (!eat(TokenKind::Comma)) break;
        }
        WGSL_CHECK(expect(TokenKind::TemplateArgsEnd, "'>'"));
        return out;
    }

    // ---- expressions ----
    // expression : unary ( binary_operator unary )*   (with the usual precedence)
    Result<ExprId> expression() { return binary(0); }

    static int precedence(TokenKind k, ast::BinaryOp& op) {
        using B = ast::BinaryOp;
        switch (k) {
            case TokenKind::OrOr: op = B::LogicalOr; return 1;
            case TokenKind::AndAnd: op = B::LogicalAnd; return 2;
            case TokenKind::Or: op = B::Or; return 3;
            case TokenKind::Xor: op = B::Xor; return 4;
            case TokenKind::And: op = B::And; return 5;
            case TokenKind::EqualEqual: op = B::Eq; return 6;
            case TokenKind::BangEqual: op = B::Ne; return 6;
            case TokenKind::Less: op = B::Lt; return 7;
            case TokenKind::LessEqual: op = B::Le; return 7;
            case TokenKind::Greater: op = B::Gt; return 7;
            case TokenKind::GreaterEqual: op = B::Ge; return 7;
            case TokenKind::ShiftLeft: op = B::Shl; return 8;
            case TokenKind::ShiftRight: op = B::Shr; return 8;
            case TokenKind::Plus: op = B::Add; return 9;
            case TokenKind::Minus: op = B::Sub; return 9;
            case TokenKind::Star: op = B::Mul; return 10;
            case TokenKind::Slash: op = B::Div; return 10;
            case TokenKind::Percent: op = B::Mod; return 10;
            default: return 0;
        }
    }

    Result<ExprId> binary(int min_prec) {
        WGSL_TRY(auto guard, enter());
        WGSL_TRY(ExprId left, unary());
        int chain = 0;
        while (true) {
            ast::BinaryOp op{};
            const int prec = precedence(cur().kind, op);
            if (prec == 0 || prec <= min_prec) break;
            // A long operator chain nests as deeply as parentheses do once it is a tree.
            if (++chain > kMaxNesting * 4) return error_at(cur().span, "expression too long");
            advance();
            WGSL_TRY(ExprId right, binary(prec));
            ast::Expr e{ast::ExprKind::Binary};
            e.op = static_cast<uint8_t>(op);
            e.a = left;
            e.b = right;
            e.span = m_.exprs[left].span.join(m_.exprs[right].span);
            left = add(std::move(e));
        }
        return left;
    }

    // unary : ( '-' | '!' | '~' | '*' | '&' ) unary | postfix
    Result<ExprId> unary() {
        WGSL_TRY(auto guard, enter());
        ast::UnaryOp op{};
        switch (cur().kind) {
            case TokenKind::Minus: op = ast::UnaryOp::Negate; break;
            case TokenKind::Bang: op = ast::UnaryOp::Not; break;
            case TokenKind::Tilde: op = ast::UnaryOp::BitNot; break;
            case TokenKind::Star: op = ast::UnaryOp::Deref; break;
            case TokenKind::And: op = ast::UnaryOp::AddressOf; break;
            default: return postfix();
        }
        const Span start = advance().span;
        WGSL_TRY(ExprId operand, unary());
        ast::Expr e{ast::ExprKind::Unary};
        e.op = static_cast<uint8_t>(op);
        e.a = operand;
        e.span = start.join(m_.exprs[operand].span);
        return add(std::move(e));
    }

    // postfix : primary ( '[' expression ']' | '.' ident )*
    Result<ExprId> postfix() {
        WGSL_TRY(ExprId base, primary());
        while (true) {
            if (eat(TokenKind::BracketLeft)) {
                WGSL_TRY(ExprId index, expression());
                WGSL_CHECK(expect(TokenKind::BracketRight, "']'"));
                ast::Expr e{ast::ExprKind::Index};
                e.a = base;
                e.b = index;
                e.span = span_from(m_.exprs[base].span);
                base = add(std::move(e));
            } else if (eat(TokenKind::Period)) {
                WGSL_TRY(Token name, expect(TokenKind::Ident, "member name"));
                ast::Expr e{ast::ExprKind::Member};
                e.a = base;
                e.name = text(name);
                e.span = span_from(m_.exprs[base].span);
                base = add(std::move(e));
            } else {
                return base;
            }
        }
    }

    // primary : literal | '(' expression ')' | ident template_list? argument_list?
    Result<ExprId> primary() {
        const Token t = cur();
        if (t.kind == TokenKind::IntLiteral || t.kind == TokenKind::FloatLiteral) {
            advance();
            WGSL_TRY(ir::Literal lit, parse_number(text(t), t.span, t.kind == TokenKind::FloatLiteral));
            ast::Expr e{ast::ExprKind::Literal};
            e.literal = lit;
            e.span = t.span;
            return add(std::move(e));
        }
        if (t.kind == TokenKind::ParenLeft) {
            advance();
            WGSL_TRY(ExprId inner, expression());
            WGSL_CHECK(expect(TokenKind::ParenRight, "')'"));
            return inner;
        }
        if (t.kind != TokenKind::Ident) return unexpected("an expression");
        advance();
        const std::string_view name = text(t);
        if (name == "true" || name == "false") {
            ast::Expr e{ast::ExprKind::Literal};
            e.literal = ir::Literal::boolean(name == "true");
            e.span = t.span;
            return add(std::move(e));
        }
        ast::Expr e{ast::ExprKind::Ident};
        e.name = name;
        if (peek(TokenKind::TemplateArgsStart)) {
            WGSL_TRY(auto list, template_list());
            e.templ = store(list);
        }
        if (eat(TokenKind::ParenLeft)) {
            e.kind = ast::ExprKind::Call;
            std::vector<ExprId> args;
            while (!peek(TokenKind::ParenRight)) {
                WGSL_TRY(ExprId arg, expression());
                args.push_back(arg);
                if (!eat(TokenKind::Comma)) break;
            }
            WGSL_CHECK(expect(TokenKind::ParenRight, "')'"));
            e.args = store(args);
        }
        e.span = span_from(t.span);
        return add(std::move(e));
    }

    // ---- statements ----
    // compound_statement : attribute* '{' statement* '}'
    Result<StmtId> compound_statement() {
        WGSL_TRY(auto guard, enter());
        WGSL_CHECK(attributes());
        WGSL_TRY(Token open, expect(TokenKind::BraceLeft, "'{'"));
        ast::Stmt s{ast::StmtKind::Block};
        while (!peek(TokenKind::BraceRight)) {
            if (peek(TokenKind::Eof)) return error_at(open.span, "unterminated block: '{' has no matching '}'");
            WGSL_TRY(StmtId st, statement());
            s.statements.push_back(st);
        }
        advance();
        s.span = span_from(open.span);
        return add(std::move(s));
    }

    ast::Stmt simple(ast::StmtKind kind, Span span) {
        ast::Stmt s{kind};
        s.span = span;
        return s;
    }

    // statement : ';' | compound | if | switch | loop | for | while | decl ';' | assignment ';' | call ';'
    //           | 'break' ';' | 'continue' ';' | 'return' expression? ';' | const_assert ';'
    Result<StmtId> statement() {
        WGSL_TRY(auto guard, enter());
        WGSL_CHECK(attributes());
        const Span start = cur().span;
        if (eat(TokenKind::Semicolon)) return add(simple(ast::StmtKind::Empty, start));
        if (peek(TokenKind::BraceLeft)) return compound_statement();
        if (eat_ident("if")) return if_statement(start);
        if (eat_ident("switch")) {
            ast::Stmt s{ast::StmtKind::Switch};
            WGSL_TRY(s.a, expression());
            WGSL_CHECK(attributes());
            WGSL_CHECK(expect(TokenKind::BraceLeft, "'{'"));
            while (!peek(TokenKind::BraceRight)) {
                ast::SwitchClause clause;
                clause.span = cur().span;
                if (eat_ident("default")) {
                    clause.selectors.push_back(kNone);
                } else if (eat_ident("case")) {
                    // case_selector : 'default' | expression
                    do {
                        if (peek(TokenKind::Colon) || peek(TokenKind::BraceLeft)) break;
                        if (eat_ident("default")) {
                            clause.selectors.push_back(kNone);
                        } else {
                            WGSL_TRY(ExprId sel, expression());
                            clause.selectors.push_back(sel);
                        }
                    } while (eat(TokenKind::Comma));
                    if (clause.selectors.empty()) return unexpected("a case selector");
                } else {
                    return unexpected("'case', 'default' or '}'");
                }
                eat(TokenKind::Colon);
                WGSL_TRY(clause.body, compound_statement());
                s.clauses.push_back(std::move(clause));
            }
            advance();
            s.span = span_from(start);
            return add(std::move(s));
        }
        if (eat_ident("loop")) {
            // loop_statement : 'loop' '{' statement* continuing_statement? '}'
            WGSL_CHECK(attributes());
            WGSL_TRY(Token open, expect(TokenKind::BraceLeft, "'{'"));
            ast::Stmt body{ast::StmtKind::Block};
            ast::Stmt s{ast::StmtKind::Loop};
            while (!peek(TokenKind::BraceRight)) {
                if (peek(TokenKind::Eof)) return error_at(open.span, "unterminated block: '{' has no matching '}'");
                if (peek_ident("continuing")) {
                    // continuing_statement : 'continuing' '{' statement* ( 'break' 'if' expression ';' )? '}'
                    const Span cstart = advance().span;
                    WGSL_CHECK(attributes());
                    WGSL_TRY(Token copen, expect(TokenKind::BraceLeft, "'{'"));
                    ast::Stmt cont{ast::StmtKind::Block};
                    while (!peek(TokenKind::BraceRight)) {
                        if (peek(TokenKind::Eof))
                            return error_at(copen.span, "unterminated block: '{' has no matching '}'");
                        if (peek_ident("break") && peek_at(1, TokenKind::Ident) &&
                            text(toks_[pos_ + 1]) == "if") {
                            advance();
                            advance();
                            WGSL_TRY(s.b, expression());
                            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
                            if (!peek(TokenKind::BraceRight))
                                return error_at(cur().span, "'break if' must be the last statement of 'continuing'");
                            break;
                        }
                        WGSL_TRY(StmtId st, statement());
                        cont.statements.push_back(st);
                    }
                    WGSL_CHECK(expect(TokenKind::BraceRight, "'}'"));
                    cont.span = span_from(cstart);
                    s.continuing = add(std::move(cont));
                    if (!peek(TokenKind::BraceRight))
                        return error_at(cur().span, "'continuing' must be the last statement of a loop");
                    break;
                }
                WGSL_TRY(StmtId st, statement());
                body.statements.push_back(st);
            }
            WGSL_CHECK(expect(TokenKind::BraceRight, "'}'"));
            body.span = span_from(open.span);
            s.body = add(std::move(body));
            s.span = span_from(start);
            return add(std::move(s));
        }
        if (eat_ident("for")) {
            // for_statement : 'for' '(' for_init? ';' expression? ';' for_update? ')' compound_statement
            ast::Stmt s{ast::StmtKind::For};
            WGSL_CHECK(expect(TokenKind::ParenLeft, "'('"));
            if (!peek(TokenKind::Semicolon)) {
                WGSL_TRY(s.init, simple_statement());
            }
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
            if (!peek(TokenKind::Semicolon)) {
                WGSL_TRY(s.a, expression());
            }
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
            if (!peek(TokenKind::ParenRight)) {
                WGSL_TRY(s.update, simple_statement());
            }
            WGSL_CHECK(expect(TokenKind::ParenRight, "')'"));
            WGSL_TRY(s.body, compound_statement());
            s.span = span_from(start);
            return add(std::move(s));
        }
        if (eat_ident("while")) {
            ast::Stmt s{ast::StmtKind::While};
            WGSL_TRY(s.a, expression());
            WGSL_TRY(s.body, compound_statement());
            s.span = span_from(start);
            return add(std::move(s));
        }
        if (eat_ident("break")) {
            if (peek_ident("if")) return error_at(cur().span, "'break if' is only allowed at the end of 'continuing'");
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
            return add(simple(ast::StmtKind::Break, start));
        }
        if (eat_ident("continue")) {
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
            return add(simple(ast::StmtKind::Continue, start));
        }
        if (eat_ident("return")) {
            ast::Stmt s{ast::StmtKind::Return};
            if (!peek(TokenKind::Semicolon)) {
                WGSL_TRY(s.a, expression());
            }
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
            s.span = span_from(start);
            return add(std::move(s));
        }
        if (eat_ident("const_assert")) {
            ast::Stmt s{ast::StmtKind::ConstAssert};
            WGSL_TRY(s.a, expression());
            WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
            s.span = span_from(start);
            return add(std::move(s));
        }
        if (peek_ident("discard")) return error_at(cur().span, "'discard' is not allowed in compute shaders");
        WGSL_TRY(StmtId st, simple_statement());
        WGSL_CHECK(expect(TokenKind::Semicolon, "';'"));
        return st;
    }

    // if_statement : 'if' expression compound_statement ( 'else' ( if_statement | compound_statement ) )?
    Result<StmtId> if_statement(Span start) {
        WGSL_TRY(auto guard, enter());
        ast::Stmt s{ast::StmtKind::If};
        WGSL_TRY(s.a, expression());
        WGSL_TRY(s.body, compound_statement());
        if (eat_ident("else")) {
            const Span else_start = cur().span;
            if (eat_ident("if")) {
                WGSL_TRY(s.else_stmt, if_statement(else_start));
            } else {
                WGSL_TRY(s.else_stmt, compound_statement());
            }
        }
        s.span = span_from(start);
        return add(std::move(s));
    }

    // simple_statement : variable_or_value_decl | '_' '=' expression | lhs ( '=' | op'=' ) expression
    //                  | lhs '++' | lhs '--' | call_expression
    Result<StmtId> simple_statement() {
        const Span start = cur().span;
        if (peek_ident("var") || peek_ident("let") || peek_ident("const")) {
            ast::Stmt s{ast::StmtKind::Var};
            WGSL_TRY(ast::Decl d, declaration());
            s.decl = static_cast<uint32_t>(m_.decls.size());
            m_.decls.push_back(std::move(d));
            s.span = span_from(start);
            return add(std::move(s));
        }
        if (eat(TokenKind::Underscore)) {
            ast::Stmt s{ast::StmtKind::Assign};
            WGSL_CHECK(expect(TokenKind::Equal, "'='"));
            WGSL_TRY(s.b, expression());
            s.span = span_from(start);
            return add(std::move(s));
        }
        WGSL_TRY(ExprId lhs, unary());
        ast::Stmt s{ast::StmtKind::Assign};
        s.a = lhs;
        using B = ast::BinaryOp;
        auto compound = [&](B op) { s.op = static_cast<uint32_t>(op); };
        switch (cur().kind) {
            case TokenKind::Equal: break;
            case TokenKind::PlusEqual: compound(B::Add); break;
            case TokenKind::MinusEqual: compound(B::Sub); break;
            case TokenKind::StarEqual: compound(B::Mul); break;
            case TokenKind::SlashEqual: compound(B::Div); break;
            case TokenKind::PercentEqual: compound(B::Mod); break;
            case TokenKind::AndEqual: compound(B::And); break;
            case TokenKind::OrEqual: compound(B::Or); break;
            case TokenKind::XorEqual: compound(B::Xor); break;
            case TokenKind::ShiftLeftEqual: compound(B::Shl); break;
            case TokenKind::ShiftRightEqual: compound(B::Shr); break;
            case TokenKind::PlusPlus:
            case TokenKind::MinusMinus: {
                const bool inc = peek(TokenKind::PlusPlus);
                advance();
                ast::Stmt st{inc ? ast::StmtKind::Increment : ast::StmtKind::Decrement};
                st.a = lhs;
                st.span = span_from(start);
                return add(std::move(st));
            }
            default:
                if (m_.exprs[lhs].kind == ast::ExprKind::Call) {
                    ast::Stmt st{ast::StmtKind::CallStmt};
                    st.a = lhs;
                    st.span = span_from(start);
                    return add(std::move(st));
                }
                return unexpected("an assignment, increment or call");
        }
        advance();
        WGSL_TRY(s.b, expression());
        s.span = span_from(start);
        return add(std::move(s));
    }

    std::string_view src_;
    std::vector<Token> toks_;
    size_t pos_ = 0;
    int depth_ = 0;
    ast::Module m_;
};

}  // namespace

Result<ast::Module> parse_syntax(std::string_view source) {
    WGSL_TRY(auto toks, tokenize(source));
    return Parser(source, std::move(toks)).run();
}

}  // namespace trelliken::wgsl

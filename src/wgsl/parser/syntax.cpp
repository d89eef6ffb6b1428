// Module-scope and expression rules of the parser.

#include "wgsl/parser/syntax_parser.h"

namespace trelliken::wgsl {
namespace syntax_detail {

// translation_unit : global_directive* global_decl*
Result<ast::Module> Parser::run() {
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

// attribute : '@' ident ( '(' expression ( ',' expression )* ','? ')' )?
Result<std::vector<ast::Attribute>> Parser::attributes() {
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

// global_decl : attribute* ( global_variable_decl ';' | global_value_decl ';' | type_alias_decl ';'
//             | struct_decl | function_decl | const_assert_statement ';' )
Result<void> Parser::global_decl() {
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
Result<ast::Decl> Parser::declaration() {
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
Result<ExprId> Parser::type_specifier() {
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
Result<std::vector<ExprId>> Parser::template_list() {
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

int Parser::precedence(TokenKind k, ast::BinaryOp& op) {
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

Result<ExprId> Parser::binary(int min_prec) {
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
Result<ExprId> Parser::unary() {
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
Result<ExprId> Parser::postfix() {
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
Result<ExprId> Parser::primary() {
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

}  // namespace syntax_detail

Result<ast::Module> parse_syntax(std::string_view source) {
    WGSL_TRY(auto toks, tokenize(source));
    return syntax_detail::Parser(source, std::move(toks)).run();
}

}  // namespace trelliken::wgsl

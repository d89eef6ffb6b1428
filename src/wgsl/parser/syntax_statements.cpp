// Statement rules of the parser.

#include "wgsl/parser/syntax_parser.h"

namespace trelliken::wgsl::syntax_detail {

// compound_statement : attribute* '{' statement* '}'
Result<StmtId> Parser::compound_statement() {
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

// statement : ';' | compound | if | switch | loop | for | while | decl ';' | assignment ';' | call ';'
//           | 'break' ';' | 'continue' ';' | 'return' expression? ';' | const_assert ';'
Result<StmtId> Parser::statement() {
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
Result<StmtId> Parser::if_statement(Span start) {
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
Result<StmtId> Parser::simple_statement() {
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

}  // namespace trelliken::wgsl::syntax_detail

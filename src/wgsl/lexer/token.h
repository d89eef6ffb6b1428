#pragma once
// Tokens of WGSL source text.

#include <cstdint>
#include <string_view>
#include <vector>

#include "wgsl/common/span.h"

namespace trelliken::wgsl {

enum class TokenKind : uint8_t {
    Eof,
    Ident,
    IntLiteral,    // text includes any i/u suffix
    FloatLiteral,  // text includes any f/h/lf suffix
    // punctuation
    And,             // &
    AndAnd,          // &&
    AndEqual,        // &=
    Arrow,           // ->
    At,              // @
    Slash,           // /
    SlashEqual,      // /=
    Bang,            // !
    BangEqual,       // !=
    BracketLeft,     // [
    BracketRight,    // ]
    BraceLeft,       // {
    BraceRight,      // }
    Colon,           // :
    Comma,           // ,
    Equal,           // =
    EqualEqual,      // ==
    Greater,         // >
    GreaterEqual,    // >=
    ShiftRight,      // >>
    ShiftRightEqual, // >>=
    Less,            // <
    LessEqual,       // <=
    ShiftLeft,       // <<
    ShiftLeftEqual,  // <<=
    Percent,         // %
    PercentEqual,    // %=
    Minus,           // -
    MinusMinus,      // --
    MinusEqual,      // -=
    Period,          // .
    Plus,            // +
    PlusPlus,        // ++
    PlusEqual,       // +=
    Or,              // |
    OrOr,            // ||
    OrEqual,         // |=
    ParenLeft,       // (
    ParenRight,      // )
    Semicolon,       // ;
    Star,            // *
    StarEqual,       // *=
    Tilde,           // ~
    Underscore,      // _
    Xor,             // ^
    XorEqual,        // ^=
    TemplateArgsStart,  // < opening a template list
    TemplateArgsEnd,    // > closing a template list
};

struct Token {
    TokenKind kind = TokenKind::Eof;
    Span span;
};

/// Printable spelling of a token kind for diagnostics ("'>='", "identifier").
[[nodiscard]] std::string_view token_name(TokenKind kind);

/// Splits `source` into tokens (comments and blank space dropped) ending with one Eof token, and marks the
/// `<` and `>` that delimit template lists. Fails on invalid UTF-8, NUL bytes, unknown characters, unterminated
/// block comments and malformed numbers, each with its position.
[[nodiscard]] Result<std::vector<Token>> tokenize(std::string_view source);

}  // namespace trelliken::wgsl

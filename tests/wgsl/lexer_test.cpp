// Tokens, literal values and template-list disambiguation.

#include <gtest/gtest.h>

#include "wgsl/lexer/token.h"
#include "wgsl/parser/syntax.h"

namespace trelliken::wgsl {
namespace {

std::vector<TokenKind> kinds(std::string_view src) {
    auto toks = tokenize(src);
    EXPECT_TRUE(toks) << (toks ? "" : toks.error().message);
    std::vector<TokenKind> out;
    if (toks)
        for (const Token& t : *toks) out.push_back(t.kind);
    return out;
}

using K = TokenKind;

TEST(Lexer, TemplateListsAreMarked) {
    EXPECT_EQ(kinds("vec3<f32>"), (std::vector<K>{K::Ident, K::TemplateArgsStart, K::Ident, K::TemplateArgsEnd, K::Eof}));
    // Nested lists close with '>>' split in two.
    EXPECT_EQ(kinds("array<vec2<f32>>"),
              (std::vector<K>{K::Ident, K::TemplateArgsStart, K::Ident, K::TemplateArgsStart, K::Ident,
                              K::TemplateArgsEnd, K::TemplateArgsEnd, K::Eof}));
}

TEST(Lexer, ComparisonsAreNotTemplates) {
    EXPECT_EQ(kinds("a < b"), (std::vector<K>{K::Ident, K::Less, K::Ident, K::Eof}));
    EXPECT_EQ(kinds("(a < b) && (c > d)"),
              (std::vector<K>{K::ParenLeft, K::Ident, K::Less, K::Ident, K::ParenRight, K::AndAnd, K::ParenLeft,
                              K::Ident, K::Greater, K::Ident, K::ParenRight, K::Eof}));
    EXPECT_EQ(kinds("a < b || c > d"),
              (std::vector<K>{K::Ident, K::Less, K::Ident, K::OrOr, K::Ident, K::Greater, K::Ident, K::Eof}));
    EXPECT_EQ(kinds("x = a<b; y = c>d;")[3], K::Less);
    EXPECT_EQ(kinds("a << 2u")[1], K::ShiftLeft);
}

TEST(Lexer, GreaterEqualAfterTemplateIsSplit) {
    EXPECT_EQ(kinds("var<private> x: vec2<f32>= v;"),
              (std::vector<K>{K::Ident, K::TemplateArgsStart, K::Ident, K::TemplateArgsEnd, K::Ident, K::Colon,
                              K::Ident, K::TemplateArgsStart, K::Ident, K::TemplateArgsEnd, K::Equal, K::Ident,
                              K::Semicolon, K::Eof}));
}

TEST(Lexer, CommentsNest) {
    EXPECT_EQ(kinds("a /* x /* y */ z */ b // c\n d"), (std::vector<K>{K::Ident, K::Ident, K::Ident, K::Eof}));
}

TEST(Lexer, NumbersAndSuffixes) {
    EXPECT_EQ(kinds("1 1i 1u 0x1F 1.0 1f 1h 1e5 .5 1.5e-3f 0x1p4 2lf"),
              (std::vector<K>{K::IntLiteral, K::IntLiteral, K::IntLiteral, K::IntLiteral, K::FloatLiteral,
                              K::FloatLiteral, K::FloatLiteral, K::FloatLiteral, K::FloatLiteral, K::FloatLiteral,
                              K::FloatLiteral, K::FloatLiteral, K::Eof}));
}

TEST(Lexer, Errors) {
    EXPECT_FALSE(tokenize("a /* b"));
    EXPECT_FALSE(tokenize("1x"));
    EXPECT_FALSE(tokenize("0x"));
    EXPECT_FALSE(tokenize("#"));
    EXPECT_FALSE(tokenize(std::string_view("a\0b", 3)));
    EXPECT_FALSE(tokenize("\xc3"));
    EXPECT_FALSE(tokenize("\xed\xa0\x80"));  // a surrogate encoded in UTF-8
    EXPECT_TRUE(tokenize("// caf\xc3\xa9\n"));
}

TEST(Literals, Values) {
    auto v = [](std::string_view text, bool is_float) {
        auto r = parse_number(text, {}, is_float);
        EXPECT_TRUE(r) << text;
        return r ? *r : ir::Literal{};
    };
    EXPECT_EQ(v("42", false), ir::Literal::abstract_int(42));
    EXPECT_EQ(v("0xFFu", false), ir::Literal::u32(255));
    EXPECT_EQ(v("2147483647i", false), ir::Literal::i32(2147483647));
    EXPECT_EQ(v("0.1", true).f, 0.1);
    EXPECT_EQ(v("0.1f", true).f, static_cast<double>(0.1f));
    EXPECT_EQ(v("0x1.8p1", true).f, 3.0);
    EXPECT_EQ(v("1e-5h", true).kind, ir::LiteralKind::F16);
    EXPECT_EQ(v("0.1lf", true), ir::Literal::f64(0.1));
    EXPECT_FALSE(parse_number("4294967296u", {}, false));
    EXPECT_FALSE(parse_number("70000h", {}, true));
    EXPECT_FALSE(parse_number("1e999", {}, true));
}

}  // namespace
}  // namespace trelliken::wgsl

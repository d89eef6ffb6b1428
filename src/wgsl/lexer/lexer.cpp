
#include "wgsl/lexer/token.h"

namespace trelliken::wgsl {
namespace {

bool is_ident_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_ident_char(char c) { return is_ident_start(c) || (c >= '0' && c <= '9'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Offset of the first byte that breaks UTF-8, or npos. Rejecting it up front means no later phase has to care.
size_t invalid_utf8_at(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n = 0;
        uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) { n = 1; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { n = 2; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { n = 3; cp = c & 0x07; }
        else return i;
        if (i + n >= s.size()) return i;
        for (size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (d & 0x3F);
        }
        const uint32_t min = n == 1 ? 0x80 : n == 2 ? 0x800 : 0x10000;
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
        i += n + 1;
    }
    return std::string_view::npos;
}

class Lexer {
public:
    explicit Lexer(std::string_view s) : src_(s) {}

    Result<std::vector<Token>> run() {
        if (src_.size() >= UINT32_MAX) return error_at({}, "source text too large");
        if (size_t bad = invalid_utf8_at(src_); bad != std::string_view::npos)
            return error_at(span(bad, bad + 1), "invalid UTF-8");
        std::vector<Token> out;
        out.reserve(src_.size() / 3 + 1);
        while (true) {
            if (auto r = skip_blank(); !r) return std::unexpected(r.error());
            if (pos_ >= src_.size()) break;
            auto tok = next();
            if (!tok) return std::unexpected(tok.error());
            out.push_back(*tok);
        }
        out.push_back(Token{TokenKind::Eof, span(src_.size(), src_.size())});
        return out;
    }

private:
    static Span span(size_t b, size_t e) { return Span{static_cast<uint32_t>(b), static_cast<uint32_t>(e)}; }

    Result<void> skip_blank() {
        while (pos_ < src_.size()) {
            const char c = src_[pos_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '/') {
                while (pos_ < src_.size() && src_[pos_] != '\n') {
                    if (src_[pos_] == '\0') return error_at(span(pos_, pos_ + 1), "NUL byte in source");
                    ++pos_;
                }
            } else if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '*') {
                // Block comments nest in WGSL.
                const size_t start = pos_;
                size_t depth = 0;
                while (pos_ < src_.size()) {
                    if (src_[pos_] == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '*') {
                        ++depth;
                        pos_ += 2;
                    } else if (src_[pos_] == '*' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '/') {
                        pos_ += 2;
                        if (--depth == 0) break;
                    } else {
                        if (src_[pos_] == '\0') return error_at(span(pos_, pos_ + 1), "NUL byte in source");
                        ++pos_;
                    }
                }
                if (depth != 0) return error_at(span(start, start + 2), "unterminated block comment");
            } else {
                break;
            }
        }
        return {};
    }

    Result<Token> number() {
        const size_t start = pos_;
        auto at = [&](size_t i) { return i < src_.size() ? src_[i] : '\0'; };
        bool is_float = false;
        if (at(pos_) == '0' && (at(pos_ + 1) == 'x' || at(pos_ + 1) == 'X')) {
            pos_ += 2;
            size_t digits = 0;
            while (is_hex(at(pos_))) ++pos_, ++digits;
            if (at(pos_) == '.') {
                is_float = true;
                ++pos_;
                while (is_hex(at(pos_))) ++pos_, ++digits;
            }
            if (digits == 0) return error_at(span(start, pos_), "hexadecimal literal without digits");
            if (at(pos_) == 'p' || at(pos_) == 'P') {
                is_float = true;
                ++pos_;
                if (at(pos_) == '+' || at(pos_) == '-') ++pos_;
                if (!is_digit(at(pos_))) return error_at(span(start, pos_), "exponent without digits");
                while (is_digit(at(pos_))) ++pos_;
            } else if (is_float) {
                return error_at(span(start, pos_), "hexadecimal float literal needs a 'p' exponent");
            }
        } else {
            while (is_digit(at(pos_))) ++pos_;
            if (at(pos_) == '.' && !(is_ident_start(at(pos_ + 1)) && at(pos_ + 1) != 'e' && at(pos_ + 1) != 'E' &&
                                     at(pos_ + 1) != 'f' && at(pos_ + 1) != 'h')) {
                is_float = true;
                ++pos_;
                while (is_digit(at(pos_))) ++pos_;
            }
            if ((at(pos_) == 'e' || at(pos_) == 'E') &&
                (is_digit(at(pos_ + 1)) || ((at(pos_ + 1) == '+' || at(pos_ + 1) == '-') && is_digit(at(pos_ + 2))))) {
                is_float = true;
                pos_ += 2;
                while (is_digit(at(pos_))) ++pos_;
            }
        }
        // Suffixes: i, u (integers); f, h, lf (floats; f and h also turn a decimal integer into a float).
        if (at(pos_) == 'l' && at(pos_ + 1) == 'f') {
            pos_ += 2;
            is_float = true;
        } else if (at(pos_) == 'f' || at(pos_) == 'h') {
            const bool hex = src_.substr(start, 2) == "0x" || src_.substr(start, 2) == "0X";
            if (!hex || is_float) {
                ++pos_;
                is_float = true;
            }
        } else if ((at(pos_) == 'i' || at(pos_) == 'u') && !is_float) {
            ++pos_;
        }
        if (is_ident_char(at(pos_)))
            return error_at(span(start, pos_ + 1), "invalid numeric literal");
        const std::string_view text = src_.substr(start, pos_ - start);
        if (!is_float && text.size() > 1 && text[0] == '0' && is_digit(text[1]))
            return error_at(span(start, pos_), "integer literal with a leading zero");
        return Token{is_float ? TokenKind::FloatLiteral : TokenKind::IntLiteral, span(start, pos_)};
    }

    Result<Token> next() {
        const size_t start = pos_;
        const char c = src_[pos_];
        auto at = [&](size_t i) { return i < src_.size() ? src_[i] : '\0'; };
        if (c == '\0') return error_at(span(pos_, pos_ + 1), "NUL byte in source");
        if (is_digit(c) || (c == '.' && is_digit(at(pos_ + 1)))) return number();
        if (is_ident_start(c)) {
            while (pos_ < src_.size() && is_ident_char(src_[pos_])) ++pos_;
            if (pos_ - start == 1 && c == '_') return Token{TokenKind::Underscore, span(start, pos_)};
            if (pos_ - start >= 2 && src_[start] == '_' && src_[start + 1] == '_')
                return error_at(span(start, pos_), "identifiers must not start with two underscores");
            return Token{TokenKind::Ident, span(start, pos_)};
        }
        if (static_cast<unsigned char>(c) >= 0x80)
            return error_at(span(pos_, pos_ + 1), "non-ASCII character outside a comment");
        // Punctuation: longest match first, decided by the first one to three characters.
        const char c1 = at(pos_ + 1), c2 = at(pos_ + 2);
        auto tok = [&](TokenKind k, size_t n) -> Result<Token> {
            pos_ += n;
            return Token{k, span(start, pos_)};
        };
        switch (c) {
            case '&': return c1 == '&' ? tok(TokenKind::AndAnd, 2) : c1 == '=' ? tok(TokenKind::AndEqual, 2) : tok(TokenKind::And, 1);
            case '|': return c1 == '|' ? tok(TokenKind::OrOr, 2) : c1 == '=' ? tok(TokenKind::OrEqual, 2) : tok(TokenKind::Or, 1);
            case '-':
                return c1 == '>' ? tok(TokenKind::Arrow, 2) : c1 == '-' ? tok(TokenKind::MinusMinus, 2)
                       : c1 == '=' ? tok(TokenKind::MinusEqual, 2) : tok(TokenKind::Minus, 1);
            case '+': return c1 == '+' ? tok(TokenKind::PlusPlus, 2) : c1 == '=' ? tok(TokenKind::PlusEqual, 2) : tok(TokenKind::Plus, 1);
            case '/': return c1 == '=' ? tok(TokenKind::SlashEqual, 2) : tok(TokenKind::Slash, 1);
            case '*': return c1 == '=' ? tok(TokenKind::StarEqual, 2) : tok(TokenKind::Star, 1);
            case '%': return c1 == '=' ? tok(TokenKind::PercentEqual, 2) : tok(TokenKind::Percent, 1);
            case '^': return c1 == '=' ? tok(TokenKind::XorEqual, 2) : tok(TokenKind::Xor, 1);
            case '!': return c1 == '=' ? tok(TokenKind::BangEqual, 2) : tok(TokenKind::Bang, 1);
            case '=': return c1 == '=' ? tok(TokenKind::EqualEqual, 2) : tok(TokenKind::Equal, 1);
            case '>':
                if (c1 == '>') return c2 == '=' ? tok(TokenKind::ShiftRightEqual, 3) : tok(TokenKind::ShiftRight, 2);
                return c1 == '=' ? tok(TokenKind::GreaterEqual, 2) : tok(TokenKind::Greater, 1);
            case '<':
                if (c1 == '<') return c2 == '=' ? tok(TokenKind::ShiftLeftEqual, 3) : tok(TokenKind::ShiftLeft, 2);
                return c1 == '=' ? tok(TokenKind::LessEqual, 2) : tok(TokenKind::Less, 1);
            case '@': return tok(TokenKind::At, 1);
            case '[': return tok(TokenKind::BracketLeft, 1);
            case ']': return tok(TokenKind::BracketRight, 1);
            case '{': return tok(TokenKind::BraceLeft, 1);
            case '}': return tok(TokenKind::BraceRight, 1);
            case ':': return tok(TokenKind::Colon, 1);
            case ',': return tok(TokenKind::Comma, 1);
            case '.': return tok(TokenKind::Period, 1);
            case '(': return tok(TokenKind::ParenLeft, 1);
            case ')': return tok(TokenKind::ParenRight, 1);
            case ';': return tok(TokenKind::Semicolon, 1);
            case '~': return tok(TokenKind::Tilde, 1);
            default: break;
        }
        return error_at(span(pos_, pos_ + 1), std::string("unexpected character '") + c + "'");
    }

    std::string_view src_;
    size_t pos_ = 0;
};

// Marks template-list delimiters: an identifier followed by '<' opens a candidate list that a later '>' at the
// same bracket depth closes; assignment, statement and block punctuation, short-circuit operators and closing
// brackets end pending candidates. A '>' that starts '>>', '>=' or '>>=' is split when it closes a list.
void discover_templates(std::vector<Token>& toks) {
    struct Pending {
        size_t index;
        int depth;
    };
    std::vector<Pending> pending;
    int depth = 0;
    for (size_t i = 0; i < toks.size(); ++i) {
        const TokenKind k = toks[i].kind;
        if (k == TokenKind::Ident && i + 1 < toks.size() && toks[i + 1].kind == TokenKind::Less) {
            pending.push_back({i + 1, depth});
            ++i;
            continue;
        }
        switch (k) {
            case TokenKind::Greater:
            case TokenKind::ShiftRight:
            case TokenKind::GreaterEqual:
            case TokenKind::ShiftRightEqual: {
                if (!pending.empty() && pending.back().depth == depth) {
                    toks[pending.back().index].kind = TokenKind::TemplateArgsStart;
                    pending.pop_back();
                    const Span s = toks[i].span;
                    toks[i].kind = TokenKind::TemplateArgsEnd;
                    toks[i].span = Span{s.begin, s.begin + 1};
                    if (k != TokenKind::Greater) {
                        const TokenKind rest = k == TokenKind::ShiftRight     ? TokenKind::Greater
                                               : k == TokenKind::GreaterEqual ? TokenKind::Equal
                                                                              : TokenKind::GreaterEqual;
                        toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                    Token{rest, Span{s.begin + 1, s.end}});
                    }
                }
                break;
            }
            case TokenKind::ParenLeft:
            case TokenKind::BracketLeft: ++depth; break;
            case TokenKind::ParenRight:
            case TokenKind::BracketRight:
                while (!pending.empty() && pending.back().depth >= depth) pending.pop_back();
                depth = depth > 0 ? depth - 1 : 0;
                break;
            case TokenKind::Equal:
            case TokenKind::Semicolon:
            case TokenKind::BraceLeft:
            case TokenKind::BraceRight:
            case TokenKind::Colon:
                pending.clear();
                depth = 0;
                break;
            case TokenKind::AndAnd:
            case TokenKind::OrOr:
                while (!pending.empty() && pending.back().depth == depth) pending.pop_back();
                break;
            default: break;
        }
    }
}

}  // namespace

Result<std::vector<Token>> tokenize(std::string_view source) {
    auto toks = Lexer(source).run();
    if (!toks) return toks;
    discover_templates(*toks);
    return toks;
}

std::string_view token_name(TokenKind kind) {
    switch (kind) {
        case TokenKind::Eof: return "end of file";
        case TokenKind::Ident: return "identifier";
        case TokenKind::IntLiteral: return "integer literal";
        case TokenKind::FloatLiteral: return "float literal";
        case TokenKind::And: return "'&'";
        case TokenKind::AndAnd: return "'&&'";
        case TokenKind::AndEqual: return "'&='";
        case TokenKind::Arrow: return "'->'";
        case TokenKind::At: return "'@'";
        case TokenKind::Slash: return "'/'";
        case TokenKind::SlashEqual: return "'/='";
        case TokenKind::Bang: return "'!'";
        case TokenKind::BangEqual: return "'!='";
        case TokenKind::BracketLeft: return "'['";
        case TokenKind::BracketRight: return "']'";
        case TokenKind::BraceLeft: return "'{'";
        case TokenKind::BraceRight: return "'}'";
        case TokenKind::Colon: return "':'";
        case TokenKind::Comma: return "','";
        case TokenKind::Equal: return "'='";
        case TokenKind::EqualEqual: return "'=='";
        case TokenKind::Greater: return "'>'";
        case TokenKind::GreaterEqual: return "'>='";
        case TokenKind::ShiftRight: return "'>>'";
        case TokenKind::ShiftRightEqual: return "'>>='";
        case TokenKind::Less: return "'<'";
        case TokenKind::LessEqual: return "'<='";
        case TokenKind::ShiftLeft: return "'<<'";
        case TokenKind::ShiftLeftEqual: return "'<<='";
        case TokenKind::Percent: return "'%'";
        case TokenKind::PercentEqual: return "'%='";
        case TokenKind::Minus: return "'-'";
        case TokenKind::MinusMinus: return "'--'";
        case TokenKind::MinusEqual: return "'-='";
        case TokenKind::Period: return "'.'";
        case TokenKind::Plus: return "'+'";
        case TokenKind::PlusPlus: return "'++'";
        case TokenKind::PlusEqual: return "'+='";
        case TokenKind::Or: return "'|'";
        case TokenKind::OrOr: return "'||'";
        case TokenKind::OrEqual: return "'|='";
        case TokenKind::ParenLeft: return "'('";
        case TokenKind::ParenRight: return "')'";
        case TokenKind::Semicolon: return "';'";
        case TokenKind::Star: return "'*'";
        case TokenKind::StarEqual: return "'*='";
        case TokenKind::Tilde: return "'~'";
        case TokenKind::Underscore: return "'_'";
        case TokenKind::Xor: return "'^'";
        case TokenKind::XorEqual: return "'^='";
        case TokenKind::TemplateArgsStart: return "'<'";
        case TokenKind::TemplateArgsEnd: return "'>'";
    }
    return "token";
}

}  // namespace trelliken::wgsl

#pragma once
// Text to syntax tree; an internal step of parse().

#include <string_view>

#include "wgsl/common/span.h"
#include "wgsl/parser/ast.h"

namespace trelliken::wgsl {

/// Deepest nesting of expressions and statements the parser accepts; deeper text fails with a diagnostic
/// instead of exhausting the stack.
inline constexpr int kMaxNesting = 128;

/// Builds the syntax tree of a whole module. Keywords, punctuation and literal ranges are checked here;
/// names, types and meaning are left to lowering.
[[nodiscard]] Result<ast::Module> parse_syntax(std::string_view source);

/// Value of one numeric literal token (suffix included), or a diagnostic when it is out of range.
[[nodiscard]] Result<ir::Literal> parse_number(std::string_view text, Span span, bool is_float);

}  // namespace trelliken::wgsl

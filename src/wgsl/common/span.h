#pragma once
// Source positions and diagnostics shared by every phase of the translator.
//
// Positions are byte offsets into the source text; they become "line:column" text only when a diagnostic is
// rendered at the edge (the command-line tool, a caller printing an error), so the phases never count lines.

#include <cstdint>
#include "wgsl/common/expected.h"
#include <string>
#include <string_view>
#include <vector>

namespace trelliken::wgsl {

/// A half-open byte range [begin, end) of the source text. The default span is "unknown".
struct Span {
    uint32_t begin = 0;
    uint32_t end = 0;

    [[nodiscard]] constexpr bool is_known() const { return end > begin || begin != 0; }
    /// The smallest span covering both.
    [[nodiscard]] constexpr Span join(Span other) const {
        if (!is_known()) return other;
        if (!other.is_known()) return *this;
        return {begin < other.begin ? begin : other.begin, end > other.end ? end : other.end};
    }
};

/// One labelled place in the source.
struct Label {
    Span span;
    std::string text;
};

/// An error: a message and the places it talks about; the first label is the primary place.
struct Diagnostic {
    std::string message;
    std::vector<Label> labels;

    /// Primary span, or the unknown span when the diagnostic names no place.
    [[nodiscard]] Span span() const { return labels.empty() ? Span{} : labels.front().span; }
};

/// Every fallible translator function returns this; nothing throws across the translator's interface.
template <class T>
using Result = std::expected<T, Diagnostic>;

/// Builds an error value at one place.
[[nodiscard]] inline std::unexpected<Diagnostic> error_at(Span span, std::string message) {
    return std::unexpected(Diagnostic{std::move(message), {Label{span, {}}}});
}

/// 1-based line and column (column counted in bytes) of a byte offset.
struct LineColumn {
    uint32_t line = 1;
    uint32_t column = 1;
};
[[nodiscard]] LineColumn line_column(std::string_view source, uint32_t offset);

/// "line:column: message" for the primary place (just the message when it has none), one line per extra label.
[[nodiscard]] std::string render(const Diagnostic& diagnostic, std::string_view source);

}  // namespace trelliken::wgsl

#include "wgsl/common/span.h"

namespace trelliken::wgsl {

LineColumn line_column(std::string_view source, uint32_t offset) {
    LineColumn lc;
    const size_t end = offset < source.size() ? offset : source.size();
    for (size_t i = 0; i < end; ++i) {
        if (source[i] == '\n') {
            ++lc.line;
            lc.column = 1;
        } else {
            ++lc.column;
        }
    }
    return lc;
}

std::string render(const Diagnostic& diagnostic, std::string_view source) {
    std::string out;
    auto place = [&](Span span) {
        const LineColumn lc = line_column(source, span.begin);
        return std::to_string(lc.line) + ":" + std::to_string(lc.column) + ": ";
    };
    if (!diagnostic.labels.empty()) out += place(diagnostic.labels.front().span);
    out += diagnostic.message;
    for (size_t i = 1; i < diagnostic.labels.size(); ++i) {
        const Label& label = diagnostic.labels[i];
        out += "\n  " + place(label.span) + "note: " + label.text;
    }
    return out;
}

}  // namespace trelliken::wgsl

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "wgsl/common/numeric.h"
#include "wgsl/parser/syntax.h"

namespace trelliken::wgsl {

double round_to_f16(double v) {
    if (v == 0.0 || !std::isfinite(v)) return v;
    int exp = 0;
    std::frexp(v, &exp);  // v = m * 2^exp with 0.5 <= |m| < 1
    // f16 has 11 significant bits; subnormals below 2^-14 keep a fixed quantum of 2^-24.
    const int e = exp - 1 < -14 ? -14 : exp - 1;
    const double quantum = std::ldexp(1.0, e - 10);
    return std::nearbyint(v / quantum) * quantum;
}

Result<ir::Literal> parse_number(std::string_view text, Span span, bool is_float) {
    std::string_view body = text;
    std::string suffix;
    auto strip = [&](std::string_view s) {
        if (body.size() > s.size() && body.substr(body.size() - s.size()) == s) {
            body.remove_suffix(s.size());
            suffix = s;
            return true;
        }
        return false;
    };
    const bool hex = body.size() > 1 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
    if (is_float) {
        // A hex float always ends its exponent in decimal digits, so a trailing f or h is a suffix there too.
        if (!strip("lf") && !strip("f")) strip("h");
        double v = 0.0;
        std::from_chars_result r{};
        if (hex) {
            std::string_view digits = body.substr(2);
            r = std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::hex);
            if (r.ec == std::errc() && r.ptr != digits.data() + digits.size())
                return error_at(span, "malformed float literal");
        } else {
            r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
            if (r.ec == std::errc() && r.ptr != body.data() + body.size())
                return error_at(span, "malformed float literal");
        }
        if (r.ec == std::errc::result_out_of_range) {
            // Underflow to zero is fine; overflow is not. from_chars does not say which, strtod does.
            const std::string copy(body);
            const double approx = std::strtod(copy.c_str(), nullptr);
            if (std::isinf(approx) || std::fabs(approx) > 1.0) return error_at(span, "float literal out of range");
            v = 0.0;
        } else if (r.ec != std::errc()) {
            return error_at(span, "malformed float literal");
        }
        if (!std::isfinite(v)) return error_at(span, "float literal out of range");
        if (suffix == "f") {
            if (std::fabs(v) > 3.40282346638528859812e+38) return error_at(span, "f32 literal out of range");
            return ir::Literal::f32(static_cast<float>(v));
        }
        if (suffix == "h") {
            const double h = round_to_f16(v);
            if (std::fabs(h) > 65504.0) return error_at(span, "f16 literal out of range");
            return ir::Literal::f16(h);
        }
        if (suffix == "lf") return ir::Literal::f64(v);
        return ir::Literal::abstract_float(v);
    }
    if (!strip("i")) strip("u");
    uint64_t v = 0;
    std::string_view digits = hex ? body.substr(2) : body;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v, hex ? 16 : 10);
    if (r.ec == std::errc::result_out_of_range) return error_at(span, "integer literal out of range");
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size())
        return error_at(span, "malformed integer literal");
    if (suffix == "i") {
        if (v > 0x7FFFFFFFull) return error_at(span, "i32 literal out of range");
        return ir::Literal::i32(static_cast<int32_t>(v));
    }
    if (suffix == "u") {
        if (v > 0xFFFFFFFFull) return error_at(span, "u32 literal out of range");
        return ir::Literal::u32(static_cast<uint32_t>(v));
    }
    if (v > static_cast<uint64_t>(INT64_MAX)) return error_at(span, "integer literal out of range");
    return ir::Literal::abstract_int(static_cast<int64_t>(v));
}

}  // namespace trelliken::wgsl

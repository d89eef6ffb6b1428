#include "shaders/precision/downgrade.hpp"

#include <array>
#include <utility>

namespace trelliken {
namespace {

using Rule = std::pair<std::string_view, std::string_view>;

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
    out.append(text, start, at - start);
    out.append(to);
    start = at + from.size();
  }
  out.append(text, start);
  text = std::move(out);
}

bool is_number_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         c == '.';
}

// Like replace_all, but only where `literal` stands as a whole number: a plain text match would
// also hit the tail of 2.1e300 or of the hex integer 0x1e300 and leave "2.3.4028235e+38" behind.
void replace_literal(std::string& text, std::string_view literal, std::string_view to) {
  const bool signed_literal = literal.front() == '-';
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  std::size_t at = text.find(literal);
  while (at != std::string::npos) {
    const std::size_t end = at + literal.size();
    const bool joined_before = !signed_literal && at > 0 && is_number_char(text[at - 1]);
    const bool joined_after = end < text.size() && text[end] >= '0' && text[end] <= '9';
    if (joined_before || joined_after) {
      at = text.find(literal, at + 1);
      continue;
    }
    out.append(text, start, at - start);
    out.append(to);
    start = end;
    at = text.find(literal, end);
  }
  out.append(text, start);
  text = std::move(out);
}

// Library calls are named <fn>_f64(; they must survive the "f64(" conversion rule intact so that
// the last step can map them onto builtins.
constexpr std::string_view kCallPlaceholder{"\0_F64_CALL\0", 11};

constexpr std::array<Rule, 6> kTypeRules{{
    {"array<f64>", "array<f32>"},
    {"array<f64,", "array<f32,"},
    {": f64", ": f32"},
    {"-> f64", "-> f32"},
    {"f64(", "f32("},
    {"<f64>", "<f32>"},
}};

constexpr std::string_view kF32Max = "3.4028235e+38";
constexpr std::string_view kF32Lowest = "-3.4028235e+38";

// Each negative form comes before its positive form so that the sign survives.
constexpr std::array<Rule, 10> kLiteralRules{{
    {"-1.7976931348623157e+308", kF32Lowest},
    {"1.7976931348623157e+308", kF32Max},
    {"-1.0e308", kF32Lowest},
    {"1.0e308", kF32Max},
    {"-1e308", kF32Lowest},
    {"1e308", kF32Max},
    {"-1.0e300", kF32Lowest},
    {"1.0e300", kF32Max},
    {"-1e300", kF32Lowest},
    {"1e300", kF32Max},
}};

constexpr std::array<Rule, 16> kBuiltinRules{{
    {"exp_f64(", "exp("},
    {"log_f64(", "log("},
    {"pow_f64(", "pow("},
    {"sin_f64(", "sin("},
    {"cos_f64(", "cos("},
    {"tan_f64(", "tan("},
    {"asin_f64(", "asin("},
    {"acos_f64(", "acos("},
    {"atan_f64(", "atan("},
    {"atan2_f64(", "atan2("},
    {"sinh_f64(", "sinh("},
    {"cosh_f64(", "cosh("},
    {"tanh_f64(", "tanh("},
    {"sqrt_f64(", "sqrt("},
    {"abs_f64(", "abs("},
    {"erf_f64(", "erf("},
}};

}  // namespace

bool mentions_f64_types(std::string_view source) noexcept {
  for (std::string_view marker : {"array<f64>", ": f64,", ": f64;", ": f64\n", "-> f64"}) {
    if (source.find(marker) != std::string_view::npos) return true;
  }
  return false;
}

std::string downgrade_f64_to_f32(std::string_view source) {
  std::string text(source);
  replace_all(text, "enable f64;\n", "");
  replace_all(text, "enable f64;", "");
  replace_all(text, "_f64(", kCallPlaceholder);
  for (const auto& [from, to] : kTypeRules) replace_all(text, from, to);
  replace_all(text, kCallPlaceholder, "_f64(");
  for (const auto& [from, to] : kLiteralRules) replace_literal(text, from, to);
  for (const auto& [from, to] : kBuiltinRules) replace_all(text, from, to);
  return text;
}

}  // namespace trelliken

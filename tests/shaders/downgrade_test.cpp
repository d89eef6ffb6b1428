#include "shaders/precision/downgrade.hpp"

#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace trelliken {
namespace {

struct MentionCase {
  std::string_view name;
  std::string_view source;
  bool expected;
};

void PrintTo(const MentionCase& c, std::ostream* os) { *os << c.name; }

class MentionsF64Types : public ::testing::TestWithParam<MentionCase> {};

TEST_P(MentionsF64Types, Decides) {
  EXPECT_EQ(mentions_f64_types(GetParam().source), GetParam().expected) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MentionsF64Types,
    ::testing::Values(
        MentionCase{"StorageArray",
                    "@group(0) @binding(0) var<storage, read> a: array<f64>;", true},
        MentionCase{"ParameterThenComma", "fn f(x: f64, y: u32) {}", true},
        MentionCase{"ParameterThenSemicolon", "var acc: f64;", true},
        MentionCase{"ParameterThenLineFeed", "struct P {\n  x: f64\n}", true},
        MentionCase{"Result", "fn f(x: u32) -> f64 { return 0.0; }", true},
        MentionCase{"ConversionOnly", "let x = f64(1.0);", false},
        MentionCase{"PlainF32", "var<storage> a: array<f32>;\nfn f(x: f32) -> f32 { return x; }",
                    false},
        MentionCase{"Empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct DowngradeCase {
  std::string_view name;
  std::string_view source;
  std::string_view expected;
};

void PrintTo(const DowngradeCase& c, std::ostream* os) { *os << c.name; }

class DowngradeF64ToF32 : public ::testing::TestWithParam<DowngradeCase> {};

TEST_P(DowngradeF64ToF32, Rewrites) {
  EXPECT_EQ(downgrade_f64_to_f32(GetParam().source), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DowngradeF64ToF32,
    ::testing::Values(
        DowngradeCase{"EnableLineRemoved", "enable f64;\nvar<private> x: f64;\n",
                      "var<private> x: f32;\n"},
        DowngradeCase{"EnableWithoutLineFeedRemoved", "enable f64;", ""},
        DowngradeCase{"MaxLiteralClamped", "var m: f64 = 1.7976931348623157e+308;",
                      "var m: f32 = 3.4028235e+38;"},
        DowngradeCase{"NegativeMaxKeepsSign", "let m = -1.7976931348623157e+308;",
                      "let m = -3.4028235e+38;"},
        DowngradeCase{"LibraryCallBecomesBuiltin", "let y = exp_f64(x);", "let y = exp(x);"},
        DowngradeCase{"NegativeShortLiteral", "let lo = -1e300;", "let lo = -3.4028235e+38;"},
        DowngradeCase{"AllLiteralForms",
                      "-1.0e308 1.0e308 -1e308 1e308 -1.0e300 1.0e300 -1e300 1e300",
                      "-3.4028235e+38 3.4028235e+38 -3.4028235e+38 3.4028235e+38 "
                      "-3.4028235e+38 3.4028235e+38 -3.4028235e+38 3.4028235e+38"},
        DowngradeCase{"SubtractionOfLiteral", "x-1e300", "x-3.4028235e+38"},
        // Only whole literals are clamped; digits of other numbers are left as they are.
        DowngradeCase{"LiteralTailsUntouched", "2.1e300 0x1e300 1e3001 v1e308",
                      "2.1e300 0x1e300 1e3001 v1e308"},
        DowngradeCase{"ArrayTypes",
                      "var<storage> a: array<f64>; var<private> b: array<f64, 4>;",
                      "var<storage> a: array<f32>; var<private> b: array<f32, 4>;"},
        DowngradeCase{"ResultAndConversion", "fn f() -> f64 { return f64(1); }",
                      "fn f() -> f32 { return f32(1); }"},
        DowngradeCase{"VectorType", "let v = vec2<f64>(0.0, 1.0);",
                      "let v = vec2<f32>(0.0, 1.0);"},
        DowngradeCase{"UnknownLibraryCallKeepsName", "let y = gamma_f64(x);",
                      "let y = gamma_f64(x);"},
        DowngradeCase{"EveryBuiltin",
                      "exp_f64(a) log_f64(a) pow_f64(a, b) sin_f64(a) cos_f64(a) tan_f64(a) "
                      "asin_f64(a) acos_f64(a) atan_f64(a) atan2_f64(a, b) sinh_f64(a) "
                      "cosh_f64(a) tanh_f64(a) sqrt_f64(a) abs_f64(a) erf_f64(a)",
                      "exp(a) log(a) pow(a, b) sin(a) cos(a) tan(a) asin(a) acos(a) atan(a) "
                      "atan2(a, b) sinh(a) cosh(a) tanh(a) sqrt(a) abs(a) erf(a)"},
        DowngradeCase{"LibraryDefinitionRenamed", "fn erf_f64(x: f64) -> f64 { return x; }",
                      "fn erf(x: f32) -> f32 { return x; }"},
        DowngradeCase{"NoF64Unchanged", "fn f(x: f32) -> f32 { return x * 2.0; }",
                      "fn f(x: f32) -> f32 { return x * 2.0; }"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DowngradeF64ToF32, ResultNoLongerMentionsF64Types) {
  const std::string source =
      "enable f64;\n"
      "@group(0) @binding(0) var<storage, read> a: array<f64>;\n"
      "@group(0) @binding(1) var<storage, read_write> out: array<f64>;\n"
      "fn scale(x: f64, k: f64) -> f64 { return x * k; }\n"
      "@compute @workgroup_size(64)\n"
      "fn main(@builtin(global_invocation_id) id: vec3<u32>) {\n"
      "  var best: f64 = -1.7976931348623157e+308;\n"
      "  best = max(best, sqrt_f64(abs_f64(a[id.x])));\n"
      "  out[id.x] = scale(best, f64(2));\n"
      "}\n";
  ASSERT_TRUE(mentions_f64_types(source));
  const std::string downgraded = downgrade_f64_to_f32(source);
  EXPECT_FALSE(mentions_f64_types(downgraded)) << downgraded;
  EXPECT_EQ(downgraded.find("f64"), std::string::npos) << downgraded;
  EXPECT_EQ(downgrade_f64_to_f32(downgraded), downgraded);
}

}  // namespace
}  // namespace trelliken

// A table of invalid shaders: each is rejected with the expected message fragment at the expected place.

#include <gtest/gtest.h>

#include "test_util.h"

namespace trelliken::wgsl {
namespace {

struct Case {
    const char* name;
    std::string source;
    const char* position;  // "line:column"
    const char* fragment;
};

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::vector<Case> cases() {
    return {
        {"unterminated_comment", "fn f() {}\n/* never closed", "2:1", "unterminated block comment"},
        {"unterminated_block", "fn f() {\n  let x = 1;\n", "1:8", "unterminated block"},
        {"nul_byte", std::string("fn f() {}\0", 10), "1:10", "NUL byte"},
        {"invalid_utf8", "fn f() {} // \xff\n", "1:14", "invalid UTF-8"},
        {"huge_literal", "const x = 99999999999999999999;", "1:11", "integer literal out of range"},
        {"i32_range", "const x = 3000000000i;", "1:11", "i32 literal out of range"},
        {"f32_range", "const x = 1e40f;", "1:11", "f32 literal out of range"},
        {"leading_zero", "const x = 012;", "1:11", "leading zero"},
        {"bad_character", "fn f() { let x = 1 $ 2; }", "1:20", "unexpected character '$'"},
        {"deep_nesting", "fn f() { let x = " + repeat("(", 300) + "1" + repeat(")", 300) + "; }", "1:81",
         "nesting too deep"},
        {"deep_blocks", "fn f() " + repeat("{", 500) + repeat("}", 500), "1:", "nesting too deep"},
        {"long_chain", "fn f() -> f32 { return 1.0" + repeat(" + 1.0", 3000) + "; }", "1:", "expression too long"},
        {"cut_text", "fn main() { let x = vec3<f32>(1.0,", "1:35", "expected an expression, found end of file"},
        {"missing_operand", "fn f() {\n  let x = 1 +;\n}", "2:14", "expected an expression"},
        {"unknown_name", "fn f() -> f32 {\n  return y;\n}", "2:10", "unknown name 'y'"},
        {"let_type_mismatch", "fn f() {\n  let x: u32 = 1.5;\n}", "2:16", "as initialiser of type u32"},
        {"assign_to_let", "fn f() {\n  let x = 1;\n  x = 2;\n}", "3:3", "must be a reference"},
        {"recursion", "fn a() { b(); }\nfn b() { a(); }", "1:4", "recursion is not allowed"},
        {"self_recursion", "fn a() -> i32 { return a(); }", "1:4", "recursion is not allowed"},
        {"no_workgroup_size", "@compute\nfn main() {}", "2:4", "needs @workgroup_size"},
        {"workgroup_size_zero", "@compute @workgroup_size(0)\nfn main() {}", "1:26", "workgroup size must be"},
        {"break_outside_loop", "@compute @workgroup_size(1)\nfn main() {\n  break;\n}", "3:3",
         "'break' outside a loop or switch"},
        {"continue_in_switch", "fn f(x: i32) {\n  switch x {\n    default: { continue; }\n  }\n}", "3:16",
         "'continue' outside a loop body"},
        {"return_type", "fn f() -> u32 {\n  return 1.5;\n}", "2:10", "as return value of type u32"},
        {"missing_return", "fn f() -> i32 {\n  if true { return 1; }\n}", "1:4", "must return a value on every path"},
        {"read_only_storage", "@group(0) @binding(0) var<storage, read> a: array<f32>;\nfn f() {\n  a[0] = 1.0;\n}",
         "3:3", "read-only storage"},
        {"duplicate_declaration", "const a = 1;\nconst a = 2;", "2:7", "'a' is already declared"},
        {"switch_without_default", "fn f(x: i32) {\n  switch x {\n    case 1: {}\n  }\n}", "2:3",
         "needs a default"},
        {"constant_index_out_of_bounds", "fn f() {\n  let v = vec3<f32>(1.0);\n  let y = v[3];\n}", "3:13",
         "out of bounds"},
        {"argument_count", "fn g(a: i32) {}\nfn f() {\n  g(1, 2);\n}", "3:3", "takes 1 arguments, found 2"},
        {"argument_type", "fn g(a: i32) {}\nfn f() {\n  g(1u);\n}", "3:5", "argument of type i32"},
        {"atomic_without_load", "var<workgroup> c: atomic<u32>;\nfn f() -> u32 {\n  return c;\n}", "3:10",
         "atomicLoad"},
        {"division_by_zero", "const x = 1 / 0;", "1:11", "division by zero"},
        {"shift_out_of_range", "const x = 1u << 40u;", "1:11", "shift amount out of range"},
        {"const_assert", "const_assert 1 > 2;", "1:1", "const_assert failed"},
        {"vector_components", "fn f() {\n  let v = vec3<f32>(1.0, 2.0);\n}", "2:11", "needs 3 components, found 2"},
        {"missing_binding", "var<storage> a: array<f32>;", "1:14", "need @group and @binding"},
        {"private_runtime_array", "var<private> a: array<f32>;", "1:14", "runtime-sized arrays"},
        {"fragment_builtin", "@compute @workgroup_size(1)\nfn main(@builtin(position) p: vec4<f32>) {}", "2:9",
         "non-compute builtin 'position'"},
        {"builtin_type", "@compute @workgroup_size(1)\nfn main(@builtin(global_invocation_id) p: u32) {}", "2:4",
         "must be vec3<u32>"},
        {"non_bool_condition", "fn f() {\n  if 1 { }\n}", "2:6", "condition of type bool"},
        {"call_entry_point", "@compute @workgroup_size(1)\nfn main() {}\nfn f() { main(); }", "3:10",
         "entry point 'main' cannot be called"},
        {"mixed_operands", "fn f() {\n  let x = 1u + 1i;\n}", "2:11", "no operator for u32 and i32"},
        {"f64_override", "override x: f64;", "1:10", "must be bool, i32, u32, f32 or f16"},
        {"unknown_attribute", "@fancy fn f() {}", "1:1", "unknown attribute '@fancy'"},
        {"unknown_name_in_assignment", "fn f() {\n  var x: i32;\n  x = y;\n}", "3:7", "unknown name 'y'"},
        {"break_if_not_last", "fn f() {\n  loop {\n    continuing {\n      break if true;\n      let x = 1;\n    }\n  }\n}",
         "5:7", "must be the last statement"},
        {"discard", "fn f() {\n  discard;\n}", "2:3", "not allowed in compute shaders"},
        {"unknown_function", "fn f() {\n  let x = frobnicate(1);\n}", "2:11", "unknown function 'frobnicate'"},
        {"struct_member", "struct S { a: f32 }\nfn f(s: S) -> f32 {\n  return s.b;\n}", "3:10", "has no member 'b'"},
        {"bad_swizzle", "fn f(v: vec2<f32>) -> f32 {\n  return v.z;\n}", "2:10", "invalid swizzle"},
        {"double_underscore", "fn __f() {}", "1:4", "two underscores"},
    };
}

class Invalid : public ::testing::TestWithParam<Case> {};

TEST_P(Invalid, IsRejectedAtThePlace) {
    const Case& c = GetParam();
    auto t = testing::translate(c.source);
    ASSERT_FALSE(t.ok) << "accepted:\n" << t.text;
    EXPECT_NE(t.error.find(c.fragment), std::string::npos) << t.error;
    EXPECT_EQ(t.error.rfind(c.position, 0), 0u) << "expected position " << c.position << ", got: " << t.error;
}

INSTANTIATE_TEST_SUITE_P(Table, Invalid, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(Invalid, F64NeedsTheCapability) {
    const std::string src = "fn f(x: f64) -> f64 { return x * 2.0; }";
    auto m = parse(src);
    ASSERT_TRUE(m);
    auto denied = validate(*m, Capabilities{false, true});
    ASSERT_FALSE(denied);
    EXPECT_NE(denied.error().message.find("f64"), std::string::npos) << denied.error().message;
    EXPECT_TRUE(validate(*m, Capabilities{true, false}));
}

TEST(Invalid, F16NeedsTheCapability) {
    const std::string src = "enable f16;\nfn f(x: f16) -> f16 { return x * 2.0h; }";
    auto m = parse(src);
    ASSERT_TRUE(m);
    auto denied = validate(*m, Capabilities{true, false});
    ASSERT_FALSE(denied);
    EXPECT_NE(denied.error().message.find("f16"), std::string::npos) << denied.error().message;
    EXPECT_TRUE(validate(*m, Capabilities{false, true}));
}

}  // namespace
}  // namespace trelliken::wgsl

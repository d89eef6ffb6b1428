// What parsing produces: folded constants at full precision, Emit structure, references and loads.

#include <gtest/gtest.h>

#include "test_util.h"

namespace trelliken::wgsl {
namespace {

// The literals of the first function (or entry point) of a module, in arena order.
std::vector<ir::Literal> literals(const ir::Function& f) {
    std::vector<ir::Literal> out;
    for (const auto& e : f.expressions.items())
        if (auto* l = e.as<ir::expr::Literal>()) out.push_back(*l);
    return out;
}

const ir::Function& first_function(const ir::Module& m) {
    return m.functions.empty() ? m.entry_points.at(0).function : m.functions[m.functions.handle(0)];
}

TEST(Lowering, AbstractFloatsKeepDoublePrecisionInF64) {
    auto m = parse("fn f() -> f64 { let x: f64 = 0.1 + 0.2; return x; }");
    ASSERT_TRUE(m) << m.error().message;
    const auto lits = literals(first_function(*m));
    ASSERT_EQ(lits.size(), 1u);
    EXPECT_EQ(lits[0].kind, ir::LiteralKind::F64);
    EXPECT_EQ(lits[0].f, 0.1 + 0.2);
}

TEST(Lowering, AbstractFloatsRoundToF32) {
    auto m = parse("const PI = 3.14159265358979323846;\nfn f() -> f32 { return PI; }\nfn g() -> f64 { return PI; }");
    ASSERT_TRUE(m) << m.error().message;
    EXPECT_EQ(literals(m->functions[m->functions.handle(0)]).at(0).f, static_cast<double>(3.14159265358979323846f));
    EXPECT_EQ(literals(m->functions[m->functions.handle(1)]).at(0).f, 3.14159265358979323846);
    EXPECT_TRUE(m->constants.empty()) << "an abstract const is folded into its uses";
}

TEST(Lowering, TypedConstantsStayNamed) {
    auto m = parse("const N: u32 = 4u;\n@group(0) @binding(0) var<storage, read_write> b: array<u32>;\n"
                   "@compute @workgroup_size(N) fn main(@builtin(global_invocation_id) g: vec3<u32>) { b[g.x] = g.x * N; }");
    ASSERT_TRUE(m) << m.error().message;
    ASSERT_EQ(m->constants.size(), 1u);
    EXPECT_EQ(m->entry_points.at(0).workgroup_size[0], 4u);
    bool uses_constant = false;
    for (const auto& e : m->entry_points[0].function.expressions.items()) uses_constant |= e.is<ir::expr::Constant>();
    EXPECT_TRUE(uses_constant);
}

TEST(Lowering, EmitCoversExpressionsBeforeTheirStatement) {
    auto m = parse("fn f(a: f32, b: f32) -> f32 { return a * b + 1.0; }");
    ASSERT_TRUE(m);
    const ir::Function& f = first_function(*m);
    ASSERT_EQ(f.body.size(), 2u);
    const auto* emit = f.body.statements[0].as<ir::stmt::Emit>();
    ASSERT_NE(emit, nullptr);
    const auto* ret = f.body.statements[1].as<ir::stmt::Return>();
    ASSERT_NE(ret, nullptr);
    ASSERT_TRUE(ret->value);
    EXPECT_TRUE(emit->range.contains(*ret->value));
    const auto* add = f.expressions[*ret->value].as<ir::expr::Binary>();
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->op, ir::BinaryOperator::Add);
    EXPECT_TRUE(f.expressions[add->left].is<ir::expr::Binary>());
}

TEST(Lowering, VariablesArePointersWithLoadsAndStores) {
    auto m = parse("fn f() -> i32 { var x = 1; x += 2; return x; }");
    ASSERT_TRUE(m);
    const ir::Function& f = first_function(*m);
    ASSERT_EQ(f.local_variables.size(), 1u);
    int loads = 0, stores = 0;
    for (const auto& e : f.expressions.items()) loads += e.is<ir::expr::Load>();
    for (const auto& s : f.body.statements) stores += s.is<ir::stmt::Store>();
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(stores, 2);
}

TEST(Lowering, CallsAndAtomicsProduceResultsAtTheirStatement) {
    auto m = parse("var<workgroup> c: atomic<u32>;\nfn g() -> u32 { return 1u; }\n"
                   "@compute @workgroup_size(1) fn main() { let a = atomicAdd(&c, g()); }");
    ASSERT_TRUE(m) << m.error().message;
    const ir::Function& f = m->entry_points.at(0).function;
    std::vector<std::string> kinds;
    for (const auto& s : f.body.statements)
        kinds.push_back(s.is<ir::stmt::Call>() ? "call" : s.is<ir::stmt::Atomic>() ? "atomic" : s.is<ir::stmt::Emit>() ? "emit" : "other");
    EXPECT_EQ(kinds, (std::vector<std::string>{"call", "atomic"}));
    const auto& call = *f.body.statements[0].as<ir::stmt::Call>();
    ASSERT_TRUE(call.result);
    EXPECT_TRUE(f.expressions[*call.result].is<ir::expr::CallResult>());
}

TEST(Lowering, FunctionsAreStoredCalleesFirst) {
    auto m = parse("fn a() -> i32 { return b() + c(); }\nfn b() -> i32 { return c(); }\nfn c() -> i32 { return 1; }");
    ASSERT_TRUE(m);
    std::vector<std::string> names;
    for (const auto& f : m->functions.items()) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"c", "b", "a"}));
}

TEST(Lowering, ShortCircuitOperatorsAndSelect) {
    auto t = testing::translate("fn f(a: bool, b: bool, x: f32) -> f32 { return select(1.0, x, a && !b || b); }");
    ASSERT_TRUE(t.ok) << t.error;
    EXPECT_NE(t.text.find("select(1f, x, ((a && !b) || b))"), std::string::npos) << t.text;
}

TEST(Writer, EscapesReservedNames) {
    // A struct member and a local named with words reserved by WGSL come from IR built by other producers.
    auto m = parse("fn f() -> f32 { var v: f32 = 1.0; return v; }");
    ASSERT_TRUE(m);
    ir::Function& f = m->functions[m->functions.handle(0)];
    f.name = "sample";  // not reserved
    f.local_variables[f.local_variables.handle(0)].name = "loop";
    m->functions[m->functions.handle(0)].name = "max";
    auto info = validate(*m);
    ASSERT_TRUE(info);
    auto out = write_wgsl(*m, *info);
    ASSERT_TRUE(out);
    EXPECT_NE(out->find("fn max_()"), std::string::npos) << *out;
    EXPECT_NE(out->find("var loop_: f32;"), std::string::npos) << *out;
    auto again = testing::translate(*out);
    EXPECT_TRUE(again.ok) << again.error;
}

TEST(Writer, EntryPointWithReservedNameGetsSuffix) {
    auto t = testing::translate("@compute @workgroup_size(1) fn main() {}");
    ASSERT_TRUE(t.ok);
    auto m = parse("@compute @workgroup_size(1) fn main() {}");
    m->entry_points[0].name = "sin";
    auto info = validate(*m);
    auto out = write_wgsl(*m, *info);
    ASSERT_TRUE(out);
    EXPECT_NE(out->find("fn sin_("), std::string::npos) << *out;
}

}  // namespace
}  // namespace trelliken::wgsl

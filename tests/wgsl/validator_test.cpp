// The validator on IR built in code: the IR's own rules and the type tables it hands to writers.

#include <gtest/gtest.h>

#include "test_util.h"
#include "wgsl/common/layout.h"

namespace trelliken::wgsl {
namespace {

using namespace ir;

struct Builder {
    Module m;
    TypeInterner types{m.types};
    Handle<Type> f32 = types.intern(type::Scalar{Scalar::f32()});
    Handle<Type> u32 = types.intern(type::Scalar{Scalar::u32()});

    // fn f(a: f32, b: f32) -> f32 { return a * b + a; }
    Function fma_candidate() {
        Function f;
        f.name = "f";
        f.arguments = {{"a", f32, std::nullopt}, {"b", f32, std::nullopt}};
        f.result = FunctionResult{f32, std::nullopt};
        auto a = f.expressions.append(expr::FunctionArgument{0});
        auto b = f.expressions.append(expr::FunctionArgument{1});
        auto mul = f.expressions.append(expr::Binary{BinaryOperator::Multiply, a, b});
        auto add = f.expressions.append(expr::Binary{BinaryOperator::Add, mul, a});
        f.body.push(stmt::Emit{{mul.index, add.index + 1}}, {});
        f.body.push(stmt::Return{add}, {});
        return f;
    }
};

std::string error_of(const Module& m, Capabilities caps = Capabilities::all()) {
    auto r = validate(m, caps);
    return r ? std::string() : r.error().message;
}

TEST(Validator, AcceptsCodeBuiltIrAndTypesEveryExpression) {
    Builder b;
    b.m.functions.append(b.fma_candidate());
    auto info = validate(b.m);
    ASSERT_TRUE(info) << info.error().message;
    ASSERT_EQ(info->functions.size(), 1u);
    const FunctionInfo& fi = info->functions[0];
    ASSERT_EQ(fi.expression_types.size(), 4u);
    for (auto h : fi.expression_types) EXPECT_EQ(info->types[h].inner, TypeInner(type::Scalar{Scalar::f32()}));
    EXPECT_EQ(fi.use_counts[2], 1u);  // the product feeds the sum only
    EXPECT_EQ(fi.use_counts[3], 1u);  // the sum is returned
}

TEST(Validator, RejectsForwardReferences) {
    Builder b;
    Function f = b.fma_candidate();
    f.expressions[Handle<Expression>(2)] = expr::Binary{BinaryOperator::Multiply, Handle<Expression>(3), Handle<Expression>(1)};
    b.m.functions.append(std::move(f));
    EXPECT_NE(error_of(b.m).find("refers to a later expression"), std::string::npos) << error_of(b.m);
}

TEST(Validator, RejectsUseBeforeEmit) {
    Builder b;
    Function f = b.fma_candidate();
    f.body.statements.erase(f.body.statements.begin());
    f.body.spans.erase(f.body.spans.begin());
    b.m.functions.append(std::move(f));
    EXPECT_NE(error_of(b.m).find("used before it is emitted"), std::string::npos) << error_of(b.m);
}

TEST(Validator, RejectsEmittingTwice) {
    Builder b;
    Function f = b.fma_candidate();
    f.body.statements.insert(f.body.statements.begin(), stmt::Emit{{2, 3}});
    f.body.spans.insert(f.body.spans.begin(), Span{});
    b.m.functions.append(std::move(f));
    EXPECT_NE(error_of(b.m).find("emitted twice"), std::string::npos) << error_of(b.m);
}

TEST(Validator, RejectsMismatchedOperands) {
    Builder b;
    Function f = b.fma_candidate();
    auto one = f.expressions.append(Literal::u32(1));
    (void)one;
    f.expressions[Handle<Expression>(3)] = expr::Binary{BinaryOperator::Add, Handle<Expression>(2), Handle<Expression>(4)};
    b.m.functions.append(std::move(f));
    EXPECT_NE(error_of(b.m).find("refers to a later expression"), std::string::npos) << error_of(b.m);
}

TEST(Validator, RejectsWrongReturnType) {
    Builder b;
    Function f = b.fma_candidate();
    f.result = FunctionResult{b.u32, std::nullopt};
    b.m.functions.append(std::move(f));
    EXPECT_NE(error_of(b.m).find("returned f32, expected u32"), std::string::npos) << error_of(b.m);
}

TEST(Validator, RejectsCallsToLaterFunctions) {
    Builder b;
    Function caller;
    caller.name = "caller";
    caller.body.push(stmt::Call{Handle<Function>(0), {}, std::nullopt}, {});
    b.m.functions.append(std::move(caller));
    EXPECT_NE(error_of(b.m).find("recursion is not allowed"), std::string::npos) << error_of(b.m);
}

TEST(Validator, RejectsBadStructLayout) {
    Builder b;
    type::Struct s;
    s.members.push_back({"a", b.f32, std::nullopt, 0, std::nullopt, std::nullopt});
    s.members.push_back({"b", b.f32, std::nullopt, 2, std::nullopt, std::nullopt});
    s.span = 8;
    b.types.add_struct("S", s);
    EXPECT_NE(error_of(b.m).find("has offset 2, layout rules give 4"), std::string::npos) << error_of(b.m);
}

TEST(Validator, CapabilitiesCoverLiterals) {
    Builder b;
    Function f;
    f.name = "f";
    f.expressions.append(Literal::f64(1.0));
    b.m.functions.append(std::move(f));
    EXPECT_NE(error_of(b.m, Capabilities{}).find("f64"), std::string::npos);
    EXPECT_EQ(error_of(b.m, Capabilities{true, false}), "");
}

TEST(Validator, StorageAtomicsNeedReadWrite) {
    auto m = parse("@group(0) @binding(0) var<storage> c: atomic<u32>;");
    ASSERT_TRUE(m) << m.error().message;
    EXPECT_NE(error_of(*m).find("atomics need read_write access"), std::string::npos) << error_of(*m);
}

TEST(Validator, DuplicateBindings) {
    auto m = parse("@group(0) @binding(0) var<storage> a: array<f32>;\n@group(0) @binding(0) var<storage> b: array<f32>;");
    ASSERT_TRUE(m) << m.error().message;
    EXPECT_NE(error_of(*m).find("is used twice"), std::string::npos) << error_of(*m);
}

TEST(Validator, PointerResultsAreInterned) {
    auto m = parse("struct S { a: f32, b: vec2<f32> }\n@group(0) @binding(0) var<storage, read_write> s: S;\n"
                   "@compute @workgroup_size(1) fn main() { s.b.y = s.a; }");
    ASSERT_TRUE(m) << m.error().message;
    auto info = validate(*m);
    ASSERT_TRUE(info) << info.error().message;
    EXPECT_GE(info->types.size(), m->types.size());
    const FunctionInfo& fi = info->entry_points.at(0);
    bool found = false;
    for (uint32_t i = 0; i < fi.expression_types.size(); ++i) {
        if (auto* p = std::get_if<type::Pointer>(&info->types[fi.expression_types[i]].inner)) {
            if (info->types[p->base].inner == TypeInner(type::Scalar{Scalar::f32()}) && p->space == AddressSpace::Storage)
                found = true;
        }
    }
    EXPECT_TRUE(found) << "a pointer to an f32 member or component has its own type";
}

}  // namespace
}  // namespace trelliken::wgsl

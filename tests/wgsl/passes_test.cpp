// IR passes rewrite expressions in place (multiply-add fusion, clearing dead expressions); the validator and the
// writer must accept what they leave behind: products referenced by nothing, dead slots holding 0i.

#include <gtest/gtest.h>

#include "test_util.h"

namespace trelliken::wgsl {
namespace {

using namespace ir;

// Add(Multiply(a, b), c) with a product used once becomes Math(Fma, a, b, c), in place.
int fuse(Function& f, const ModuleInfo& info, const FunctionInfo& fi) {
    std::vector<uint32_t> uses(f.expressions.size(), 0);
    for (const auto& e : f.expressions.items()) for_each_operand(e, [&](Handle<Expression> h) { ++uses[h.index]; });
    std::vector<std::pair<Handle<Expression>, Expression>> repl;
    for (uint32_t i = 0; i < f.expressions.size(); ++i) {
        const auto* add = f.expressions[Handle<Expression>(i)].as<expr::Binary>();
        if (!add || add->op != BinaryOperator::Add) continue;
        for (auto [x, y] : {std::pair{add->left, add->right}, std::pair{add->right, add->left}}) {
            const auto* mul = f.expressions[x].as<expr::Binary>();
            const auto* t = std::get_if<type::Scalar>(&info.type_of(fi, x));
            const bool is_float = t && t->scalar.kind == ScalarKind::Float;
            if (mul && mul->op == BinaryOperator::Multiply && uses[x.index] == 1 && is_float) {
                repl.push_back({Handle<Expression>(i), expr::Math{MathFunction::Fma, mul->left, mul->right, y, std::nullopt}});
                break;
            }
        }
    }
    for (auto& [h, e] : repl) f.expressions[h] = e;
    return static_cast<int>(repl.size());
}

void mark_live(const Block& b, std::vector<bool>& live) {
    for (const auto& s : b.statements) {
        if (auto* e = s.as<stmt::Emit>())
            for (uint32_t i = e->range.first; i < e->range.end; ++i) live[i] = true;
        if (auto* x = s.as<stmt::Block>()) mark_live(x->block, live);
        if (auto* x = s.as<stmt::If>()) {
            live[x->condition.index] = true;
            mark_live(x->accept, live);
            mark_live(x->reject, live);
        }
        if (auto* x = s.as<stmt::Loop>()) {
            mark_live(x->body, live);
            mark_live(x->continuing, live);
            if (x->break_if) live[x->break_if->index] = true;
        }
        if (auto* x = s.as<stmt::Switch>()) {
            live[x->selector.index] = true;
            for (const auto& c : x->cases) mark_live(c.body, live);
        }
        if (auto* x = s.as<stmt::Return>(); x && x->value) live[x->value->index] = true;
        if (auto* x = s.as<stmt::Store>()) live[x->pointer.index] = live[x->value.index] = true;
        if (auto* x = s.as<stmt::Call>()) {
            for (auto a : x->arguments) live[a.index] = true;
            if (x->result) live[x->result->index] = true;
        }
        if (auto* x = s.as<stmt::Atomic>()) {
            live[x->pointer.index] = live[x->value.index] = true;
            if (x->compare) live[x->compare->index] = true;
            if (x->result) live[x->result->index] = true;
        }
    }
}

int clear_dead(Function& f) {
    std::vector<bool> live(f.expressions.size(), false);
    mark_live(f.body, live);
    for (uint32_t i = f.expressions.size(); i-- > 0;) {
        const Expression& e = f.expressions[Handle<Expression>(i)];
        if (!needs_emit(e)) live[i] = true;
        if (live[i]) for_each_operand(e, [&](Handle<Expression> h) { live[h.index] = true; });
    }
    int n = 0;
    for (uint32_t i = 0; i < f.expressions.size(); ++i) {
        Expression& e = f.expressions[Handle<Expression>(i)];
        if (!live[i] && !(e.is<expr::Literal>() && *e.as<expr::Literal>() == Literal::i32(0))) {
            e = Literal::i32(0);
            ++n;
        }
    }
    return n;
}

std::string run_passes(const std::string& source, int* fused = nullptr) {
    auto m = parse(source);
    EXPECT_TRUE(m) << (m ? "" : m.error().message);
    if (!m) return {};
    auto before = validate(*m);
    EXPECT_TRUE(before);
    if (!before) return {};
    int n = 0;
    for (uint32_t i = 0; i < m->functions.size(); ++i)
        n += fuse(m->functions[m->functions.handle(i)], *before, before->functions[i]);
    for (size_t i = 0; i < m->entry_points.size(); ++i)
        n += fuse(m->entry_points[i].function, *before, before->entry_points[i]);
    for (auto& f : m->functions.items()) clear_dead(f);
    for (auto& ep : m->entry_points) clear_dead(ep.function);
    if (fused) *fused = n;
    auto info = validate(*m);
    EXPECT_TRUE(info) << (info ? "" : info.error().message);
    if (!info) return {};
    auto out = write_wgsl(*m, *info);
    EXPECT_TRUE(out) << (out ? "" : out.error().message);
    return out ? *out : std::string();
}

TEST(Passes, FusedProductIsWrittenAsFma) {
    int fused = 0;
    const std::string out = run_passes(
        "@group(0) @binding(0) var<storage, read_write> o: array<f32>;\n"
        "@compute @workgroup_size(1) fn main() { let a = o[0]; let b = o[1]; o[2] = a * b + o[3]; o[4] = o[5] + a * b; }",
        &fused);
    EXPECT_EQ(fused, 2);
    EXPECT_NE(out.find("fma(a, b, "), std::string::npos) << out;
    auto again = testing::translate(out);
    ASSERT_TRUE(again.ok) << again.error << "\n" << out;
    EXPECT_EQ(again.text, out);
}

TEST(Passes, EveryCorpusShaderSurvivesThePasses) {
    for (const auto& path : testing::corpus_files()) {
        const std::string out = run_passes(testing::read_file(path));
        ASSERT_FALSE(out.empty()) << path;
        auto again = testing::translate(out);
        EXPECT_TRUE(again.ok) << path << ": " << again.error << "\n" << out;
    }
}

TEST(Passes, DeadExpressionsBecomeZeroLiterals) {
    auto m = parse("fn f(x: f32) -> f32 { let unused = x * 3.0; return x; }");
    ASSERT_TRUE(m);
    Function& f = m->functions[m->functions.handle(0)];
    // Remove the let's Emit so the product is dead.
    f.body.statements.erase(f.body.statements.begin());
    f.body.spans.erase(f.body.spans.begin());
    f.named_expressions.clear();
    EXPECT_GE(clear_dead(f), 1);
    auto info = validate(*m);
    ASSERT_TRUE(info) << info.error().message;
    auto out = write_wgsl(*m, *info);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->find("3f"), std::string::npos) << *out;
}

}  // namespace
}  // namespace trelliken::wgsl

// The SPIR-V writer on IR built in code, so it is checked independently of the parser: every module must pass
// spirv-val, and the small kernels must compute on lavapipe what the host computes.

#include <gtest/gtest.h>

#include <numeric>

#include "runner/vulkan_runner.hpp"
#include "support/tools.hpp"
#include "wgsl/ir/ir.h"
#include "wgsl/spirv/writer.h"

namespace trelliken::spirv_tests {
namespace {

namespace ir = trelliken::wgsl::ir;
using H = ir::Handle<ir::Expression>;

/// A small helper that appends expressions and keeps the Emit ranges right.
struct Builder {
    ir::Function& f;
    ir::Block* block;
    ir::Emitter emitter;

    H add(ir::Expression e) {
        if (ir::needs_emit(e) && !emitter.active()) emitter.start(f.expressions);
        if (!ir::needs_emit(e)) flush();
        return f.expressions.append(std::move(e));
    }
    void flush() {
        if (auto e = emitter.finish(f.expressions)) block->push(*e, {});
    }
    void push(ir::Statement s) {
        flush();
        block->push(std::move(s), {});
    }
};

ir::Handle<ir::Type> add_type(ir::Module& m, ir::TypeInner inner, std::optional<std::string> name = std::nullopt) {
    for (uint32_t i = 0; i < m.types.size(); ++i)
        if (!name && m.types[ir::Handle<ir::Type>(i)].inner == inner) return ir::Handle<ir::Type>(i);
    return m.types.append(ir::Type{std::move(name), std::move(inner)});
}

std::vector<uint32_t> write_or_fail(const ir::Module& m) {
    auto words = trelliken::wgsl::write_spirv(m);
    EXPECT_TRUE(words) << (words ? "" : words.error().message);
    if (!words) return {};
    auto valid = spirv_val(*words);
    EXPECT_TRUE(valid) << (valid ? "" : valid.error()) << "\n" << disassemble(*words);
    return *words;
}

/// data[i] = data[i] * 2 for i < arrayLength(&data).
ir::Module doubling_module() {
    ir::Module m;
    auto u32 = add_type(m, ir::type::Scalar{ir::Scalar::u32()});
    auto v3 = add_type(m, ir::type::Vector{ir::VectorSize::Tri, ir::Scalar::u32()});
    auto arr = add_type(m, ir::type::Array{u32, {ir::ArraySize::Kind::Dynamic, 0}, 4});
    auto data = m.global_variables.append(
        ir::GlobalVariable{"data", ir::AddressSpace::Storage, ir::AccessMode::ReadWrite, ir::ResourceBinding{0, 0}, arr,
                           std::nullopt});
    ir::EntryPoint ep;
    ep.name = "main";
    ep.workgroup_size = {64, 1, 1};
    ep.function.name = "main";
    ep.function.arguments.push_back(
        ir::FunctionArgument{"gid", v3, ir::Binding{ir::Binding::Kind::BuiltIn, ir::BuiltIn::GlobalInvocationId, 0}});
    Builder b{ep.function, &ep.function.body, {}};
    H gid = b.add(ir::expr::FunctionArgument{0});
    H i = b.add(ir::expr::AccessIndex{gid, 0});
    H g = b.add(ir::expr::GlobalVariable{data});
    H len = b.add(ir::expr::ArrayLength{g});
    H in = b.add(ir::expr::Binary{ir::BinaryOperator::Less, i, len});
    b.flush();
    ir::stmt::If s{in, {}, {}};
    Builder inner{ep.function, &s.accept, {}};
    H p = inner.add(ir::expr::Access{g, i});
    H v = inner.add(ir::expr::Load{p});
    H two = inner.add(ir::Literal::u32(2));
    H r = inner.add(ir::expr::Binary{ir::BinaryOperator::Multiply, v, two});
    inner.push(ir::stmt::Store{p, r});
    b.push(std::move(s));
    (void)u32;
    m.entry_points.push_back(std::move(ep));
    return m;
}

TEST(SpirvWriterIr, DoublingKernelValidatesAndRuns) {
    ir::Module m = doubling_module();
    auto words = write_or_fail(m);
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words[1], 0x00010500u);
    auto* runner = spirv_runner::VulkanRunner::shared();
    ASSERT_NE(runner, nullptr) << spirv_runner::VulkanRunner::shared_error();
    std::vector<uint32_t> data(100);
    std::iota(data.begin(), data.end(), 0u);
    spirv_runner::Dispatch d;
    d.words = words;
    d.buffers = {{0, spirv_runner::BufferKind::storage, spirv_runner::to_bytes(data)}};
    d.groups = {2, 1, 1};
    auto out = runner->run(d);
    ASSERT_TRUE(out) << out.error();
    auto got = spirv_runner::from_bytes<uint32_t>((*out)[0]);
    for (uint32_t k = 0; k < data.size(); ++k) EXPECT_EQ(got[k], 2 * k);
}

TEST(SpirvWriterIr, SameModuleGivesSameWords) {
    auto a = trelliken::wgsl::write_spirv(doubling_module());
    auto b = trelliken::wgsl::write_spirv(doubling_module());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
}

TEST(SpirvWriterIr, RefusesOverrideSizedWorkgroups) {
    ir::Module m = doubling_module();
    m.entry_points[0].workgroup_size_overrides[0] = ir::Handle<ir::Expression>(0);
    auto words = trelliken::wgsl::write_spirv(m);
    ASSERT_FALSE(words);
    EXPECT_NE(words.error().message.find("cannot express"), std::string::npos) << words.error().message;
}

}  // namespace
}  // namespace trelliken::spirv_tests

// The Vulkan runner on its own, with hand-written modules, so a failing writer test can
// never be blamed on the runner.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numeric>

#include "runner/vulkan_runner.hpp"
#include "support/tools.hpp"

namespace trelliken::spirv_tests {
namespace {

using spirv_runner::BufferBinding;
using spirv_runner::BufferKind;
using spirv_runner::Dispatch;
using spirv_runner::VulkanRunner;

std::filesystem::path fixture(const char* name) {
    return std::filesystem::path(TRELLIKEN_SPIRV_FIXTURES) / name;
}

VulkanRunner& runner() {
    VulkanRunner* r = VulkanRunner::shared();
    if (r == nullptr) {
        ADD_FAILURE() << "no Vulkan runner: " << VulkanRunner::shared_error();
        std::abort();
    }
    return *r;
}

TEST(VulkanRunner, OpensLavapipeWith64BitShaders) {
    VulkanRunner& r = runner();
    EXPECT_NE(r.device_name().find("llvmpipe"), std::string::npos) << r.device_name();
    EXPECT_TRUE(r.features().float64);
    EXPECT_TRUE(r.features().int64);
}

TEST(VulkanRunner, ScalesStorageBufferByUniform) {
    auto words = assemble(fixture("runner_scale.spvasm"));
    ASSERT_TRUE(words) << words.error();
    std::vector<uint32_t> data(200);
    std::iota(data.begin(), data.end(), 1u);
    std::vector<uint32_t> factor{7, 0, 0, 0};
    Dispatch d;
    d.words = *words;
    d.buffers = {BufferBinding{0, BufferKind::storage, spirv_runner::to_bytes(data)},
                 BufferBinding{1, BufferKind::uniform, spirv_runner::to_bytes(factor)}};
    d.groups = {4, 1, 1};  // 256 invocations over 200 elements: the bounds check matters
    auto out = runner().run(d);
    ASSERT_TRUE(out) << out.error();
    auto got = spirv_runner::from_bytes<uint32_t>((*out)[0]);
    ASSERT_EQ(got.size(), data.size());
    for (size_t i = 0; i < data.size(); ++i) EXPECT_EQ(got[i], data[i] * 7u) << i;
    EXPECT_EQ(spirv_runner::from_bytes<uint32_t>((*out)[1]), factor);
}

// Vulkan lets GLSL.std.450 Fma round twice (as a multiply then an add), and lavapipe does
// so for f64; the result must still be one of the two roundings, never anything else.
double unfused(double a, double b, double c) {
    volatile double product = a * b;
    return product + c;
}

TEST(VulkanRunner, F64FmaAndSqrtAreCorrectlyRounded) {
    auto words = assemble(fixture("runner_f64_fma.spvasm"));
    ASSERT_TRUE(words) << words.error();
    std::vector<double> a{2.0, 1.0 + 0x1p-52, 1e300, 0.1, 3.0};
    std::vector<double> b{3.0, 1.0 - 0x1p-53, 1e10, 0.7, 1.0 / 3.0};
    std::vector<double> c{1.0, -1.0, -1e300, -0.07, -1.0};
    std::vector<double> out(a.size() * 2, 0.0);
    Dispatch d;
    d.words = *words;
    d.buffers = {BufferBinding{0, BufferKind::storage, spirv_runner::to_bytes(a)},
                 BufferBinding{1, BufferKind::storage, spirv_runner::to_bytes(b)},
                 BufferBinding{2, BufferKind::storage, spirv_runner::to_bytes(c)},
                 BufferBinding{3, BufferKind::storage, spirv_runner::to_bytes(out)}};
    d.groups = {static_cast<uint32_t>(a.size()), 1, 1};
    auto result = runner().run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = spirv_runner::from_bytes<double>((*result)[3]);
    for (size_t i = 0; i < a.size(); ++i) {
        const uint64_t bits = std::bit_cast<uint64_t>(got[2 * i]);
        EXPECT_TRUE(bits == std::bit_cast<uint64_t>(std::fma(a[i], b[i], c[i])) ||
                    bits == std::bit_cast<uint64_t>(unfused(a[i], b[i], c[i])))
            << "fma " << i << ": " << got[2 * i];
        EXPECT_EQ(std::bit_cast<uint64_t>(got[2 * i + 1]), std::bit_cast<uint64_t>(std::sqrt(a[i])))
            << "sqrt " << i;
    }
}

TEST(VulkanRunner, ReportsAModuleTheDriverRejects) {
    std::vector<uint32_t> garbage{0x07230203, 0x00010500, 0, 1, 0};
    Dispatch d;
    d.words = garbage;
    d.entry_point = "absent";
    auto out = runner().run(d);
    EXPECT_FALSE(out);
}

}  // namespace
}  // namespace trelliken::spirv_tests

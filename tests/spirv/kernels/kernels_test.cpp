// The library's own kernels (src/ops/**.wgsl) through the translator and lavapipe: the f64 texts as written
// and their f32 forms after downgrade_f64_to_f32, against host references.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "runner/vulkan_runner.hpp"
#include "shaders/precision/downgrade.hpp"
#include "support/compile.hpp"
#include "support/tools.hpp"

namespace trelliken::spirv_tests {
namespace {

using spirv_runner::BufferBinding;
using spirv_runner::BufferKind;
using spirv_runner::Dispatch;
using spirv_runner::from_bytes;
using spirv_runner::to_bytes;
using spirv_runner::VulkanRunner;

std::filesystem::path kernel_path(const std::string& rel) { return std::filesystem::path(TRELLIKEN_SOURCE_DIR) / rel; }

/// Compiles a kernel, downgraded to f32 when `f32` is set; skips when the kernel does not exist yet.
std::vector<uint32_t> compile_kernel(const std::string& rel, bool f32) {
    auto text = read_text(kernel_path(rel));
    if (!text) return {};
    const std::string source = f32 ? downgrade_f64_to_f32(*text) : *text;
    auto words = compile_wgsl(source);
    EXPECT_TRUE(words) << rel << (f32 ? " (f32)" : " (f64)") << ": " << words.error();
    if (!words) return {};
    auto valid = spirv_val(*words);
    EXPECT_TRUE(valid) << rel << ": " << (valid ? "" : valid.error());
    return *words;
}

struct MatmulCase {
    const char* path;
    uint32_t tile;  // square of C per workgroup
};

class KernelMatmul : public ::testing::TestWithParam<MatmulCase> {};

template <typename F>
void check_matmul(const MatmulCase& kc, bool f32) {
    if (!std::filesystem::exists(kernel_path(kc.path))) GTEST_SKIP() << kc.path << " does not exist";
    auto words = compile_kernel(kc.path, f32);
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = VulkanRunner::shared();
    ASSERT_NE(runner, nullptr) << VulkanRunner::shared_error();
    for (auto [m, k, n] : {std::array<uint32_t, 3>{64, 64, 64}, std::array<uint32_t, 3>{45, 70, 33}}) {
        std::mt19937 rng(m * 7 + n);
        std::uniform_real_distribution<double> dist(-1.0, 1.0);
        std::vector<F> a(m * k), b(k * n), c(m * n, F(0));
        for (auto& v : a) v = static_cast<F>(dist(rng));
        for (auto& v : b) v = static_cast<F>(dist(rng));
        std::vector<uint32_t> params{m, k, n, 0};
        Dispatch d;
        d.words = words;
        d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(a)}, BufferBinding{1, BufferKind::storage, to_bytes(b)},
                     BufferBinding{2, BufferKind::storage, to_bytes(c)},
                     BufferBinding{3, BufferKind::uniform, to_bytes(params)}};
        d.groups = {(n + kc.tile - 1) / kc.tile, (m + kc.tile - 1) / kc.tile, 1};
        auto result = runner->run(d);
        ASSERT_TRUE(result) << result.error();
        auto got = from_bytes<F>((*result)[2]);
        const double tolerance = f32 ? 1e-4 : 1e-12;
        size_t bad = 0;
        for (uint32_t r = 0; r < m; ++r) {
            for (uint32_t col = 0; col < n; ++col) {
                double acc = 0;
                for (uint32_t x = 0; x < k; ++x) acc += static_cast<double>(a[r * k + x]) * b[x * n + col];
                if (std::fabs(got[r * n + col] - acc) > tolerance && bad++ < 5)
                    ADD_FAILURE() << kc.path << " " << m << "x" << k << "x" << n << " at " << r << "," << col << ": "
                                  << got[r * n + col] << " vs " << acc;
            }
        }
        EXPECT_EQ(bad, 0u);
    }
}

TEST_P(KernelMatmul, F64AsWritten) {
    ASSERT_TRUE(VulkanRunner::shared() && VulkanRunner::shared()->features().float64);
    check_matmul<double>(GetParam(), false);
}
TEST_P(KernelMatmul, F32AfterDowngrade) { check_matmul<float>(GetParam(), true); }

INSTANTIATE_TEST_SUITE_P(Ops, KernelMatmul,
                         ::testing::Values(MatmulCase{"src/ops/matmul/tiled16.wgsl", 16},
                                           MatmulCase{"src/ops/matmul/cpu_tiled32.wgsl", 32},
                                           MatmulCase{"src/ops/matmul/gpu_evolved32.wgsl", 32}),
                         [](const auto& info) {
                             std::string name = std::filesystem::path(info.param.path).stem().string();
                             return name;
                         });

struct AddCase {
    const char* path;
    uint32_t workgroup;
    bool f64_source;
};

class KernelAdd : public ::testing::TestWithParam<AddCase> {};

template <typename F>
void check_add(const AddCase& kc, bool f32) {
    if (!std::filesystem::exists(kernel_path(kc.path))) GTEST_SKIP() << kc.path << " does not exist";
    auto words = compile_kernel(kc.path, f32 && kc.f64_source);
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = VulkanRunner::shared();
    ASSERT_NE(runner, nullptr) << VulkanRunner::shared_error();
    const uint32_t n = 1000;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    std::vector<F> a(n), b(n), out(n, F(0));
    for (auto& v : a) v = static_cast<F>(dist(rng));
    for (auto& v : b) v = static_cast<F>(dist(rng));
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(a)}, BufferBinding{1, BufferKind::storage, to_bytes(b)},
                 BufferBinding{2, BufferKind::storage, to_bytes(out)}};
    d.groups = {(n + kc.workgroup - 1) / kc.workgroup, 1, 1};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = from_bytes<F>((*result)[2]);
    for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(got[i], F(a[i] + b[i])) << kc.path << " at " << i;  // exact in IEEE
}

TEST_P(KernelAdd, AsWritten) {
    if (GetParam().f64_source) check_add<double>(GetParam(), false);
    else check_add<float>(GetParam(), false);
}
TEST_P(KernelAdd, F32AfterDowngrade) {
    if (!GetParam().f64_source) GTEST_SKIP() << "already f32";
    check_add<float>(GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(Ops, KernelAdd,
                         ::testing::Values(AddCase{"src/ops/add/add_generic.wgsl", 256, true},
                                           AddCase{"src/ops/add/add_64.wgsl", 64, false},
                                           AddCase{"src/ops/add/add_128.wgsl", 128, false}),
                         [](const auto& info) { return std::filesystem::path(info.param.path).stem().string(); });

}  // namespace
}  // namespace trelliken::spirv_tests

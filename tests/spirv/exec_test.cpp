// WGSL fixtures compiled by the project's translator and run on lavapipe, compared with the host.
// Where IEEE 754 fixes a result (f64 add, subtract, multiply, divide, sqrt, conversions, comparisons) the
// comparison is bit for bit.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "runner/vulkan_runner.hpp"
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

std::vector<uint32_t> compile_fixture(const char* name) {
    auto text = read_text(std::filesystem::path(TRELLIKEN_SPIRV_FIXTURES) / name);
    EXPECT_TRUE(text) << text.error();
    if (!text) return {};
    auto words = compile_wgsl(*text);
    EXPECT_TRUE(words) << name << ": " << words.error();
    if (!words) return {};
    auto valid = spirv_val(*words);
    EXPECT_TRUE(valid) << name << ": " << valid.error();
    return *words;
}

VulkanRunner* runner_or_fail() {
    VulkanRunner* r = VulkanRunner::shared();
    if (r == nullptr) ADD_FAILURE() << "no Vulkan runner: " << VulkanRunner::shared_error();
    return r;
}

template <typename F>
bool same_bits(F a, F b) {
    if (std::isnan(a) && std::isnan(b)) return true;  // IEEE leaves NaN payloads open
    using U = std::conditional_t<sizeof(F) == 8, uint64_t, uint32_t>;
    return std::bit_cast<U>(a) == std::bit_cast<U>(b);
}

template <typename F>
F unfused_fma(F a, F b, F c) {
    volatile F product = a * b;
    return product + c;
}

/// WGSL's saturating float-to-integer conversion: the bounds are the extreme integers that F represents
/// (for f32 that is 2^31 - 128 and 2^32 - 256 at the top).
template <typename I, typename F>
I saturate(F v) {
    const F high = std::nextafter(static_cast<F>(std::numeric_limits<I>::max()) + F(1), F(0));
    const F low = static_cast<F>(std::numeric_limits<I>::min());
    const F t = std::trunc(v);
    if (t <= low) return std::numeric_limits<I>::min();
    if (t >= high) return static_cast<I>(high);
    return static_cast<I>(t);
}

/// Inputs: normal values over many magnitudes and both signs, plus edge cases for the comparisons.
template <typename F>
void make_inputs(std::vector<F>& a, std::vector<F>& b, std::vector<F>& c, size_t n) {
    std::mt19937_64 rng(20261211);
    const int max_exp = sizeof(F) == 8 ? 60 : 20;
    std::uniform_int_distribution<int> exponent(-max_exp, max_exp);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    auto draw = [&] {
        const double m = mantissa(rng) * ((rng() & 1) ? -1.0 : 1.0);
        return static_cast<F>(std::ldexp(m, exponent(rng)));
    };
    for (size_t i = 0; i < n; ++i) {
        a.push_back(draw());
        b.push_back(draw());
        c.push_back(draw());
    }
    // Edge cases: equal operands, NaN, infinity, a conversion out of range, exact halves.
    a[0] = 1.5;  b[0] = 1.5;
    a[1] = 2.0;  b[1] = std::numeric_limits<F>::quiet_NaN();
    a[2] = -3.0; b[2] = std::numeric_limits<F>::infinity();
    a[3] = static_cast<F>(1e30); b[3] = static_cast<F>(-1e30);
    a[4] = static_cast<F>(-7.75); b[4] = 0.5;
    a[5] = static_cast<F>(4294967295.0); b[5] = 3.0;
    a[6] = 1.0; b[6] = 3.0; c[6] = static_cast<F>(-1.0 / 3.0);
}

template <typename F>
void run_arith(const char* fixture, bool exact_division) {
    auto words = compile_fixture(fixture);
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = runner_or_fail();
    ASSERT_NE(runner, nullptr);
    constexpr size_t n = 200;
    std::vector<F> a, b, c;
    make_inputs(a, b, c, n);
    std::vector<F> out(n * 10, F(0));
    std::vector<uint32_t> flags(n, 0);
    std::vector<uint32_t> params{static_cast<uint32_t>(n), 0, 0, 0};
    std::vector<int32_t> ints(n * 2, 0);
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(a)},   BufferBinding{1, BufferKind::storage, to_bytes(b)},
                 BufferBinding{2, BufferKind::storage, to_bytes(c)},   BufferBinding{3, BufferKind::storage, to_bytes(out)},
                 BufferBinding{4, BufferKind::storage, to_bytes(flags)}, BufferBinding{5, BufferKind::uniform, to_bytes(params)},
                 BufferBinding{6, BufferKind::storage, to_bytes(ints)}};
    d.groups = {static_cast<uint32_t>((n + 63) / 64), 1, 1};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = from_bytes<F>((*result)[3]);
    auto got_flags = from_bytes<uint32_t>((*result)[4]);
    auto got_ints = from_bytes<int32_t>((*result)[6]);
    using I = int32_t;
    size_t fused = 0, unfused = 0;
    for (size_t i = 0; i < n; ++i) {
        const F x = a[i], y = b[i], z = c[i];
        const F* g = &got[i * 10];
        const std::string at = " at " + std::to_string(i) + " x=" + std::to_string(x) + " y=" + std::to_string(y);
        EXPECT_TRUE(same_bits(g[0], F(x + y))) << "add" << at;
        EXPECT_TRUE(same_bits(g[1], F(x - y))) << "sub" << at;
        EXPECT_TRUE(same_bits(g[2], F(x * y))) << "mul" << at;
        if (exact_division) {
            EXPECT_TRUE(same_bits(g[3], F(x / y))) << "div" << at;
            EXPECT_TRUE(same_bits(g[4], std::sqrt(std::fabs(x)))) << "sqrt" << at;
        } else {
            // Vulkan allows 2.5 ULP for f32 division and inherits sqrt from inversesqrt.
            const F q = x / y, s = std::sqrt(std::fabs(x));
            if (std::isfinite(q)) {
                EXPECT_NEAR(g[3], q, std::fabs(q) * 4 * std::numeric_limits<F>::epsilon()) << "div" << at;
            }
            EXPECT_NEAR(g[4], s, s * 4 * std::numeric_limits<F>::epsilon()) << "sqrt" << at;
        }
        const F f1 = std::fma(x, y, z), f2 = unfused_fma(x, y, z);
        EXPECT_TRUE(same_bits(g[5], f1) || same_bits(g[5], f2)) << "fma" << at;
        fused += same_bits(g[5], f1) && !same_bits(f1, f2);
        unfused += same_bits(g[5], f2) && !same_bits(f1, f2);
        EXPECT_TRUE(same_bits(g[6], F(static_cast<float>(x)))) << "f32 round trip" << at;
        EXPECT_TRUE(same_bits(g[7], F(static_cast<I>(i) - 32) * F(0.25))) << "i32 to float" << at;
        EXPECT_TRUE(same_bits(g[8], F(static_cast<uint32_t>(i) + 4000000000u))) << "u32 to float" << at;
        EXPECT_EQ(got_ints[2 * i], saturate<I>(x)) << "to i32" << at;
        EXPECT_EQ(static_cast<uint32_t>(got_ints[2 * i + 1]), saturate<uint32_t>(x)) << "to u32" << at;
        EXPECT_TRUE(same_bits(g[9], F(static_cast<I>(i) - 32) * F(0.5) + F(static_cast<uint32_t>(i) * 3u)))
            << "int to float" << at;
        uint32_t f = 0;
        f |= x < y ? 1u : 0u;
        f |= x <= y ? 2u : 0u;
        f |= x > y ? 4u : 0u;
        f |= x >= y ? 8u : 0u;
        f |= x == y ? 16u : 0u;
        f |= x != y ? 32u : 0u;
        if (!std::isnan(y)) {  // min/max with NaN are left open by WGSL
            f |= -x == std::fmin(-x, y) ? 64u : 0u;
            f |= std::fmax(x, z) == z ? 128u : 0u;
        } else {
            f |= got_flags[i] & 192u;
        }
        EXPECT_EQ(got_flags[i], f) << "comparisons" << at;
    }
    ::testing::Test::RecordProperty("fma_fused_cases", static_cast<int>(fused));
    ::testing::Test::RecordProperty("fma_unfused_cases", static_cast<int>(unfused));
}

TEST(SpirvExecution, F64ArithmeticIsBitExact) {
    VulkanRunner* r = runner_or_fail();
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(r->features().float64);
    run_arith<double>("arith_f64.wgsl", true);
}

TEST(SpirvExecution, F32ArithmeticMatchesHost) { run_arith<float>("arith_f32.wgsl", false); }

/// WGSL's integer semantics, written out on the host.
std::array<uint32_t, 16> integer_reference(uint32_t x, uint32_t y) {
    const int32_t sx = static_cast<int32_t>(x), sy = static_cast<int32_t>(y);
    auto sdiv = [](int32_t p, int32_t q) -> int32_t {
        if (q == 0 || (p == INT32_MIN && q == -1)) return p;
        return p / q;
    };
    auto srem = [](int32_t p, int32_t q) -> int32_t {
        if (q == 0 || (p == INT32_MIN && q == -1)) return 0;
        return p % q;
    };
    auto clz = [](uint32_t v) { return v == 0 ? 32u : static_cast<uint32_t>(std::countl_zero(v)); };
    auto ctz = [](uint32_t v) { return v == 0 ? 32u : static_cast<uint32_t>(std::countr_zero(v)); };
    auto flb_u = [](uint32_t v) { return v == 0 ? 0xFFFFFFFFu : 31u - static_cast<uint32_t>(std::countl_zero(v)); };
    auto flb_s = [](int32_t v) -> uint32_t {
        const uint32_t u = v < 0 ? ~static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
        return u == 0 ? 0xFFFFFFFFu : 31u - static_cast<uint32_t>(std::countl_zero(u));
    };
    auto ftb = [](uint32_t v) { return v == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(std::countr_zero(v)); };
    auto extract = [](uint32_t e, uint32_t offset, uint32_t count) {
        const uint32_t o = std::min(offset, 32u), c = std::min(count, 32u - o);
        if (c == 0) return 0u;
        const uint32_t mask = c == 32 ? 0xFFFFFFFFu : ((1u << c) - 1u);
        return (e >> o) & mask;
    };
    auto insert = [](uint32_t e, uint32_t nb, uint32_t offset, uint32_t count) {
        const uint32_t o = std::min(offset, 32u), c = std::min(count, 32u - o);
        if (c == 0) return e;
        const uint32_t mask = (c == 32 ? 0xFFFFFFFFu : ((1u << c) - 1u)) << o;
        return (e & ~mask) | ((nb << o) & mask);
    };
    auto reverse = [](uint32_t v) {
        uint32_t r = 0;
        for (int k = 0; k < 32; ++k) r |= ((v >> k) & 1u) << (31 - k);
        return r;
    };
    const uint32_t s = y & 31u;
    std::array<uint32_t, 16> r{};
    r[0] = y == 0 ? x : x / y;
    r[1] = y == 0 ? 0 : x % y;
    r[2] = static_cast<uint32_t>(sdiv(sx, sy));
    r[3] = static_cast<uint32_t>(srem(sx, sy));
    r[4] = x << s;
    r[5] = x >> s;
    r[6] = static_cast<uint32_t>(sx >> s);
    r[7] = clz(x);
    r[8] = ctz(x);
    r[9] = flb_u(x);
    r[10] = flb_s(sx);
    r[11] = ftb(x);
    r[12] = extract(x, y & 63u, 12u);
    r[13] = insert(x, y, 20u, 16u);
    r[14] = x * y + (x ^ y) - (x & ~y) + static_cast<uint32_t>(std::popcount(x)) + reverse(y);
    const int32_t abs_sx = sx == INT32_MIN ? INT32_MIN : std::abs(sx);
    r[15] = static_cast<uint32_t>(abs_sx) + static_cast<uint32_t>(std::min(sx, sy)) + std::max(x, y) +
            static_cast<uint32_t>(std::clamp(sx, -5, 5));
    return r;
}

TEST(SpirvExecution, IntegerEdgeCasesFollowWgsl) {
    auto words = compile_fixture("integer_ops.wgsl");
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = runner_or_fail();
    ASSERT_NE(runner, nullptr);
    std::vector<uint32_t> a{0, 1, 0x80000000u, 0x80000000u, 12345678, 0xFFFFFFFFu, 0xDEADBEEFu, 7, 0, 1u << 31 | 5};
    std::vector<uint32_t> b{0, 0, 0xFFFFFFFFu, 0, 32, 33, 7, 0xFFFFFFF9u, 5, 64};
    std::mt19937 rng(7);
    while (a.size() < 64) {
        a.push_back(rng());
        b.push_back(rng() % 4 == 0 ? rng() % 70 : rng());
    }
    std::vector<uint32_t> out(a.size() * 16, 0);
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(a)}, BufferBinding{1, BufferKind::storage, to_bytes(b)},
                 BufferBinding{2, BufferKind::storage, to_bytes(out)}};
    d.groups = {2, 1, 1};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = from_bytes<uint32_t>((*result)[2]);
    for (size_t i = 0; i < a.size(); ++i) {
        auto want = integer_reference(a[i], b[i]);
        for (size_t k = 0; k < 16; ++k)
            EXPECT_EQ(got[i * 16 + k], want[k]) << "op " << k << " x=" << a[i] << " y=" << b[i];
    }
}

TEST(SpirvExecution, WorkgroupReductionWithAtomics) {
    auto words = compile_fixture("reduce_workgroup.wgsl");
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = runner_or_fail();
    ASSERT_NE(runner, nullptr);
    std::vector<uint32_t> input(64 * 16);
    std::mt19937 rng(3);
    uint64_t sum = 0;
    uint32_t largest = 0;
    for (auto& v : input) {
        v = rng() % 100000;
        sum += v;
        largest = std::max(largest, v);
    }
    std::vector<uint32_t> totals{0, 0};
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(input)},
                 BufferBinding{1, BufferKind::storage, to_bytes(totals)}};
    d.groups = {16, 1, 1};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = from_bytes<uint32_t>((*result)[1]);
    EXPECT_EQ(got[0], static_cast<uint32_t>(sum));
    EXPECT_EQ(got[1], largest);
}

TEST(SpirvWriterErrors, F64TrigonometryIsReportedNotEmitted) {
    auto words = compile_wgsl(
        "@group(0) @binding(0) var<storage, read_write> d: array<f64>;\n"
        "@compute @workgroup_size(1) fn main() { d[0] = sin(d[1]); }\n");
    ASSERT_FALSE(words);
    EXPECT_NE(words.error().find("cannot express sin() on f64"), std::string::npos) << words.error();
    EXPECT_NE(words.error().find("2:"), std::string::npos) << words.error();
}

TEST(SpirvExecution, OverrideSizedWorkgroupRunsWithTheDefault) {
    auto words = compile_fixture("override_workgroup_size.wgsl");
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = runner_or_fail();
    ASSERT_NE(runner, nullptr);
    std::vector<uint32_t> out(16, 0);
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(out)}};
    d.groups = {2, 1, 1};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = from_bytes<uint32_t>((*result)[0]);
    // Two workgroups of 4 x 2 invocations fill all 16 slots.
    for (uint32_t g = 0; g < 2; ++g)
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(got[g * 8 + y * 4 + x], 100 * (y + 1) + x) << g << y << x;
}

}  // namespace
}  // namespace trelliken::spirv_tests

namespace trelliken::spirv_tests {
namespace {

template <typename F>
void run_matmul(const char* fixture, double tolerance) {
    auto words = compile_fixture(fixture);
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = runner_or_fail();
    ASSERT_NE(runner, nullptr);
    // Sizes that are not multiples of the tile exercise the edge handling.
    const uint32_t m = 37, n = 29, k = 45;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<F> a(m * k), b(k * n), c(m * n, F(0));
    for (auto& v : a) v = static_cast<F>(dist(rng));
    for (auto& v : b) v = static_cast<F>(dist(rng));
    std::vector<uint32_t> dims{m, n, k, 0};
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(a)}, BufferBinding{1, BufferKind::storage, to_bytes(b)},
                 BufferBinding{2, BufferKind::storage, to_bytes(c)}, BufferBinding{3, BufferKind::uniform, to_bytes(dims)}};
    d.groups = {(n + 7) / 8, (m + 7) / 8, 1};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = from_bytes<F>((*result)[2]);
    for (uint32_t r = 0; r < m; ++r) {
        for (uint32_t col = 0; col < n; ++col) {
            F acc = 0;
            for (uint32_t x = 0; x < k; ++x) acc = acc + a[r * k + x] * b[x * n + col];
            // Drivers may contract multiply-add into fma, so allow a few rounding steps' worth of difference.
            EXPECT_NEAR(got[r * n + col], acc, tolerance) << r << "," << col;
        }
    }
}

TEST(SpirvExecution, TiledMatmulF64) { run_matmul<double>("matmul_tiled_f64.wgsl", 1e-13); }
TEST(SpirvExecution, TiledMatmulF32) { run_matmul<float>("matmul_tiled_f32.wgsl", 1e-4); }

// Overrides with computed defaults have no spec constant of their own; their values follow their defaults.
TEST(SpirvExecution, DerivedOverrideDefaults) {
    auto words = compile_fixture("derived_override.wgsl");
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = runner_or_fail();
    ASSERT_NE(runner, nullptr);
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(std::vector<float>(4, -1.0f))}};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got = from_bytes<float>((*result)[0]);
    EXPECT_EQ(got[0], 5.75f);
    EXPECT_EQ(got[1], -2.875f);
    EXPECT_EQ(got[2], 16.0f);
    EXPECT_EQ(got[3], 2.875f);
}

// Pointers into storage buffers as function arguments (whole buffers, members, elements, handed on) travel as
// variable pointers; lavapipe offers the feature, so the module must both validate and compute the right thing.
TEST(SpirvExecution, StoragePointerArguments) {
    auto words = compile_fixture("storage_pointers.wgsl");
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = runner_or_fail();
    ASSERT_NE(runner, nullptr);
    ASSERT_TRUE(runner->features().variable_pointers_storage_buffer) << runner->device_name();
    constexpr uint32_t n = 37;
    std::vector<uint32_t> input(n), out(n, 0), counts(n + 1, 0), pairs(2 * n);
    for (uint32_t i = 0; i < n; ++i) {
        input[i] = i * i + 5;
        counts[1 + i] = 1000 * i;
        pairs[2 * i] = i;
        pairs[2 * i + 1] = 50 + i;
    }
    Dispatch d;
    d.words = words;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(input)}, BufferBinding{1, BufferKind::storage, to_bytes(out)},
                 BufferBinding{2, BufferKind::storage, to_bytes(counts)},
                 BufferBinding{3, BufferKind::storage, to_bytes(pairs)}};
    d.groups = {n, 1, 1};
    auto result = runner->run(d);
    ASSERT_TRUE(result) << result.error();
    auto got_out = from_bytes<uint32_t>((*result)[1]);
    auto got_counts = from_bytes<uint32_t>((*result)[2]);
    auto got_pairs = from_bytes<uint32_t>((*result)[3]);
    EXPECT_EQ(got_counts[0], 7u);
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_EQ(got_out[i], input[i] * 3 + 1 + 100) << i;
        EXPECT_EQ(got_counts[1 + i], 1000 * i + input[i]) << i;
        EXPECT_EQ(got_pairs[2 * i], 50 + i) << i;
        EXPECT_EQ(got_pairs[2 * i + 1], i) << i;
    }
}

}  // namespace
}  // namespace trelliken::spirv_tests

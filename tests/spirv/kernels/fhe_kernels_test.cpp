// The library's FHE kernels (point-wise multiply, NTT, INTT) through the translator and lavapipe, pass by pass as
// the library chains them, against the 128-bit host reference. Every coefficient must match exactly.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "../../ops/fhe_reference.hpp"
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

constexpr uint32_t kWorkgroup = 256;  // every FHE entry point's workgroup size

std::vector<uint32_t> compile_source(const std::string& rel) {
    auto text = read_text(std::filesystem::path(TRELLIKEN_SOURCE_DIR) / rel);
    EXPECT_TRUE(text) << text.error();
    if (!text) return {};
    auto words = compile_wgsl(*text);
    EXPECT_TRUE(words) << rel << ": " << words.error();
    if (!words) return {};
    auto valid = spirv_val(*words);
    EXPECT_TRUE(valid) << rel << ": " << (valid ? "" : valid.error());
    return *words;
}

std::vector<uint32_t> word_pairs(const std::vector<uint64_t>& values) {
    std::vector<uint32_t> out;
    for (uint64_t v : values) {
        out.push_back(static_cast<uint32_t>(v));
        out.push_back(static_cast<uint32_t>(v >> 32));
    }
    return out;
}

std::vector<uint64_t> from_word_pairs(const std::vector<std::byte>& bytes) {
    const auto words = from_bytes<uint32_t>(bytes);
    std::vector<uint64_t> out(words.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = words[2 * i] | (uint64_t{words[2 * i + 1]} << 32);
    return out;
}

/// The transform parameter block: degree, modulus, Barrett constant, root (or N^-1 for the scaling pass), stage.
std::vector<uint32_t> transform_params(uint32_t degree, uint64_t q, uint64_t root, uint32_t stage) {
    const uint64_t mu = fhe::barrett_mu(q);
    return {degree,
            static_cast<uint32_t>(q),
            static_cast<uint32_t>(q >> 32),
            static_cast<uint32_t>(mu),
            static_cast<uint32_t>(mu >> 32),
            static_cast<uint32_t>(root),
            static_cast<uint32_t>(root >> 32),
            stage};
}

uint32_t groups_for(uint32_t invocations) { return std::max(1u, (invocations + kWorkgroup - 1) / kWorkgroup); }

/// One pass: src (0), dst (1), twiddles (2), params (3); returns dst.
std::vector<uint32_t> transform_pass(VulkanRunner& runner, const std::vector<uint32_t>& words, const char* entry,
                                     const std::vector<uint32_t>& src, const std::vector<uint32_t>& twiddles,
                                     const std::vector<uint32_t>& params, uint32_t invocations) {
    Dispatch d;
    d.words = words;
    d.entry_point = entry;
    d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(src)},
                 BufferBinding{1, BufferKind::storage, to_bytes(std::vector<uint32_t>(src.size(), 0xDEADBEEFu))},
                 BufferBinding{2, BufferKind::storage, to_bytes(twiddles)},
                 BufferBinding{3, BufferKind::uniform, to_bytes(params)}};
    d.groups = {groups_for(invocations), 1, 1};
    auto result = runner.run(d);
    EXPECT_TRUE(result) << entry << ": " << (result ? "" : result.error());
    if (!result) return {};
    return from_bytes<uint32_t>((*result)[1]);
}

/// Bit reversal, then one butterfly pass per stage, as the library chains them; INTT adds its scaling pass.
std::vector<uint64_t> run_transform(VulkanRunner& runner, const std::vector<uint32_t>& words,
                                    const std::vector<uint64_t>& input, uint64_t root, uint64_t q, bool inverse) {
    const auto n = static_cast<uint32_t>(input.size());
    const auto twiddles = word_pairs(fhe::power_table(root, n, q));
    auto data = transform_pass(runner, words, "bit_reverse", word_pairs(input), twiddles,
                               transform_params(n, q, root, 0), n);
    for (uint32_t stage = 0; (1u << stage) < n && !data.empty(); ++stage)
        data = transform_pass(runner, words, "main", data, twiddles, transform_params(n, q, root, stage), n / 2);
    if (inverse && !data.empty())
        data = transform_pass(runner, words, "scale_by_n", data, twiddles,
                              transform_params(n, q, fhe::mod_inverse(n, q), 0), n);
    std::vector<std::byte> bytes = to_bytes(data);
    return from_word_pairs(bytes);
}

void expect_same(const std::vector<uint64_t>& got, const std::vector<uint64_t>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    size_t bad = 0;
    for (size_t i = 0; i < want.size(); ++i)
        if (got[i] != want[i] && bad++ < 5) ADD_FAILURE() << what << " at " << i << ": " << got[i] << " vs " << want[i];
    EXPECT_EQ(bad, 0u) << what;
}

struct TransformCase {
    uint64_t q;
    uint32_t n;
};

class FheTransform : public ::testing::TestWithParam<TransformCase> {};

TEST_P(FheTransform, NttMatchesHostReference) {
    const auto words = compile_source("src/ops/fhe_ntt/ntt.wgsl");
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = VulkanRunner::shared();
    ASSERT_NE(runner, nullptr) << VulkanRunner::shared_error();
    const auto [q, n] = GetParam();
    const uint64_t root = testing::primitive_root_of_unity(q, n);
    const auto input = testing::random_residues(n, q, q ^ n);
    const auto got = run_transform(*runner, words, input, root, q, false);
    expect_same(got, testing::reference_transform(input, root, q), "NTT n=" + std::to_string(n));
    if (n <= 64) expect_same(got, testing::definition_transform(input, root, q), "NTT by definition");
}

TEST_P(FheTransform, InttUndoesNtt) {
    const auto ntt = compile_source("src/ops/fhe_ntt/ntt.wgsl");
    const auto intt = compile_source("src/ops/fhe_intt/intt.wgsl");
    ASSERT_FALSE(ntt.empty());
    ASSERT_FALSE(intt.empty());
    VulkanRunner* runner = VulkanRunner::shared();
    ASSERT_NE(runner, nullptr) << VulkanRunner::shared_error();
    const auto [q, n] = GetParam();
    const uint64_t root = testing::primitive_root_of_unity(q, n);
    const uint64_t inverse_root = fhe::mod_inverse(root, q);
    const auto input = testing::random_residues(n, q, q + n);
    const auto forward = run_transform(*runner, ntt, input, root, q, false);
    const auto back = run_transform(*runner, intt, forward, inverse_root, q, true);
    expect_same(back, testing::reference_transform(forward, inverse_root, q, fhe::mod_inverse(n, q)),
                "INTT n=" + std::to_string(n));
    expect_same(back, input, "INTT(NTT(x)) n=" + std::to_string(n));
}

INSTANTIATE_TEST_SUITE_P(Ops, FheTransform,
                         ::testing::Values(TransformCase{testing::kGoldilocks, 8}, TransformCase{testing::kGoldilocks, 1024},
                                           TransformCase{testing::kPrimeNear64, 2048},
                                           TransformCase{998244353, 4096}, TransformCase{12289, 2}),
                         [](const auto& info) {
                             return "q" + std::to_string(info.index) + "_n" + std::to_string(info.param.n);
                         });

struct PointwiseCase {
    uint64_t q;
    const char* entry;
    uint32_t per_invocation;
};

class FhePointwise : public ::testing::TestWithParam<PointwiseCase> {};

TEST_P(FhePointwise, MatchesHostReference) {
    const auto words = compile_source("src/ops/fhe_pointwise_mul/pointwise_mul.wgsl");
    ASSERT_FALSE(words.empty());
    VulkanRunner* runner = VulkanRunner::shared();
    ASSERT_NE(runner, nullptr) << VulkanRunner::shared_error();
    const auto [q, entry, per_invocation] = GetParam();
    for (uint32_t n : {1u, 257u, 4096u}) {
        const auto a = testing::random_residues(n, q, q ^ 11);
        const auto b = testing::random_residues(n, q, q ^ 12);
        const uint64_t mu = fhe::barrett_mu(q);
        const std::vector<uint32_t> params{n,
                                           static_cast<uint32_t>(q),
                                           static_cast<uint32_t>(q >> 32),
                                           static_cast<uint32_t>(mu),
                                           static_cast<uint32_t>(mu >> 32),
                                           0,
                                           0,
                                           0};
        Dispatch d;
        d.words = words;
        d.entry_point = entry;
        d.buffers = {BufferBinding{0, BufferKind::storage, to_bytes(word_pairs(a))},
                     BufferBinding{1, BufferKind::storage, to_bytes(word_pairs(b))},
                     BufferBinding{2, BufferKind::storage, to_bytes(std::vector<uint32_t>(2 * n, 0xDEADBEEFu))},
                     BufferBinding{3, BufferKind::uniform, to_bytes(params)}};
        d.groups = {groups_for((n + per_invocation - 1) / per_invocation), 1, 1};
        auto result = runner->run(d);
        ASSERT_TRUE(result) << result.error();
        std::vector<uint64_t> want(n);
        for (uint32_t i = 0; i < n; ++i) want[i] = fhe::mul_mod(a[i], b[i], q);
        expect_same(from_word_pairs((*result)[2]), want, std::string(entry) + " n=" + std::to_string(n));
    }
}

INSTANTIATE_TEST_SUITE_P(Ops, FhePointwise,
                         ::testing::Values(PointwiseCase{testing::kGoldilocks, "main", 1},
                                           PointwiseCase{testing::kLargestPrime, "main", 1},
                                           PointwiseCase{97, "main", 1},
                                           PointwiseCase{testing::kPrimeNear64, "batched", 4},
                                           PointwiseCase{0xFFFFFFFBull, "batched", 4}),
                         [](const auto& info) { return std::string(info.param.entry) + std::to_string(info.index); });

}  // namespace
}  // namespace trelliken::spirv_tests

// Every WGSL text the project has (the translator's corpus, this folder's fixtures and the library's kernels)
// written to SPIR-V must pass spirv-val for Vulkan 1.2, and writing it twice must give the same words.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/compile.hpp"
#include "support/tools.hpp"

namespace trelliken::spirv_tests {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> shader_files() {
    const fs::path root(TRELLIKEN_SOURCE_DIR);
    std::vector<std::string> files;
    auto collect = [&](const fs::path& dir, bool skip_translator) {
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) return;
        for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator(); ++it) {
            const fs::path& p = it->path();
            if (p.extension() != ".wgsl") continue;
            const std::string rel = fs::relative(p, root).generic_string();
            if (skip_translator && rel.starts_with("src/wgsl/")) continue;
            // Texts that are meant to be rejected live under an "invalid" folder of the corpus.
            if (rel.find("/invalid") != std::string::npos) continue;
            files.push_back(rel);
        }
    };
    collect(root / "tests/wgsl/corpus", false);
    collect(root / "tests/spirv/fixtures", false);
    collect(root / "src", true);
    std::sort(files.begin(), files.end());
    return files;
}

class SpirvCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(SpirvCorpus, WritesValidDeterministicSpirv) {
    const fs::path path = fs::path(TRELLIKEN_SOURCE_DIR) / GetParam();
    auto text = read_text(path);
    ASSERT_TRUE(text) << text.error();
    auto words = compile_wgsl(*text);
    ASSERT_TRUE(words) << GetParam() << ": " << words.error();
    ASSERT_GE(words->size(), 5u);
    EXPECT_EQ((*words)[0], 0x07230203u);
    EXPECT_EQ((*words)[1], 0x00010500u);
    auto valid = spirv_val(*words);
    EXPECT_TRUE(valid) << GetParam() << ":\n" << (valid ? "" : valid.error()) << "\n" << disassemble(*words);
    auto again = compile_wgsl(*text);
    ASSERT_TRUE(again);
    EXPECT_EQ(*words, *again) << "output is not deterministic";
}

std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Shaders, SpirvCorpus, ::testing::ValuesIn(shader_files()), test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SpirvCorpus);

}  // namespace
}  // namespace trelliken::spirv_tests

// trelliken-wgsl FILE --spirv OUT: the binary it writes is what the writer returns, and a shader the writer
// cannot express is reported as "FILE:line:column: message" with exit 1 and no output file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/compile.hpp"
#include "support/tools.hpp"

namespace trelliken::spirv_tests {
namespace {

namespace fs = std::filesystem;

TEST(SpirvTool, WritesTheWritersWords) {
    const fs::path source = fs::path(TRELLIKEN_SOURCE_DIR) / "tests/wgsl/corpus/declarations.wgsl";
    TempFile out(".spv");
    const ProcessResult r = run_process({TRELLIKEN_WGSL_TOOL, source.string(), "--spirv", out.path().string()});
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(r.output.empty()) << r.output;
    auto written = read_words(out.path());
    ASSERT_TRUE(written) << written.error();
    auto text = read_text(source);
    ASSERT_TRUE(text);
    auto expected = compile_wgsl(*text);
    ASSERT_TRUE(expected) << expected.error();
    EXPECT_EQ(*written, *expected);
    EXPECT_TRUE(spirv_val(*written));
}

TEST(SpirvTool, ReportsWhatItCannotExpress) {
    TempFile source(".wgsl");
    {
        std::ofstream f(source.path());
        f << "@group(0) @binding(0) var<storage, read_write> v: array<f64>;\n"
             "@compute @workgroup_size(1) fn main() {\n"
             "  v[0] = sin(v[1]);\n"
             "}\n";
    }
    TempFile out(".spv");
    std::error_code ec;
    fs::remove(out.path(), ec);
    const ProcessResult r = run_process({TRELLIKEN_WGSL_TOOL, source.path().string(), "--spirv", out.path().string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find(source.path().string() + ":3:10: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("cannot express sin() on f64"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out.path()));
}

TEST(SpirvTool, ReportsParseErrorsAndBadUsage) {
    TempFile source(".wgsl");
    {
        std::ofstream f(source.path());
        f << "fn\n";
    }
    TempFile out(".spv");
    const ProcessResult bad = run_process({TRELLIKEN_WGSL_TOOL, source.path().string(), "--spirv", out.path().string()});
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_NE(bad.output.find(source.path().string() + ":2:1: "), std::string::npos) << bad.output;
    const ProcessResult usage = run_process({TRELLIKEN_WGSL_TOOL, source.path().string(), "--spirv"});
    EXPECT_EQ(usage.exit_code, 1);
    EXPECT_NE(usage.output.find("usage:"), std::string::npos) << usage.output;
}

}  // namespace
}  // namespace trelliken::spirv_tests

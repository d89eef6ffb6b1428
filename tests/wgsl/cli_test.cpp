// The trelliken-wgsl tool: written-back WGSL on standard output and exit 0, or "FILE:line:column: message" on
// standard error and exit 1.

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>

#include "test_util.h"

namespace trelliken::wgsl {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun run_tool(const std::string& args) {
    namespace fs = std::filesystem;
    const fs::path err_file = fs::temp_directory_path() / ("trelliken-wgsl-err-" + std::to_string(::getpid()));
    const std::string cmd = std::string(TRELLIKEN_WGSL_TOOL) + " " + args + " 2>" + err_file.string();
    ToolRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = testing::read_file(err_file);
    fs::remove(err_file);
    return r;
}

std::filesystem::path write_temp(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(Cli, WritesBackValidShaders) {
    const auto path = std::filesystem::path(WGSL_CORPUS_DIR) / "basic.wgsl";
    const ToolRun r = run_tool(path.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, testing::translate(testing::read_file(path)).text);
    EXPECT_TRUE(r.err.empty());
}

TEST(Cli, ReadsStandardInput) {
    const auto path = std::filesystem::path(WGSL_CORPUS_DIR) / "f64.wgsl";
    const ToolRun r = run_tool("- < " + path.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("fn main("), std::string::npos);
}

TEST(Cli, ReportsErrorsWithLineAndColumn) {
    const auto path = write_temp("trelliken-wgsl-bad.wgsl", "fn f() {\n  let x: u32 = 1.5;\n}\n");
    const ToolRun r = run_tool(path.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err, path.string() + ":2:16: cannot use abstract-float as initialiser of type u32\n");
    std::filesystem::remove(path);
}

TEST(Cli, MissingFileAndUsage) {
    EXPECT_EQ(run_tool("/nonexistent/shader.wgsl").status, 1);
    EXPECT_EQ(run_tool("").status, 1);
}

TEST(Diagnostics, RenderNamesLineAndColumn) {
    const std::string src = "fn f() {\n\tlet y = z;\n}";
    auto m = parse(src);
    ASSERT_FALSE(m);
    EXPECT_EQ(render(m.error(), src), "2:10: unknown name 'z'");
    Diagnostic d{"two places", {{Span{0, 2}, ""}, {Span{9, 10}, "here"}}};
    EXPECT_EQ(render(d, src), "1:1: two places\n  2:1: note: here");
    EXPECT_EQ(render(Diagnostic{"nowhere", {}}, src), "nowhere");
}

}  // namespace
}  // namespace trelliken::wgsl

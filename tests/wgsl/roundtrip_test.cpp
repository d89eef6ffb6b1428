// Every fixture and every project kernel parses, validates, is written back, and the written text translates
// again into an equivalent module that writes to the identical text.

#include <gtest/gtest.h>

#include "test_util.h"

namespace trelliken::wgsl {
namespace {

using testing::corpus_files;
using testing::read_file;
using testing::translate;

// A summary of what the module declares, which a round trip must keep.
std::string outline(const ir::Module& m) {
    std::string out;
    for (const auto& c : m.constants.items()) out += "const " + c.name + "\n";
    for (const auto& o : m.overrides.items()) out += "override " + o.name + "\n";
    for (const auto& g : m.global_variables.items()) {
        out += "var " + g.name + " " + std::to_string(static_cast<int>(g.space)) + " " +
               std::to_string(static_cast<int>(g.access));
        if (g.binding) out += " " + std::to_string(g.binding->group) + ":" + std::to_string(g.binding->binding);
        out += "\n";
    }
    for (const auto& f : m.functions.items())
        out += "fn " + f.name + " " + std::to_string(f.arguments.size()) + (f.result ? " ->" : "") + "\n";
    for (const auto& ep : m.entry_points)
        out += "entry " + ep.name + " " + std::to_string(ep.workgroup_size[0]) + "," +
               std::to_string(ep.workgroup_size[1]) + "," + std::to_string(ep.workgroup_size[2]) + " " +
               std::to_string(ep.function.arguments.size()) + "\n";
    return out;
}

class RoundTrip : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(RoundTrip, WritesStableEquivalentText) {
    const std::string source = read_file(GetParam());
    ASSERT_FALSE(source.empty());
    auto first = translate(source);
    ASSERT_TRUE(first.ok) << GetParam() << ":" << first.error;
    auto second = translate(first.text);
    ASSERT_TRUE(second.ok) << "written text of " << GetParam() << " does not translate again:\n"
                           << second.error << "\n" << first.text;
    EXPECT_EQ(first.text, second.text) << "writing is not stable for " << GetParam();
    auto a = parse(source);
    auto b = parse(first.text);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(outline(*a), outline(*b));
}

std::string test_name(const ::testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = info.param.parent_path().filename().string() + "_" + info.param.stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Corpus, RoundTrip, ::testing::ValuesIn(corpus_files()), test_name);

TEST(RoundTrip, CorpusIsNotEmpty) { EXPECT_GE(corpus_files().size(), 8u); }

}  // namespace
}  // namespace trelliken::wgsl

// Malformed text never crashes, hangs or aborts: every prefix of every corpus shader, byte mutations, and
// pathological inputs each end in a value or a diagnostic with a position.

#include <gtest/gtest.h>

#include <random>

#include "test_util.h"

namespace trelliken::wgsl {
namespace {

void must_not_crash(const std::string& text) {
    auto t = testing::translate(text);
    if (!t.ok) {
        EXPECT_FALSE(t.error.empty());
    } else {
        // Whatever is accepted must write text that is accepted again.
        auto again = testing::translate(t.text);
        EXPECT_TRUE(again.ok) << again.error << "\nfrom:\n" << text << "\nwritten:\n" << t.text;
    }
}

TEST(Robustness, EveryPrefixOfTheCorpus) {
    for (const auto& path : testing::corpus_files()) {
        const std::string src = testing::read_file(path);
        const size_t step = src.size() > 4000 ? 7 : 1;
        for (size_t n = 0; n < src.size(); n += step) must_not_crash(src.substr(0, n));
    }
}

TEST(Robustness, ByteMutations) {
    std::mt19937 rng(1234);
    const std::string alphabet = "(){}[]<>;:,.=+-*/&|!~^@_ \n0123456789abcfiuxhl\"\x00\xff";
    for (const auto& path : testing::corpus_files()) {
        const std::string src = testing::read_file(path);
        if (src.empty()) continue;
        for (int round = 0; round < 150; ++round) {
            std::string t = src;
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits; ++e) {
                const size_t at = rng() % t.size();
                switch (rng() % 3) {
                    case 0: t[at] = alphabet[rng() % alphabet.size()]; break;
                    case 1: t.erase(at, 1 + rng() % 8); break;
                    default: t.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
                }
                if (t.empty()) t = " ";
            }
            must_not_crash(t);
        }
    }
}

TEST(Robustness, PathologicalInputs) {
    auto rep = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    must_not_crash("");
    must_not_crash(rep("(", 100000));
    must_not_crash(rep("{", 100000));
    must_not_crash("fn f() {" + rep("{", 100000));
    must_not_crash("fn f() { let x = " + rep("-", 100000) + "1; }");
    must_not_crash("fn f() { let x = " + rep("!", 100000) + "true; }");
    must_not_crash("fn f() { let x = a" + rep("[0]", 100000) + "; }");
    must_not_crash("fn f() { let x = a" + rep(".x", 100000) + "; }");
    must_not_crash("alias A = " + rep("array<", 10000) + "f32" + rep(", 2>", 10000) + ";");
    must_not_crash("const a0 = 1;\n" + [&] {
        std::string s;
        for (int i = 1; i < 5000; ++i) s += "const a" + std::to_string(i) + " = a" + std::to_string(i - 1) + " + 1;\n";
        return s;
    }());
    must_not_crash([&] {
        std::string s;
        for (int i = 5000; i > 0; --i) s += "const a" + std::to_string(i) + " = a" + std::to_string(i - 1) + " + 1;\n";
        return s + "const a0 = 1;\n";
    }());
    must_not_crash([&] {
        std::string s = "fn f0() {}\n";
        for (int i = 1; i < 3000; ++i) s += "fn f" + std::to_string(i) + "() { f" + std::to_string(i - 1) + "(); }\n";
        return s;
    }());
    must_not_crash([&] {
        std::string s = "struct S0 { a: f32 }\n";
        for (int i = 1; i < 3000; ++i) s += "struct S" + std::to_string(i) + " { a: S" + std::to_string(i - 1) + " }\n";
        return s;
    }());
    must_not_crash("const x = " + rep("9", 10000) + ";");
    must_not_crash("const x = 1." + rep("9", 10000) + ";");
    must_not_crash("const x = 0x" + rep("f", 10000) + ";");
    must_not_crash("const x = array<i32, 100000000>();");
    must_not_crash("var<private> x: array<array<f32, 65536>, 65536>;");
    must_not_crash(rep("/*", 10000) + rep("*/", 9999));
}

}  // namespace
}  // namespace trelliken::wgsl

namespace trelliken::wgsl {
namespace {

// Every input the fuzzer ever crashed on stays a test.
TEST(Robustness, FuzzRegressions) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(TRELLIKEN_SOURCE_DIR) / "fuzz" / "regressions" / "wgsl";
    ASSERT_TRUE(fs::exists(dir));
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        SCOPED_TRACE(e.path().string());
        must_not_crash(testing::read_file(e.path()));
        ++n;
    }
    EXPECT_GT(n, 0);
}

}  // namespace
}  // namespace trelliken::wgsl

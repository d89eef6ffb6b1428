#pragma once
// Helpers shared by the translator tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "wgsl/wgsl.h"

namespace trelliken::wgsl::testing {

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The translator's fixtures plus every kernel of the project (WGSL files under src/, outside the translator).
inline std::vector<std::filesystem::path> corpus_files() {
    namespace fs = std::filesystem;
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(WGSL_CORPUS_DIR))
        if (e.path().extension() == ".wgsl") out.push_back(e.path());
    const fs::path src = fs::path(TRELLIKEN_SOURCE_DIR) / "src";
    for (const auto& e : fs::recursive_directory_iterator(src)) {
        if (e.path().extension() != ".wgsl") continue;
        if (e.path().string().find("/src/wgsl/") != std::string::npos) continue;
        out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

/// parse + validate (all capabilities) + write; the error rendered with its position on failure.
struct Translation {
    bool ok = false;
    std::string text;   // written WGSL
    std::string error;  // "line:column: message"
};

inline Translation translate(const std::string& source, Capabilities caps = Capabilities::all()) {
    Translation t;
    auto m = parse(source);
    if (!m) {
        t.error = render(m.error(), source);
        return t;
    }
    auto info = validate(*m, caps);
    if (!info) {
        t.error = render(info.error(), source);
        return t;
    }
    auto out = write_wgsl(*m, *info);
    if (!out) {
        t.error = render(out.error(), source);
        return t;
    }
    t.ok = true;
    t.text = std::move(*out);
    return t;
}

}  // namespace trelliken::wgsl::testing

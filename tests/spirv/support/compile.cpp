#include "support/compile.hpp"

#include <fstream>
#include <sstream>

#include "wgsl/parser/parse.h"
#include "wgsl/validator/validate.h"
#include "wgsl/spirv/writer.h"

namespace trelliken::spirv_tests {

std::expected<std::vector<uint32_t>, std::string> compile_wgsl(std::string_view source) {
    auto module = wgsl::parse(source);
    if (!module) return std::unexpected("parse: " + wgsl::render(module.error(), source));
    auto info = wgsl::validate(*module, wgsl::Capabilities::all());
    if (!info) return std::unexpected("validate: " + wgsl::render(info.error(), source));
    auto words = wgsl::write_spirv(*module, *info);
    if (!words) return std::unexpected("write_spirv: " + wgsl::render(words.error(), source));
    return std::move(*words);
}

std::expected<std::string, std::string> read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected("cannot open " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace trelliken::spirv_tests

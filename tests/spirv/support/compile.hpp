#pragma once
// WGSL text to SPIR-V words through the project's translator, for the tests.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace trelliken::spirv_tests {

/// Parses `source` and writes it as SPIR-V; the error is the rendered diagnostic ("line:column: message").
std::expected<std::vector<uint32_t>, std::string> compile_wgsl(std::string_view source);

/// Reads a whole text file.
std::expected<std::string, std::string> read_text(const std::filesystem::path& path);

}  // namespace trelliken::spirv_tests

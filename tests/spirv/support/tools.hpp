#pragma once
// Subprocess helpers for the SPIR-V tests: the real spirv-as and spirv-val judge the
// writer's words, so the tests never trust a validator of their own making.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace trelliken::spirv_tests {

/// Exit status and combined standard output and error of a finished process.
struct ProcessResult {
    int exit_code = -1;
    std::string output;
};

/// Runs `argv` (no shell) and waits for it.
ProcessResult run_process(const std::vector<std::string>& argv);

/// Assembles a .spvasm file for SPIR-V 1.5 with spirv-as.
std::expected<std::vector<uint32_t>, std::string> assemble(const std::filesystem::path& source);

/// Runs `spirv-val --target-env vulkan1.2` on the words; the value is empty when it accepts
/// them, else the tool's message.
std::expected<void, std::string> spirv_val(std::span<const uint32_t> words);

/// Disassembles words with spirv-dis, for failure messages.
std::string disassemble(std::span<const uint32_t> words);

/// Reads and writes whole binary files of 32-bit words.
std::expected<std::vector<uint32_t>, std::string> read_words(const std::filesystem::path& path);
bool write_words(const std::filesystem::path& path, std::span<const uint32_t> words);

/// A fresh file name in the temporary directory, removed when the object dies.
class TempFile {
public:
    explicit TempFile(const std::string& suffix);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace trelliken::spirv_tests

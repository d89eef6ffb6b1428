#include "support/tools.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

#ifndef TRELLIKEN_SPIRV_AS
#define TRELLIKEN_SPIRV_AS "spirv-as"
#endif
#ifndef TRELLIKEN_SPIRV_VAL
#define TRELLIKEN_SPIRV_VAL "spirv-val"
#endif
#ifndef TRELLIKEN_SPIRV_DIS
#define TRELLIKEN_SPIRV_DIS "spirv-dis"
#endif

namespace trelliken::spirv_tests {

TempFile::TempFile(const std::string& suffix) {
    static std::atomic<unsigned> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("trelliken-spirv-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + suffix);
}

TempFile::~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

ProcessResult run_process(const std::vector<std::string>& argv) {
    ProcessResult result;
    TempFile out(".log");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.output = "cannot start " + argv[0];
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(out.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    result.output = text.str();
    return result;
}

std::expected<std::vector<uint32_t>, std::string> read_words(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected("cannot open " + path.string());
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() % 4 != 0) return std::unexpected(path.string() + " is not a whole number of words");
    std::vector<uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), bytes.size());
    return words;
}

bool write_words(const std::filesystem::path& path, std::span<const uint32_t> words) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size_bytes()));
    return static_cast<bool>(out);
}

std::expected<std::vector<uint32_t>, std::string> assemble(const std::filesystem::path& source) {
    TempFile out(".spv");
    ProcessResult r = run_process({TRELLIKEN_SPIRV_AS, "--target-env", "spv1.5", source.string(), "-o",
                                   out.path().string()});
    if (r.exit_code != 0) return std::unexpected("spirv-as " + source.string() + ": " + r.output);
    return read_words(out.path());
}

std::expected<void, std::string> spirv_val(std::span<const uint32_t> words) {
    TempFile file(".spv");
    if (!write_words(file.path(), words)) return std::unexpected(std::string("cannot write temporary file"));
    ProcessResult r = run_process({TRELLIKEN_SPIRV_VAL, "--target-env", "vulkan1.2", file.path().string()});
    if (r.exit_code != 0) return std::unexpected(r.output.empty() ? std::string("spirv-val failed") : r.output);
    return {};
}

std::string disassemble(std::span<const uint32_t> words) {
    TempFile file(".spv");
    if (!write_words(file.path(), words)) return "(cannot write temporary file)";
    ProcessResult r = run_process({TRELLIKEN_SPIRV_DIS, "--raw-id", file.path().string()});
    return r.output;
}

}  // namespace trelliken::spirv_tests

// trelliken-wgsl FILE: parses and validates a WGSL compute shader with every capability allowed and prints it
// written back. "-" reads standard input. Exit 0 on success; on error prints "FILE:line:column: message" to
// standard error and exits 1.
// trelliken-wgsl FILE --spirv OUT: writes the shader as a SPIR-V 1.5 binary to OUT instead (host byte order,
// which is what SPIR-V consumers detect from the magic word).

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "wgsl/spirv/writer.h"
#include "wgsl/wgsl.h"

namespace {

int usage() {
    std::cerr << "usage: trelliken-wgsl FILE [--spirv OUT]   (FILE may be '-' for standard input)\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace trelliken::wgsl;
    std::string path;
    std::optional<std::string> spirv_out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--spirv") {
            if (i + 1 >= argc || spirv_out) return usage();
            spirv_out = argv[++i];
        } else if (path.empty() && (arg == "-" || !arg.starts_with("-"))) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (path.empty()) return usage();
    std::string text;
    if (path == "-") {
        std::ostringstream ss;
        ss << std::cin.rdbuf();
        text = ss.str();
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << path << ": cannot open file\n";
            return 1;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::string label = path == "-" ? "<stdin>" : path;
    auto module = parse(text);
    if (!module) {
        std::cerr << label << ":" << render(module.error(), text) << "\n";
        return 1;
    }
    auto info = validate(*module, Capabilities::all());
    if (!info) {
        std::cerr << label << ":" << render(info.error(), text) << "\n";
        return 1;
    }
    if (spirv_out) {
        auto words = write_spirv(*module, *info);
        if (!words) {
            std::cerr << label << ":" << render(words.error(), text) << "\n";
            return 1;
        }
        // Written only once the module exists, so a failed run leaves no half-made output behind.
        std::ofstream file(*spirv_out, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(words->data()),
                   static_cast<std::streamsize>(words->size() * sizeof(uint32_t)));
        file.close();
        if (!file) {
            std::cerr << *spirv_out << ": cannot write file\n";
            return 1;
        }
        return 0;
    }
    auto out = write_wgsl(*module, *info);
    if (!out) {
        std::cerr << label << ":" << render(out.error(), text) << "\n";
        return 1;
    }
    std::cout << *out;
    return std::cout.good() ? 0 : 1;
}

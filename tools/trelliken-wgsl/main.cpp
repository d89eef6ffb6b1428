// trelliken-wgsl FILE: parses and validates a WGSL compute shader with every capability allowed and prints it
// written back. "-" reads standard input. Exit 0 on success; on error prints "FILE:line:column: message" to
// standard error and exits 1.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "wgsl/wgsl.h"

namespace {

int usage() {
    std::cerr << "usage: trelliken-wgsl FILE   (FILE may be '-' for standard input)\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace trelliken::wgsl;
    if (argc != 2) return usage();
    const std::string path = argv[1];
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
    auto out = write_wgsl(*module, *info);
    if (!out) {
        std::cerr << label << ":" << render(out.error(), text) << "\n";
        return 1;
    }
    std::cout << *out;
    return std::cout.good() ? 0 : 1;
}

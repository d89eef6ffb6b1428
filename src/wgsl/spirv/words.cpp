#include "wgsl/spirv/words.h"

#include <cstdlib>
#include <cstdio>

namespace trelliken::wgsl::spirv {

Instruction& Instruction::add_string(std::string_view text) {
    uint32_t word = 0;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        word |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * (i % 4));
        if (i % 4 == 3) {
            operands_.push_back(word);
            word = 0;
        }
    }
    // The terminating NUL shares the last partial word, or takes a word of its own.
    operands_.push_back(word);
    return *this;
}

void Instruction::append_to(std::vector<uint32_t>& out) const {
    const size_t count = operands_.size() + 1;
    if (count > 0xFFFF) {
        std::fputs("SPIR-V instruction exceeds 65535 words (unreachable by construction)\n", stderr);
        std::abort();
    }
    out.push_back(static_cast<uint32_t>(count) << 16 | static_cast<uint32_t>(op_));
    out.insert(out.end(), operands_.begin(), operands_.end());
}

std::vector<uint32_t> ModuleSections::assemble(uint32_t version, uint32_t bound) const {
    std::vector<uint32_t> out{spv::MagicNumber, version, 0 /* generator: unregistered */, bound, 0};
    for (spv::Capability c : capabilities) emit(out, spv::OpCapability, {static_cast<uint32_t>(c)});
    for (const auto* section : {&extensions, &ext_imports, &memory_model, &entry_points, &execution_modes,
                                &debug_names, &annotations, &globals, &functions}) {
        out.insert(out.end(), section->begin(), section->end());
    }
    return out;
}

}  // namespace trelliken::wgsl::spirv

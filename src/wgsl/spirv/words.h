#pragma once
// Low-level SPIR-V encoding: instructions as word vectors, the logical sections of a module, and the
// final assembly with the header. Nothing here knows about WGSL; the writer decides what to put where.

#include <spirv/unified1/GLSL.std.450.h>
#include <spirv/unified1/spirv.hpp>

#include <cstdint>
#include <initializer_list>
#include <set>
#include <span>
#include <string_view>
#include <vector>

namespace trelliken::wgsl::spirv {

/// SPIR-V result ids; 0 is never a valid id, so it doubles as "none".
using Id = uint32_t;

/// One instruction under construction: the opcode and word count are filled in by `words()`.
class Instruction {
public:
    explicit Instruction(spv::Op op) : op_(op) {}

    Instruction& add(uint32_t word) {
        operands_.push_back(word);
        return *this;
    }
    Instruction& add(std::span<const uint32_t> words) {
        operands_.insert(operands_.end(), words.begin(), words.end());
        return *this;
    }
    Instruction& add(std::initializer_list<uint32_t> words) {
        operands_.insert(operands_.end(), words.begin(), words.end());
        return *this;
    }
    /// A literal string: UTF-8 bytes, NUL-terminated, padded with zeros to a whole word.
    Instruction& add_string(std::string_view text);

    /// Appends the encoded instruction to `out`.
    void append_to(std::vector<uint32_t>& out) const;

private:
    spv::Op op_;
    std::vector<uint32_t> operands_;
};

/// The module sections in the order the SPIR-V logical layout requires; the writer fills them in any order
/// and `assemble` concatenates them.
struct ModuleSections {
    std::set<spv::Capability> capabilities;  // ordered, so output does not depend on discovery order
    std::vector<uint32_t> extensions;
    std::vector<uint32_t> ext_imports;
    std::vector<uint32_t> memory_model;
    std::vector<uint32_t> entry_points;
    std::vector<uint32_t> execution_modes;
    std::vector<uint32_t> debug_names;
    std::vector<uint32_t> annotations;
    std::vector<uint32_t> globals;  // types, constants and module-scope variables, in dependency order
    std::vector<uint32_t> functions;

    /// The whole module: header (with `bound` as the id bound) followed by the sections.
    [[nodiscard]] std::vector<uint32_t> assemble(uint32_t version, uint32_t bound) const;
};

/// Convenience for the common fixed-operand case.
inline void emit(std::vector<uint32_t>& out, spv::Op op, std::initializer_list<uint32_t> operands) {
    Instruction(op).add(operands).append_to(out);
}

}  // namespace trelliken::wgsl::spirv

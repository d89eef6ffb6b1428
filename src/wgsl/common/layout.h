#pragma once
// Memory layout of IR types (WGSL's alignment and size rules) and type interning.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

#include "wgsl/ir/ir.h"

namespace trelliken::wgsl {

/// Size and alignment of a type in bytes.
struct Layout {
    uint32_t size = 0;
    uint32_t align = 1;
};

[[nodiscard]] constexpr uint32_t round_up(uint32_t align, uint32_t n) {
    return align == 0 ? n : (n + align - 1) / align * align;
}

/// Layout of a type of `types` following WGSL's rules; for a runtime-sized array the size is one stride.
/// A struct's alignment is the largest of its members' (with @align applied).
[[nodiscard]] Layout layout_of(const ir::Arena<ir::Type>& types, ir::Handle<ir::Type> h);

/// Fills in the member offsets and span of a struct type whose members' types are already in `types`.
/// Fails when an @align is not a power of two or an @size is smaller than the member.
[[nodiscard]] Result<void> compute_struct_layout(const ir::Arena<ir::Type>& types, ir::type::Struct& s, Span span);

/// Adds types to an arena without duplicating non-struct types (structs are always new).
class TypeInterner {
public:
    explicit TypeInterner(ir::Arena<ir::Type>& types);
    ir::Handle<ir::Type> intern(ir::TypeInner inner, Span span = {});
    ir::Handle<ir::Type> add_struct(std::string name, ir::type::Struct s, Span span = {});
    ir::Arena<ir::Type>& types() { return *types_; }

    /// A key that identifies a non-struct type (two words, so lookups do not allocate).
    using Key = std::pair<uint64_t, uint64_t>;
    [[nodiscard]] static Key key_of(const ir::TypeInner& inner);

private:
    struct KeyHash {
        size_t operator()(const Key& k) const noexcept { return std::hash<uint64_t>{}(k.first * 0x9E3779B97F4A7C15ull ^ k.second); }
    };
    ir::Arena<ir::Type>* types_;
    std::unordered_map<Key, ir::Handle<ir::Type>, KeyHash> index_;
};

}  // namespace trelliken::wgsl

#pragma once
// Arenas and typed handles: every IR collection is an append-only vector addressed by 32-bit indices, with a
// parallel vector of source spans so diagnostics can name the place an element came from.

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "wgsl/common/span.h"

namespace trelliken::wgsl::ir {

/// A typed index into an Arena<T>. Handles of different element types do not mix.
template <class T>
struct Handle {
    uint32_t index = std::numeric_limits<uint32_t>::max();

    constexpr Handle() = default;
    constexpr explicit Handle(uint32_t i) : index(i) {}
    [[nodiscard]] constexpr bool valid() const { return index != std::numeric_limits<uint32_t>::max(); }
    friend constexpr bool operator==(Handle, Handle) = default;
    friend constexpr auto operator<=>(Handle, Handle) = default;
};

/// A contiguous run [first, end) of handles; Emit statements cover such runs.
template <class T>
struct Range {
    uint32_t first = 0;
    uint32_t end = 0;

    [[nodiscard]] constexpr bool empty() const { return first >= end; }
    [[nodiscard]] constexpr uint32_t size() const { return end > first ? end - first : 0; }
    [[nodiscard]] constexpr bool contains(Handle<T> h) const { return h.index >= first && h.index < end; }
    friend constexpr bool operator==(Range, Range) = default;
};

/// Append-only storage; a handle stays valid for the arena's lifetime. Elements may be replaced in place
/// (the IR passes do that) but never removed, so handles never need renumbering.
template <class T>
class Arena {
public:
    Handle<T> append(T value, Span span = {}) {
        items_.push_back(std::move(value));
        spans_.push_back(span);
        return Handle<T>(static_cast<uint32_t>(items_.size() - 1));
    }

    [[nodiscard]] const T& operator[](Handle<T> h) const { return items_[h.index]; }
    [[nodiscard]] T& operator[](Handle<T> h) { return items_[h.index]; }
    [[nodiscard]] Span span(Handle<T> h) const { return spans_[h.index]; }
    [[nodiscard]] bool contains(Handle<T> h) const { return h.index < items_.size(); }
    [[nodiscard]] uint32_t size() const { return static_cast<uint32_t>(items_.size()); }
    [[nodiscard]] bool empty() const { return items_.empty(); }
    [[nodiscard]] Handle<T> handle(uint32_t i) const { return Handle<T>(i); }
    /// Handle the next append will return.
    [[nodiscard]] Handle<T> next_handle() const { return Handle<T>(size()); }

    [[nodiscard]] const std::vector<T>& items() const { return items_; }
    [[nodiscard]] std::vector<T>& items() { return items_; }
    [[nodiscard]] const std::vector<Span>& spans() const { return spans_; }

    void reserve(size_t n) {
        items_.reserve(n);
        spans_.reserve(n);
    }

private:
    std::vector<T> items_;
    std::vector<Span> spans_;
};

}  // namespace trelliken::wgsl::ir

template <class T>
struct std::hash<trelliken::wgsl::ir::Handle<T>> {
    size_t operator()(trelliken::wgsl::ir::Handle<T> h) const noexcept { return std::hash<uint32_t>{}(h.index); }
};

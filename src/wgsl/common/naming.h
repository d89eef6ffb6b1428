#pragma once
// Names a writer may not use as identifiers, and unique naming.

#include <string>
#include <string_view>
#include <unordered_set>

namespace trelliken::wgsl {

/// True for WGSL keywords, reserved words and predeclared type and builtin function names.
[[nodiscard]] bool is_reserved_name(std::string_view name);

/// Hands out unique identifiers: reserved names get "_" appended, repeats get "_1", "_2", ...
class Namer {
public:
    Namer() = default;
    /// A namer for an inner scope: names of `parent` stay taken without being copied.
    explicit Namer(const Namer* parent) : parent_(parent) {}

    /// A fresh identifier based on `base` (an empty or invalid base becomes "v").
    std::string fresh(std::string_view base);
    /// Marks a name as taken without handing it out.
    void reserve(const std::string& name) { taken_.insert(name); }

private:
    bool is_taken(const std::string& name) const {
        return taken_.count(name) != 0 || (parent_ && parent_->is_taken(name));
    }
    bool take(const std::string& name) { return !is_taken(name) && taken_.insert(name).second; }

    const Namer* parent_ = nullptr;
    std::unordered_set<std::string> taken_;
};

}  // namespace trelliken::wgsl

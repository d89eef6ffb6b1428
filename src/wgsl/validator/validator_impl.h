#pragma once
// Internal state of validate(); split over module.cpp (module scope), expressions.cpp and statements.cpp.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wgsl/common/layout.h"
#include "wgsl/common/value.h"
#include "wgsl/validator/validate.h"

namespace trelliken::wgsl::validation {

/// Deepest statement nesting accepted (the parser never produces more; hand-built IR might).
inline constexpr int kMaxBlockDepth = 1024;

class Validator {
public:
    Validator(const ir::Module& m, Capabilities caps);
    Result<ModuleInfo> run();

    // module.cpp
    Result<void> check_types();
    Result<void> check_scalar(ir::Scalar s, Span span, std::string_view where);
    Result<void> check_constants_and_overrides();
    Result<void> check_globals();
    Result<void> check_entry_point(const ir::EntryPoint& ep);

    // expressions.cpp: the type of expression `h` of `arena`, whose earlier expressions have `types`.
    Result<ir::Handle<ir::Type>> resolve(const ir::Arena<ir::Expression>& arena, ir::Handle<ir::Expression> h,
                                         const std::vector<ir::Handle<ir::Type>>& types, const ir::Function* fn,
                                         bool global);
    Result<std::vector<ir::Handle<ir::Type>>> resolve_all(const ir::Arena<ir::Expression>& arena,
                                                          const ir::Function* fn, bool global);

    // statements.cpp
    Result<FunctionInfo> check_function(const ir::Function& fn, std::optional<uint32_t> index, Span span);

    // helpers
    const ir::TypeInner& inner(ir::Handle<ir::Type> h) const { return info_.types[h].inner; }
    std::string name(ir::Handle<ir::Type> h) const { return type_name(info_.types, vtype_of(info_.types, h)); }
    ir::Handle<ir::Type> intern(ir::TypeInner t) { return interner_->intern(std::move(t)); }
    std::unexpected<Diagnostic> fail(Span span, std::string message) const {
        return error_at(span, where_.empty() ? std::move(message) : "in " + where_ + ": " + message);
    }
    bool is_constructible(ir::Handle<ir::Type> h) const;
    bool is_host_shareable(ir::Handle<ir::Type> h) const;
    bool contains_atomic(ir::Handle<ir::Type> h) const;
    bool is_runtime_array(ir::Handle<ir::Type> h) const;

    const ir::Module& m_;
    Capabilities caps_;
    ModuleInfo info_;
    std::optional<TypeInterner> interner_;
    std::string where_;  // "function 'f'" while checking a function
};

}  // namespace trelliken::wgsl::validation

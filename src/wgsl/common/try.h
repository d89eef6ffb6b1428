#pragma once
// The one early-return helper of the translator: evaluates a Result, returns its error from the enclosing
// function, or binds its value.

#define WGSL_CONCAT_INNER(a, b) a##b
#define WGSL_CONCAT(a, b) WGSL_CONCAT_INNER(a, b)

/// `WGSL_TRY(auto x, parse_thing());` — on error returns it, otherwise declares x with the value.
#define WGSL_TRY(decl, expr)                                                        \
    auto WGSL_CONCAT(wgsl_try_, __LINE__) = (expr);                                 \
    if (!WGSL_CONCAT(wgsl_try_, __LINE__))                                          \
        return std::unexpected(std::move(WGSL_CONCAT(wgsl_try_, __LINE__).error())); \
    decl = std::move(*WGSL_CONCAT(wgsl_try_, __LINE__))

/// `WGSL_CHECK(validate_thing());` for Result<void>.
#define WGSL_CHECK(expr)                                                    \
    do {                                                                    \
        auto wgsl_check_ = (expr);                                          \
        if (!wgsl_check_) return std::unexpected(std::move(wgsl_check_.error())); \
    } while (0)

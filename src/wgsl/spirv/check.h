#pragma once
// The early-return pattern of the SPIR-V writer, kept local so the writer builds on the IR headers alone.

#define SPIRV_CONCAT_INNER(a, b) a##b
#define SPIRV_CONCAT(a, b) SPIRV_CONCAT_INNER(a, b)

/// `SPIRV_TRY(Id x, make_thing());` returns the error from the enclosing function or declares x with the value.
#define SPIRV_TRY(decl, expr)                                                           \
    auto SPIRV_CONCAT(spirv_try_, __LINE__) = (expr);                                   \
    if (!SPIRV_CONCAT(spirv_try_, __LINE__))                                            \
        return std::unexpected(std::move(SPIRV_CONCAT(spirv_try_, __LINE__).error())); \
    decl = std::move(*SPIRV_CONCAT(spirv_try_, __LINE__))

/// `SPIRV_CHECK(step());` for Result<void>.
#define SPIRV_CHECK(expr)                                                          \
    do {                                                                           \
        auto spirv_check_ = (expr);                                                \
        if (!spirv_check_) return std::unexpected(std::move(spirv_check_.error())); \
    } while (0)

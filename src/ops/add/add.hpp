#pragma once
// Element-wise add: kernel variants and their choice.

#include <cstdint>
#include <string_view>

#include "error/compute_error.hpp"
#include "tensor/tensor.hpp"

namespace trelliken {

enum class AddVariant { Wide64, Wide128, Generic256 };

/// By the device's invocations-per-workgroup limit: up to 127 the 64-wide kernel, up to 255 the
/// 128-wide one, else the generic 256-wide one.
[[nodiscard]] AddVariant choose_add_variant(std::uint32_t max_invocations_per_workgroup) noexcept;

[[nodiscard]] std::string_view add_source(AddVariant variant);
[[nodiscard]] std::uint32_t add_workgroup_size(AddVariant variant) noexcept;

/// `a.add(b)` with the variant forced; for tests and benchmarks of each kernel.
[[nodiscard]] Result<Tensor> add_with_variant(const Tensor& a, const Tensor& b, AddVariant variant);

}  // namespace trelliken

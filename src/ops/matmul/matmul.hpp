#pragma once
// Matrix multiply: kernel variants and their choice.

#include <cstdint>
#include <string_view>

#include "device/gpu_device/adapter_details.hpp"
#include "error/compute_error.hpp"
#include "tensor/tensor.hpp"

namespace trelliken {

enum class MatmulVariant { Tiled16, CpuTiled32, GpuEvolved32 };

/// CpuTiled32 on CPU adapters; otherwise GpuEvolved32 when both M and N exceed 255, else Tiled16.
[[nodiscard]] MatmulVariant choose_matmul_variant(AdapterType device_type, std::uint64_t m, std::uint64_t n) noexcept;

/// "MatMul Tiled16", "MatMul CpuTiled32", "MatMul GpuEvolved32".
[[nodiscard]] std::string_view matmul_label(MatmulVariant variant) noexcept;

/// The kernel source of a variant (f64 canonical).
[[nodiscard]] std::string_view matmul_source(MatmulVariant variant);

/// `a.matmul(b)` with the variant forced; for tests and benchmarks of each kernel.
[[nodiscard]] Result<Tensor> matmul_with_variant(const Tensor& a, const Tensor& b, MatmulVariant variant);

}  // namespace trelliken

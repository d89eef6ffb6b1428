#pragma once
// Buffers, parameter blocks and the shared pass sequence of the FHE operations.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "device/gpu_device/gpu_device.hpp"
#include "error/compute_error.hpp"
#include "tensor/tensor.hpp"

namespace trelliken::fhe {

/// Invocations per workgroup of every FHE kernel.
inline constexpr std::uint32_t kWorkgroupSize = 256;

/// Workgroups that cover `items` invocations, one item each.
[[nodiscard]] constexpr std::uint32_t workgroups_for(std::uint64_t items) noexcept {
  return static_cast<std::uint32_t>((items + kWorkgroupSize - 1) / kWorkgroupSize);
}

/// Refuses a launch of `items` invocations that needs more workgroups than one dimension of the
/// device holds: it would be rejected by the implementation and leave the output unwritten.
[[nodiscard]] Result<void> check_launch_size(const GpuDevice& device, std::uint64_t items);

/// The 32-byte parameter block of the transform passes: degree, modulus, mu, root, stage.
[[nodiscard]] std::array<std::uint32_t, 8> transform_params(std::uint32_t degree, std::uint64_t modulus,
                                                            std::uint64_t mu, std::uint64_t root, std::uint32_t stage);

/// The labels that tell a forward transform's objects from an inverse one's.
struct TransformLabels {
  std::string_view output;
  std::string_view intermediate;
  std::string_view twiddles;
  std::string_view bit_reverse_params;
  std::string_view stage_params_prefix;  // followed by "(Stage {s})"
  std::string_view bit_reverse;
  std::string_view butterfly;
};

/// What one transform needs on the device.
struct TransformPlan {
  const Tensor* input;
  std::uint32_t degree;
  std::uint64_t modulus;
  std::uint64_t mu;
  std::uint64_t root;
  const std::vector<std::uint64_t>* twiddles;
  std::string_view source;
  const TransformLabels* labels;
};

/// The buffer the last pass wrote, and the twiddle buffer that every pass binds.
struct TransformBuffers {
  platform::Buffer result;
  platform::Buffer twiddles;
};

/// Runs the bit-reversal pass and the log2(N) butterfly passes, each a submitted dispatch.
[[nodiscard]] Result<TransformBuffers> run_transform_passes(const TransformPlan& plan);

}  // namespace trelliken::fhe

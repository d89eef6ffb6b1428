#pragma once
// A one-shot description of one compute-shader launch.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/gpu_device/gpu_device.hpp"
#include "error/compute_error.hpp"

namespace trelliken {

/// One buffer bound to a dispatch.
struct DispatchBinding {
  platform::Buffer buffer;
  std::uint32_t binding = 0;
  bool read_only = false;
  bool uniform = false;
};

/// Builds and submits one compute launch; every GPU object it needs is created at submission
/// and released when `submit` returns. `submit` waits (bounded) for the work to finish.
class ComputeDispatch {
 public:
  ComputeDispatch(std::shared_ptr<GpuDevice> device, std::string label)
      : device_(std::move(device)), label_(std::move(label)) {}

  ComputeDispatch&& shader(std::string source, std::string entry_point) &&;
  ComputeDispatch&& storage_read(std::uint32_t binding, platform::Buffer buffer) &&;
  ComputeDispatch&& storage_rw(std::uint32_t binding, platform::Buffer buffer) &&;
  ComputeDispatch&& uniform(std::uint32_t binding, platform::Buffer buffer) &&;
  ComputeDispatch&& dispatch(std::uint32_t x, std::uint32_t y, std::uint32_t z) &&;
  ComputeDispatch&& f64() &&;
  ComputeDispatch&& df64() &&;

  /// Creates the layout, bind group, module and pipeline, records the launch and submits it,
  /// holding one concurrency permit throughout. Fails only for a missing shader source.
  [[nodiscard]] Result<void> submit() &&;

  [[nodiscard]] const std::vector<DispatchBinding>& bindings() const noexcept { return bindings_; }
  [[nodiscard]] const std::string& label() const noexcept { return label_; }

 private:
  std::vector<DispatchBinding> bindings_;
  std::shared_ptr<GpuDevice> device_;
  std::string label_;
  std::string entry_point_;
  std::optional<std::string> shader_source_;
  std::uint32_t x_ = 1, y_ = 1, z_ = 1;
  bool f64_ = false;
  bool df64_ = false;
};

/// The bind-group layout entries a dispatch creates, in binding order of the builder calls.
struct LayoutEntryDescription {
  std::uint32_t binding;
  WGPUBufferBindingType type;
};
[[nodiscard]] std::vector<LayoutEntryDescription> describe_layout(const std::vector<DispatchBinding>& bindings);

}  // namespace trelliken

#include "device/tensor_context/tensor_context.hpp"

#include <fmt/format.h>

#include <string>
#include <unordered_map>

#include "device/gpu_device/gpu_device.hpp"

namespace trelliken {

namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<TensorContext>> contexts;
};

Registry& registry() {
  static Registry* r = new Registry();  // lives until the process ends
  return *r;
}

// The adapter identity (name, backend, device type) plus the device object itself.
std::string context_key(const GpuDevice& device) {
  const AdapterDetails& a = device.adapter();
  return fmt::format("{}\x1f{}\x1f{}\x1f{}", a.name, backend_name(a.backend), adapter_type_name(a.device_type),
                     static_cast<const void*>(device.device().get()));
}

}  // namespace

TensorContext::TensorContext(std::shared_ptr<GpuDevice> device)
    : device_(std::move(device)), pool_(std::make_shared<BufferPool>(device_)) {}

std::shared_ptr<TensorContext> TensorContext::for_device(const std::shared_ptr<GpuDevice>& device) {
  const std::string key = context_key(*device);
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto& slot = r.contexts[key];
  if (!slot) slot = std::make_shared<TensorContext>(device);
  return slot;
}

}  // namespace trelliken

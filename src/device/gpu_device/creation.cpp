// Opening the adapter and the device.

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/gpu_device/gpu_device.hpp"
#include "platform/gl_scope.hpp"
#include "platform/home_thread.hpp"
#include "platform/quiet_stderr.hpp"
#include "platform/strings.hpp"
#include "platform/wait.hpp"
#include "runtime/async_mutex.hpp"

namespace trelliken {

namespace {

constexpr std::uint32_t kMaxStorageBuffersPerShaderStage = 12;
constexpr std::uint64_t kMaxStorageBufferBindingSize = 1ull << 30;
constexpr std::uint64_t kMaxBufferSize = (1ull << 31) - 1;

// WebGPU core defaults that the kernels rely on; a compatibility-level device starts lower.
constexpr std::uint32_t kWorkgroupSizeXY = 256;
constexpr std::uint32_t kWorkgroupSizeZ = 64;
constexpr std::uint32_t kInvocationsPerWorkgroup = 256;
constexpr std::uint32_t kWorkgroupStorageSize = 16384;
constexpr std::uint32_t kWorkgroupsPerDimension = 65535;

// Two creations in one process never ask the implementation for a device at the same time.
AsyncMutex& device_request_lock() {
  static AsyncMutex lock{asio::system_executor()};
  return lock;
}

// Compute needs no display; without a platform EGL finds none and no adapter appears.
void prefer_surfaceless_egl() {
  if (std::getenv("EGL_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr) {
    ::setenv("EGL_PLATFORM", "surfaceless", 0);
  }
}

// One instance for the whole process: adapters are enumerated once, and the drivers probed on the
// way stay loaded until the process ends.
platform::Instance process_instance() {
  static const platform::Instance& instance = *new platform::Instance([] {
    static const WGPUInstanceFeatureName kFeatures[] = {WGPUInstanceFeatureName_TimedWaitAny};
    WGPUInstanceDescriptor desc{};
    desc.requiredFeatureCount = 1;
    desc.requiredFeatures = kFeatures;
    return platform::Instance::acquire(wgpuCreateInstance(&desc));
  }());
  return instance;
}

struct AdapterReply {
  platform::Adapter adapter;
  std::string message;
};

AdapterReply request_adapter(const platform::Instance& instance, WGPUFeatureLevel level, WGPUBackendType backend) {
  WGPURequestAdapterOptions options{};
  options.featureLevel = level;
  options.powerPreference = WGPUPowerPreference_HighPerformance;
  options.forceFallbackAdapter = 0;
  options.backendType = backend;
  options.compatibleSurface = nullptr;

  AdapterReply reply;
  WGPURequestAdapterCallbackInfo cb{};
  cb.mode = WGPUCallbackMode_WaitAnyOnly;
  cb.callback = [](WGPURequestAdapterStatus status, WGPUAdapter adapter, WGPUStringView message, void* u1, void*) {
    auto* out = static_cast<AdapterReply*>(u1);
    if (status == WGPURequestAdapterStatus_Success && adapter) {
      out->adapter = platform::Adapter::acquire(adapter);
    } else {
      if (adapter) wgpuAdapterRelease(adapter);
      out->message = platform::to_string(message);
      if (out->message.empty()) out->message = fmt::format("adapter request status {}", static_cast<int>(status));
    }
  };
  cb.userdata1 = &reply;
  const WGPUFuture future = wgpuInstanceRequestAdapter(instance.get(), &options, cb);
  if (platform::wait_for(instance, future, std::nullopt) != platform::WaitOutcome::Completed &&
      !reply.adapter && reply.message.empty()) {
    reply.message = "adapter request did not complete";
  }
  return reply;
}

WGPUAdapterInfo adapter_info(const platform::Adapter& adapter) {
  WGPUAdapterInfo info{};
  wgpuAdapterGetInfo(adapter.get(), &info);
  return info;
}

BackendKind to_backend(WGPUBackendType type) {
  switch (type) {
    case WGPUBackendType_Vulkan: return BackendKind::Vulkan;
    case WGPUBackendType_Metal: return BackendKind::Metal;
    // Direct3D 11 is grouped with Direct3D 12: both are "the Direct3D backend" to callers.
    case WGPUBackendType_D3D11:
    case WGPUBackendType_D3D12: return BackendKind::Dx12;
    case WGPUBackendType_OpenGL:
    case WGPUBackendType_OpenGLES: return BackendKind::Gl;
    case WGPUBackendType_WebGPU: return BackendKind::BrowserWebGpu;
    default: return BackendKind::Empty;
  }
}

AdapterType to_adapter_type(WGPUAdapterType type) {
  switch (type) {
    case WGPUAdapterType_DiscreteGPU: return AdapterType::DiscreteGpu;
    case WGPUAdapterType_IntegratedGPU: return AdapterType::IntegratedGpu;
    case WGPUAdapterType_CPU: return AdapterType::Cpu;
    default: return AdapterType::Other;
  }
}

AdapterDetails details_of(const platform::Adapter& adapter) {
  WGPUAdapterInfo info = adapter_info(adapter);
  AdapterDetails d;
  d.name = platform::to_string(info.device);
  // The C interface has no separate driver name; its description is the driver's own text.
  d.driver = "";
  d.driver_info = platform::to_string(info.description);
  d.vendor = info.vendorID;
  d.device = info.deviceID;
  d.subgroup_min_size = info.subgroupMinSize;
  d.subgroup_max_size = info.subgroupMaxSize;
  d.device_type = to_adapter_type(info.adapterType);
  d.backend = to_backend(info.backendType);
  wgpuAdapterInfoFreeMembers(info);
  return d;
}

bool is_null_backend(const platform::Adapter& adapter) {
  WGPUAdapterInfo info = adapter_info(adapter);
  const bool null_backend = info.backendType == WGPUBackendType_Null;
  wgpuAdapterInfoFreeMembers(info);
  return null_backend;
}

struct ChosenAdapter {
  platform::Adapter adapter;
  bool compatibility = false;
  bool adapter_backend_is_gl = false;
};

// Core level first, as a real GPU offers it. The implementation's Null backend executes
// nothing, so it counts as no adapter; then the OpenGL routes at compatibility level, which is
// how a machine without a GPU reaches Mesa's software rasteriser.
Result<ChosenAdapter> choose_adapter(const platform::Instance& instance) {
  std::vector<std::string> reasons;
  auto core = request_adapter(instance, WGPUFeatureLevel_Core, WGPUBackendType_Undefined);
  if (core.adapter && !is_null_backend(core.adapter)) {
    const bool gl = details_of(core.adapter).backend == BackendKind::Gl;
    return ChosenAdapter{std::move(core.adapter), false, gl};
  }
  reasons.push_back(core.adapter ? "only the Null backend, which executes nothing" : core.message);

  for (WGPUBackendType backend : {WGPUBackendType_OpenGLES, WGPUBackendType_OpenGL}) {
    auto compat = request_adapter(instance, WGPUFeatureLevel_Compatibility, backend);
    if (compat.adapter && !is_null_backend(compat.adapter)) return ChosenAdapter{std::move(compat.adapter), true, true};
    if (!compat.adapter) reasons.push_back(compat.message);
  }
  std::vector<std::string> unique;
  for (auto& r : reasons) {
    if (!r.empty() && std::find(unique.begin(), unique.end(), r) == unique.end()) unique.push_back(r);
  }
  return fail(ComputeError::device(fmt::format("No adapter found by the WebGPU implementation (Dawn): {}",
                                               unique.empty() ? std::string("no reason given")
                                                              : fmt::to_string(fmt::join(unique, "; ")))));
}

WGPULimits undefined_limits() {
  WGPULimits l;
  std::memset(&l, 0xff, sizeof l);  // every u32 and u64 field "undefined"
  l.nextInChain = nullptr;
  return l;
}

WGPULimits requested_limits(const platform::Adapter& adapter, bool compatibility) {
  WGPULimits want = undefined_limits();
  want.maxStorageBuffersPerShaderStage = kMaxStorageBuffersPerShaderStage;
  want.maxStorageBufferBindingSize = kMaxStorageBufferBindingSize;
  want.maxBufferSize = kMaxBufferSize;
  if (!compatibility) return want;

  WGPULimits have{};
  if (wgpuAdapterGetLimits(adapter.get(), &have) != WGPUStatus_Success) return want;
  want.maxStorageBuffersPerShaderStage = std::min(kMaxStorageBuffersPerShaderStage, have.maxStorageBuffersPerShaderStage);
  want.maxStorageBufferBindingSize = std::min(kMaxStorageBufferBindingSize, have.maxStorageBufferBindingSize);
  want.maxBufferSize = std::min(kMaxBufferSize, have.maxBufferSize);
  want.maxComputeWorkgroupSizeX = std::min(kWorkgroupSizeXY, have.maxComputeWorkgroupSizeX);
  want.maxComputeWorkgroupSizeY = std::min(kWorkgroupSizeXY, have.maxComputeWorkgroupSizeY);
  want.maxComputeWorkgroupSizeZ = std::min(kWorkgroupSizeZ, have.maxComputeWorkgroupSizeZ);
  want.maxComputeInvocationsPerWorkgroup = std::min(kInvocationsPerWorkgroup, have.maxComputeInvocationsPerWorkgroup);
  want.maxComputeWorkgroupStorageSize = std::min(kWorkgroupStorageSize, have.maxComputeWorkgroupStorageSize);
  want.maxComputeWorkgroupsPerDimension = std::min(kWorkgroupsPerDimension, have.maxComputeWorkgroupsPerDimension);
  return want;
}

struct FeatureChoice {
  std::vector<WGPUFeatureName> request;
  std::vector<DeviceFeature> granted;
};

FeatureChoice choose_features(const platform::Adapter& adapter) {
  FeatureChoice c;
  // This implementation has no native 64-bit float shader feature, so ShaderF64 is never granted.
  const std::pair<DeviceFeature, WGPUFeatureName> optional[] = {
      {DeviceFeature::ShaderF16, WGPUFeatureName_ShaderF16},
      {DeviceFeature::TimestampQuery, WGPUFeatureName_TimestampQuery},
      {DeviceFeature::Subgroups, WGPUFeatureName_Subgroups},
  };
  for (auto [feature, name] : optional) {
    if (wgpuAdapterHasFeature(adapter.get(), name)) {
      c.request.push_back(name);
      c.granted.push_back(feature);
    }
  }
  // The library calls into one device from several threads; the implementation serialises
  // those calls only with this feature.
  if (wgpuAdapterHasFeature(adapter.get(), WGPUFeatureName_ImplicitDeviceSynchronization)) {
    c.request.push_back(WGPUFeatureName_ImplicitDeviceSynchronization);
  }
  return c;
}

// Owned by the implementation's callbacks for the device's life; freed by the device-lost
// callback, which the implementation calls exactly once (loss, destruction or shutdown) and
// after which no uncaptured error is reported.
struct CallbackSink {
  std::shared_ptr<DeviceFlags> flags;
};

void on_device_lost(WGPUDevice const*, WGPUDeviceLostReason reason, WGPUStringView, void* u1, void*) {
  auto* sink = static_cast<CallbackSink*>(u1);
  if (reason != WGPUDeviceLostReason_Destroyed && reason != WGPUDeviceLostReason_CallbackCancelled) {
    sink->flags->device_lost.store(true, std::memory_order_release);
  }
  delete sink;
}

void on_uncaptured_error(WGPUDevice const*, WGPUErrorType, WGPUStringView message, void* u1, void*) {
  auto* sink = static_cast<CallbackSink*>(u1);
  handle_uncaptured_error(*sink->flags, platform::to_string(message));
}

struct DeviceReply {
  platform::Device device;
  std::string message;
};

DeviceReply request_device(const platform::Instance& instance, const platform::Adapter& adapter,
                           const FeatureChoice& features, const WGPULimits& limits, CallbackSink* sink) {
  static constexpr std::string_view kLabel = "Trelliken Device";
  WGPUDeviceDescriptor desc{};
  desc.label = platform::to_view(kLabel);
  desc.requiredFeatureCount = features.request.size();
  desc.requiredFeatures = features.request.data();
  desc.requiredLimits = &limits;
  desc.defaultQueue.label = platform::null_view();
  desc.deviceLostCallbackInfo.mode = WGPUCallbackMode_AllowSpontaneous;
  desc.deviceLostCallbackInfo.callback = on_device_lost;
  desc.deviceLostCallbackInfo.userdata1 = sink;
  desc.uncapturedErrorCallbackInfo.callback = on_uncaptured_error;
  desc.uncapturedErrorCallbackInfo.userdata1 = sink;

  DeviceReply reply;
  WGPURequestDeviceCallbackInfo cb{};
  cb.mode = WGPUCallbackMode_WaitAnyOnly;
  cb.callback = [](WGPURequestDeviceStatus status, WGPUDevice device, WGPUStringView message, void* u1, void*) {
    auto* out = static_cast<DeviceReply*>(u1);
    if (status == WGPURequestDeviceStatus_Success && device) {
      out->device = platform::Device::acquire(device);
    } else {
      if (device) wgpuDeviceRelease(device);
      out->message = platform::to_string(message);
      if (out->message.empty()) out->message = fmt::format("device request status {}", static_cast<int>(status));
    }
  };
  cb.userdata1 = &reply;
  const WGPUFuture future = wgpuAdapterRequestDevice(adapter.get(), &desc, cb);
  if (platform::wait_for(instance, future, std::nullopt) != platform::WaitOutcome::Completed && !reply.device &&
      reply.message.empty()) {
    reply.message = "device request did not complete";
  }
  return reply;
}

}  // namespace

asio::awaitable<Result<std::shared_ptr<GpuDevice>>> GpuDevice::create() { return create_impl(nullptr); }

asio::awaitable<Result<std::shared_ptr<GpuDevice>>> GpuDevice::create_impl(std::shared_ptr<BufferQuota> quota) {
  prefer_surfaceless_egl();
  platform::Instance instance;
  Result<ChosenAdapter> chosen = fail(ComputeError::device("unreachable"));
  platform::run_on_home_thread([&] {
    platform::QuietStderr quiet;
    instance = process_instance();
    if (instance) chosen = choose_adapter(instance);
    platform::release_current_gl_context();
  });
  if (!instance) {
    co_return fail(ComputeError::device("No adapter found by the WebGPU implementation (Dawn): instance creation failed"));
  }
  if (!chosen) co_return fail(chosen.error());
  const platform::Adapter& adapter = chosen->adapter;

  AdapterDetails details = details_of(adapter);
  FeatureChoice features = choose_features(adapter);
  const WGPULimits limits = requested_limits(adapter, chosen->compatibility);

  auto flags = std::make_shared<DeviceFlags>();
  // On a failed request the implementation still reports the device lost (FailedCreation),
  // which frees the sink.
  auto* sink = new CallbackSink{flags};
  DeviceReply reply;
  {
    auto guard = co_await device_request_lock().lock();
    platform::run_on_home_thread([&] {
      if (chosen->adapter_backend_is_gl) platform::enable_gl_call_scopes();
      reply = request_device(instance, adapter, features, limits, sink);
      platform::release_current_gl_context();
    });
  }
  if (!reply.device) co_return fail(ComputeError::device(fmt::format("Failed to create device: {}", reply.message)));

  Parts parts;
  parts.adapter = std::move(details);
  parts.instance = std::move(instance);
  parts.queue = platform::Queue::acquire(wgpuDeviceGetQueue(reply.device.get()));
  parts.device = std::move(reply.device);
  for (DeviceFeature f : features.granted) parts.features.push_back(f);
  parts.flags = std::move(flags);
  parts.budget = concurrency_budget_from_env(parts.adapter.device_type);
  parts.buffer_quota = std::move(quota);
  co_return std::shared_ptr<GpuDevice>(new GpuDevice(std::move(parts)));
}

GpuDevice::GpuDevice(Parts parts)
    : adapter_(std::move(parts.adapter)),
      instance_(std::move(parts.instance)),
      device_(std::move(parts.device)),
      queue_(std::move(parts.queue)),
      features_(std::move(parts.features)),
      flags_(std::move(parts.flags)),
      submit_lock_(std::make_shared<std::mutex>()),
      active_operations_(std::make_shared<std::atomic<std::uint32_t>>(0)),
      concurrency_limiter_(std::make_shared<ConcurrencyLimiter>(parts.budget)),
      buffer_quota_(std::move(parts.buffer_quota)) {}

GpuDevice::~GpuDevice() = default;

DeviceLimits GpuDevice::limits() const {
  WGPULimits l{};
  DeviceLimits out;
  if (wgpuDeviceGetLimits(device_.get(), &l) != WGPUStatus_Success) return out;
  out.max_buffer_size = l.maxBufferSize;
  out.max_storage_buffer_binding_size = l.maxStorageBufferBindingSize;
  out.max_uniform_buffer_binding_size = l.maxUniformBufferBindingSize;
  out.max_storage_buffers_per_shader_stage = l.maxStorageBuffersPerShaderStage;
  out.max_uniform_buffers_per_shader_stage = l.maxUniformBuffersPerShaderStage;
  out.max_bind_groups = l.maxBindGroups;
  out.max_bindings_per_bind_group = l.maxBindingsPerBindGroup;
  out.max_compute_workgroup_size_x = l.maxComputeWorkgroupSizeX;
  out.max_compute_workgroup_size_y = l.maxComputeWorkgroupSizeY;
  out.max_compute_workgroup_size_z = l.maxComputeWorkgroupSizeZ;
  out.max_compute_invocations_per_workgroup = l.maxComputeInvocationsPerWorkgroup;
  out.max_compute_workgroup_storage_size = l.maxComputeWorkgroupStorageSize;
  out.max_compute_workgroups_per_dimension = l.maxComputeWorkgroupsPerDimension;
  out.min_storage_buffer_offset_alignment = l.minStorageBufferOffsetAlignment;
  out.min_uniform_buffer_offset_alignment = l.minUniformBufferOffsetAlignment;
  return out;
}

bool GpuDevice::has_feature(DeviceFeature f) const noexcept {
  return std::find(features_.begin(), features_.end(), f) != features_.end();
}

void GpuDevice::force_loss_for_testing(std::string_view reason) {
  wgpuDeviceForceLoss(device_.get(), WGPUDeviceLostReason_Unknown, platform::to_view(reason));
}

}  // namespace trelliken

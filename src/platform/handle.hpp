#pragma once
// Owning wrappers for WebGPU handles.
//
// Every wrapper owns exactly one reference of the implementation's reference-counted object.
// Copies share the object (copy adds a reference), moves steal it, destruction releases it.
// All handle types here are shared this way: the implementation's objects are themselves
// reference counted, and the library shares devices, queues, buffers and pipelines freely.

#include <utility>

#include "platform/gl_scope.hpp"
#include "platform/webgpu_c.h"

namespace trelliken::platform {

template <typename Raw>
struct HandleTraits;

#define TRELLIKEN_HANDLE_TRAITS(Raw, Prefix)                 \
  template <>                                                \
  struct HandleTraits<Raw> {                                 \
    static void add_ref(Raw h) { Prefix##AddRef(h); }        \
    static void release(Raw h) { Prefix##Release(h); }       \
  };

TRELLIKEN_HANDLE_TRAITS(WGPUInstance, wgpuInstance)
TRELLIKEN_HANDLE_TRAITS(WGPUAdapter, wgpuAdapter)
TRELLIKEN_HANDLE_TRAITS(WGPUDevice, wgpuDevice)
TRELLIKEN_HANDLE_TRAITS(WGPUQueue, wgpuQueue)
TRELLIKEN_HANDLE_TRAITS(WGPUBuffer, wgpuBuffer)
TRELLIKEN_HANDLE_TRAITS(WGPUShaderModule, wgpuShaderModule)
TRELLIKEN_HANDLE_TRAITS(WGPUBindGroupLayout, wgpuBindGroupLayout)
TRELLIKEN_HANDLE_TRAITS(WGPUBindGroup, wgpuBindGroup)
TRELLIKEN_HANDLE_TRAITS(WGPUPipelineLayout, wgpuPipelineLayout)
TRELLIKEN_HANDLE_TRAITS(WGPUComputePipeline, wgpuComputePipeline)
TRELLIKEN_HANDLE_TRAITS(WGPUCommandEncoder, wgpuCommandEncoder)
TRELLIKEN_HANDLE_TRAITS(WGPUCommandBuffer, wgpuCommandBuffer)
TRELLIKEN_HANDLE_TRAITS(WGPUComputePassEncoder, wgpuComputePassEncoder)

#undef TRELLIKEN_HANDLE_TRAITS

/// One owned reference to a WebGPU object (or nothing).
template <typename Raw>
class Handle {
 public:
  Handle() noexcept = default;
  Handle(std::nullptr_t) noexcept {}

  /// Adopts a reference the caller already owns (what every Create*/Get* call returns).
  [[nodiscard]] static Handle acquire(Raw raw) noexcept {
    Handle h;
    h.raw_ = raw;
    return h;
  }

  Handle(const Handle& other) noexcept : raw_(other.raw_) {
    if (raw_) HandleTraits<Raw>::add_ref(raw_);
  }
  Handle(Handle&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  Handle& operator=(Handle other) noexcept {
    std::swap(raw_, other.raw_);
    return *this;
  }
  ~Handle() { reset(); }

  void reset() noexcept {
    if (raw_) {
      // The last reference destroys the object, which may touch the OpenGL context.
      GlCallScope scope;
      HandleTraits<Raw>::release(std::exchange(raw_, nullptr));
    }
  }

  /// Gives up ownership without releasing.
  [[nodiscard]] Raw release() noexcept { return std::exchange(raw_, nullptr); }

  [[nodiscard]] Raw get() const noexcept { return raw_; }
  explicit operator bool() const noexcept { return raw_ != nullptr; }
  friend bool operator==(const Handle& a, const Handle& b) noexcept { return a.raw_ == b.raw_; }

 private:
  Raw raw_ = nullptr;
};

using Instance = Handle<WGPUInstance>;
using Adapter = Handle<WGPUAdapter>;
using Device = Handle<WGPUDevice>;
using Queue = Handle<WGPUQueue>;
using Buffer = Handle<WGPUBuffer>;
using ShaderModule = Handle<WGPUShaderModule>;
using BindGroupLayout = Handle<WGPUBindGroupLayout>;
using BindGroup = Handle<WGPUBindGroup>;
using PipelineLayout = Handle<WGPUPipelineLayout>;
using ComputePipeline = Handle<WGPUComputePipeline>;
using CommandEncoder = Handle<WGPUCommandEncoder>;
using CommandBuffer = Handle<WGPUCommandBuffer>;
using ComputePassEncoder = Handle<WGPUComputePassEncoder>;

}  // namespace trelliken::platform

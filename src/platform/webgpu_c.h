/* The subset of the WebGPU C interface that Trelliken uses, declared for the prebuilt Dawn library
 * it links against (no header ships with that library). Layouts follow that build exactly; where it
 * differs from the published 2025 header (WGPULimits has four extra trailing fields, feature numbers
 * follow the older numbering) the build wins.
 *
 * Only src/platform includes this file; everything else goes through the wrappers there. */
#ifndef TRELLIKEN_PLATFORM_WEBGPU_C_H
#define TRELLIKEN_PLATFORM_WEBGPU_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WGPU_WHOLE_SIZE (UINT64_MAX)
#define WGPU_STRLEN (SIZE_MAX)
#define WGPU_LIMIT_U32_UNDEFINED (UINT32_MAX)
#define WGPU_LIMIT_U64_UNDEFINED (UINT64_MAX)
#define WGPU_WHOLE_MAP_SIZE (SIZE_MAX)

typedef uint32_t WGPUBool;
typedef uint64_t WGPUFlags;

typedef struct WGPUAdapterImpl* WGPUAdapter;
typedef struct WGPUBindGroupImpl* WGPUBindGroup;
typedef struct WGPUBindGroupLayoutImpl* WGPUBindGroupLayout;
typedef struct WGPUBufferImpl* WGPUBuffer;
typedef struct WGPUCommandBufferImpl* WGPUCommandBuffer;
typedef struct WGPUCommandEncoderImpl* WGPUCommandEncoder;
typedef struct WGPUComputePassEncoderImpl* WGPUComputePassEncoder;
typedef struct WGPUComputePipelineImpl* WGPUComputePipeline;
typedef struct WGPUDeviceImpl* WGPUDevice;
typedef struct WGPUInstanceImpl* WGPUInstance;
typedef struct WGPUPipelineLayoutImpl* WGPUPipelineLayout;
typedef struct WGPUQuerySetImpl* WGPUQuerySet;
typedef struct WGPUQueueImpl* WGPUQueue;
typedef struct WGPUSamplerImpl* WGPUSampler;
typedef struct WGPUShaderModuleImpl* WGPUShaderModule;
typedef struct WGPUSurfaceImpl* WGPUSurface;
typedef struct WGPUTextureViewImpl* WGPUTextureView;

/* Enumerations (values of this build). */
typedef enum WGPUCallbackMode {
  WGPUCallbackMode_WaitAnyOnly = 0x00000001,
  WGPUCallbackMode_AllowProcessEvents = 0x00000002,
  WGPUCallbackMode_AllowSpontaneous = 0x00000003,
  WGPUCallbackMode_Force32 = 0x7FFFFFFF
} WGPUCallbackMode;

typedef enum WGPUWaitStatus {
  WGPUWaitStatus_Success = 0x00000001,
  WGPUWaitStatus_TimedOut = 0x00000002,
  WGPUWaitStatus_Error = 0x00000003,
  WGPUWaitStatus_Force32 = 0x7FFFFFFF
} WGPUWaitStatus;

typedef enum WGPURequestAdapterStatus {
  WGPURequestAdapterStatus_Success = 0x00000001,
  WGPURequestAdapterStatus_CallbackCancelled = 0x00000002,
  WGPURequestAdapterStatus_Unavailable = 0x00000003,
  WGPURequestAdapterStatus_Error = 0x00000004,
  WGPURequestAdapterStatus_Unknown = 0x00000005,
  WGPURequestAdapterStatus_Force32 = 0x7FFFFFFF
} WGPURequestAdapterStatus;

typedef enum WGPURequestDeviceStatus {
  WGPURequestDeviceStatus_Success = 0x00000001,
  WGPURequestDeviceStatus_CallbackCancelled = 0x00000002,
  WGPURequestDeviceStatus_Error = 0x00000003,
  WGPURequestDeviceStatus_Unknown = 0x00000004,
  WGPURequestDeviceStatus_Force32 = 0x7FFFFFFF
} WGPURequestDeviceStatus;

typedef enum WGPUPowerPreference {
  WGPUPowerPreference_Undefined = 0x00000000,
  WGPUPowerPreference_LowPower = 0x00000001,
  WGPUPowerPreference_HighPerformance = 0x00000002,
  WGPUPowerPreference_Force32 = 0x7FFFFFFF
} WGPUPowerPreference;

typedef enum WGPUFeatureLevel {
  WGPUFeatureLevel_Undefined = 0x00000000,
  WGPUFeatureLevel_Compatibility = 0x00000001,
  WGPUFeatureLevel_Core = 0x00000002,
  WGPUFeatureLevel_Force32 = 0x7FFFFFFF
} WGPUFeatureLevel;

typedef enum WGPUBackendType {
  WGPUBackendType_Undefined = 0x00000000,
  WGPUBackendType_Null = 0x00000001,
  WGPUBackendType_WebGPU = 0x00000002,
  WGPUBackendType_D3D11 = 0x00000003,
  WGPUBackendType_D3D12 = 0x00000004,
  WGPUBackendType_Metal = 0x00000005,
  WGPUBackendType_Vulkan = 0x00000006,
  WGPUBackendType_OpenGL = 0x00000007,
  WGPUBackendType_OpenGLES = 0x00000008,
  WGPUBackendType_Force32 = 0x7FFFFFFF
} WGPUBackendType;

typedef enum WGPUAdapterType {
  WGPUAdapterType_DiscreteGPU = 0x00000001,
  WGPUAdapterType_IntegratedGPU = 0x00000002,
  WGPUAdapterType_CPU = 0x00000003,
  WGPUAdapterType_Unknown = 0x00000004,
  WGPUAdapterType_Force32 = 0x7FFFFFFF
} WGPUAdapterType;

typedef enum WGPUFeatureName {
  WGPUFeatureName_TimestampQuery = 3,
  WGPUFeatureName_ShaderF16 = 10,
  WGPUFeatureName_Subgroups = 17,
  WGPUFeatureName_CoreFeaturesAndLimits = 18,
  WGPUFeatureName_ImplicitDeviceSynchronization = 0x00050004,
  WGPUFeatureName_Force32 = 0x7FFFFFFF
} WGPUFeatureName;

typedef enum WGPUInstanceFeatureName {
  WGPUInstanceFeatureName_TimedWaitAny = 0x00000001,
  WGPUInstanceFeatureName_ShaderSourceSPIRV = 0x00000002,
  WGPUInstanceFeatureName_MultipleDevicesPerAdapter = 0x00000003,
  WGPUInstanceFeatureName_Force32 = 0x7FFFFFFF
} WGPUInstanceFeatureName;

typedef enum WGPUSType {
  WGPUSType_ShaderSourceSPIRV = 0x00000001,
  WGPUSType_ShaderSourceWGSL = 0x00000002,
  WGPUSType_Force32 = 0x7FFFFFFF
} WGPUSType;

typedef enum WGPUErrorType {
  WGPUErrorType_NoError = 0x00000001,
  WGPUErrorType_Validation = 0x00000002,
  WGPUErrorType_OutOfMemory = 0x00000003,
  WGPUErrorType_Internal = 0x00000004,
  WGPUErrorType_Unknown = 0x00000005,
  WGPUErrorType_Force32 = 0x7FFFFFFF
} WGPUErrorType;

typedef enum WGPUErrorFilter {
  WGPUErrorFilter_Validation = 0x00000001,
  WGPUErrorFilter_OutOfMemory = 0x00000002,
  WGPUErrorFilter_Internal = 0x00000003,
  WGPUErrorFilter_Force32 = 0x7FFFFFFF
} WGPUErrorFilter;

typedef enum WGPUDeviceLostReason {
  WGPUDeviceLostReason_Unknown = 0x00000001,
  WGPUDeviceLostReason_Destroyed = 0x00000002,
  WGPUDeviceLostReason_CallbackCancelled = 0x00000003,
  WGPUDeviceLostReason_FailedCreation = 0x00000004,
  WGPUDeviceLostReason_Force32 = 0x7FFFFFFF
} WGPUDeviceLostReason;

typedef enum WGPUBufferBindingType {
  WGPUBufferBindingType_BindingNotUsed = 0x00000000,
  WGPUBufferBindingType_Undefined = 0x00000001,
  WGPUBufferBindingType_Uniform = 0x00000002,
  WGPUBufferBindingType_Storage = 0x00000003,
  WGPUBufferBindingType_ReadOnlyStorage = 0x00000004,
  WGPUBufferBindingType_Force32 = 0x7FFFFFFF
} WGPUBufferBindingType;

typedef enum WGPUSamplerBindingType {
  WGPUSamplerBindingType_BindingNotUsed = 0x00000000,
  WGPUSamplerBindingType_Force32 = 0x7FFFFFFF
} WGPUSamplerBindingType;

typedef enum WGPUTextureSampleType {
  WGPUTextureSampleType_BindingNotUsed = 0x00000000,
  WGPUTextureSampleType_Force32 = 0x7FFFFFFF
} WGPUTextureSampleType;

typedef enum WGPUTextureViewDimension {
  WGPUTextureViewDimension_Undefined = 0x00000000,
  WGPUTextureViewDimension_Force32 = 0x7FFFFFFF
} WGPUTextureViewDimension;

typedef enum WGPUStorageTextureAccess {
  WGPUStorageTextureAccess_BindingNotUsed = 0x00000000,
  WGPUStorageTextureAccess_Force32 = 0x7FFFFFFF
} WGPUStorageTextureAccess;

typedef enum WGPUTextureFormat {
  WGPUTextureFormat_Undefined = 0x00000000,
  WGPUTextureFormat_Force32 = 0x7FFFFFFF
} WGPUTextureFormat;

typedef enum WGPUMapAsyncStatus {
  WGPUMapAsyncStatus_Success = 0x00000001,
  WGPUMapAsyncStatus_CallbackCancelled = 0x00000002,
  WGPUMapAsyncStatus_Error = 0x00000003,
  WGPUMapAsyncStatus_Aborted = 0x00000004,
  WGPUMapAsyncStatus_Force32 = 0x7FFFFFFF
} WGPUMapAsyncStatus;

typedef enum WGPUQueueWorkDoneStatus {
  WGPUQueueWorkDoneStatus_Success = 0x00000001,
  WGPUQueueWorkDoneStatus_CallbackCancelled = 0x00000002,
  WGPUQueueWorkDoneStatus_Error = 0x00000003,
  WGPUQueueWorkDoneStatus_Force32 = 0x7FFFFFFF
} WGPUQueueWorkDoneStatus;

typedef enum WGPUPopErrorScopeStatus {
  WGPUPopErrorScopeStatus_Success = 0x00000001,
  WGPUPopErrorScopeStatus_CallbackCancelled = 0x00000002,
  WGPUPopErrorScopeStatus_Error = 0x00000003,
  WGPUPopErrorScopeStatus_Force32 = 0x7FFFFFFF
} WGPUPopErrorScopeStatus;

typedef enum WGPUCompilationMessageType {
  WGPUCompilationMessageType_Error = 0x00000001,
  WGPUCompilationMessageType_Warning = 0x00000002,
  WGPUCompilationMessageType_Info = 0x00000003,
  WGPUCompilationMessageType_Force32 = 0x7FFFFFFF
} WGPUCompilationMessageType;

typedef enum WGPUCompilationInfoRequestStatus {
  WGPUCompilationInfoRequestStatus_Success = 0x00000001,
  WGPUCompilationInfoRequestStatus_CallbackCancelled = 0x00000002,
  WGPUCompilationInfoRequestStatus_Force32 = 0x7FFFFFFF
} WGPUCompilationInfoRequestStatus;

typedef enum WGPUStatus {
  WGPUStatus_Success = 0x00000001,
  WGPUStatus_Error = 0x00000002,
  WGPUStatus_Force32 = 0x7FFFFFFF
} WGPUStatus;

typedef WGPUFlags WGPUBufferUsage;
static const WGPUBufferUsage WGPUBufferUsage_None = 0x0000000000000000;
static const WGPUBufferUsage WGPUBufferUsage_MapRead = 0x0000000000000001;
static const WGPUBufferUsage WGPUBufferUsage_MapWrite = 0x0000000000000002;
static const WGPUBufferUsage WGPUBufferUsage_CopySrc = 0x0000000000000004;
static const WGPUBufferUsage WGPUBufferUsage_CopyDst = 0x0000000000000008;
static const WGPUBufferUsage WGPUBufferUsage_Uniform = 0x0000000000000040;
static const WGPUBufferUsage WGPUBufferUsage_Storage = 0x0000000000000080;

typedef WGPUFlags WGPUMapMode;
static const WGPUMapMode WGPUMapMode_None = 0x0000000000000000;
static const WGPUMapMode WGPUMapMode_Read = 0x0000000000000001;
static const WGPUMapMode WGPUMapMode_Write = 0x0000000000000002;

typedef WGPUFlags WGPUShaderStage;
static const WGPUShaderStage WGPUShaderStage_None = 0x0000000000000000;
static const WGPUShaderStage WGPUShaderStage_Compute = 0x0000000000000004;

/* Structures. */
typedef struct WGPUStringView {
  char const* data;
  size_t length;
} WGPUStringView;

typedef struct WGPUChainedStruct {
  struct WGPUChainedStruct* next;
  WGPUSType sType;
} WGPUChainedStruct;

typedef struct WGPUFuture {
  uint64_t id;
} WGPUFuture;

typedef struct WGPUFutureWaitInfo {
  WGPUFuture future;
  WGPUBool completed;
} WGPUFutureWaitInfo;

typedef struct WGPUInstanceLimits {
  WGPUChainedStruct* nextInChain;
  size_t timedWaitAnyMaxCount;
} WGPUInstanceLimits;

typedef struct WGPUInstanceDescriptor {
  WGPUChainedStruct* nextInChain;
  size_t requiredFeatureCount;
  WGPUInstanceFeatureName const* requiredFeatures;
  WGPUInstanceLimits const* requiredLimits;
} WGPUInstanceDescriptor;

typedef struct WGPURequestAdapterOptions {
  WGPUChainedStruct* nextInChain;
  WGPUFeatureLevel featureLevel;
  WGPUPowerPreference powerPreference;
  WGPUBool forceFallbackAdapter;
  WGPUBackendType backendType;
  WGPUSurface compatibleSurface;
} WGPURequestAdapterOptions;

typedef void (*WGPURequestAdapterCallback)(WGPURequestAdapterStatus status, WGPUAdapter adapter,
                                           WGPUStringView message, void* userdata1, void* userdata2);
typedef void (*WGPURequestDeviceCallback)(WGPURequestDeviceStatus status, WGPUDevice device,
                                          WGPUStringView message, void* userdata1, void* userdata2);
typedef void (*WGPUDeviceLostCallback)(WGPUDevice const* device, WGPUDeviceLostReason reason,
                                       WGPUStringView message, void* userdata1, void* userdata2);
typedef void (*WGPUUncapturedErrorCallback)(WGPUDevice const* device, WGPUErrorType type,
                                            WGPUStringView message, void* userdata1, void* userdata2);
typedef void (*WGPUBufferMapCallback)(WGPUMapAsyncStatus status, WGPUStringView message, void* userdata1,
                                      void* userdata2);
typedef void (*WGPUQueueWorkDoneCallback)(WGPUQueueWorkDoneStatus status, WGPUStringView message,
                                          void* userdata1, void* userdata2);
typedef void (*WGPUPopErrorScopeCallback)(WGPUPopErrorScopeStatus status, WGPUErrorType type,
                                          WGPUStringView message, void* userdata1, void* userdata2);
struct WGPUCompilationInfo;
typedef void (*WGPUCompilationInfoCallback)(WGPUCompilationInfoRequestStatus status,
                                            struct WGPUCompilationInfo const* compilationInfo,
                                            void* userdata1, void* userdata2);

typedef struct WGPURequestAdapterCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUCallbackMode mode;
  WGPURequestAdapterCallback callback;
  void* userdata1;
  void* userdata2;
} WGPURequestAdapterCallbackInfo;

typedef struct WGPURequestDeviceCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUCallbackMode mode;
  WGPURequestDeviceCallback callback;
  void* userdata1;
  void* userdata2;
} WGPURequestDeviceCallbackInfo;

typedef struct WGPUAdapterInfo {
  WGPUChainedStruct* nextInChain;
  WGPUStringView vendor;
  WGPUStringView architecture;
  WGPUStringView device;
  WGPUStringView description;
  WGPUBackendType backendType;
  WGPUAdapterType adapterType;
  uint32_t vendorID;
  uint32_t deviceID;
  uint32_t subgroupMinSize;
  uint32_t subgroupMaxSize;
} WGPUAdapterInfo;

typedef struct WGPUSupportedFeatures {
  size_t featureCount;
  WGPUFeatureName const* features;
} WGPUSupportedFeatures;

typedef struct WGPULimits {
  WGPUChainedStruct* nextInChain;
  uint32_t maxTextureDimension1D;
  uint32_t maxTextureDimension2D;
  uint32_t maxTextureDimension3D;
  uint32_t maxTextureArrayLayers;
  uint32_t maxBindGroups;
  uint32_t maxBindGroupsPlusVertexBuffers;
  uint32_t maxBindingsPerBindGroup;
  uint32_t maxDynamicUniformBuffersPerPipelineLayout;
  uint32_t maxDynamicStorageBuffersPerPipelineLayout;
  uint32_t maxSampledTexturesPerShaderStage;
  uint32_t maxSamplersPerShaderStage;
  uint32_t maxStorageBuffersPerShaderStage;
  uint32_t maxStorageTexturesPerShaderStage;
  uint32_t maxUniformBuffersPerShaderStage;
  uint64_t maxUniformBufferBindingSize;
  uint64_t maxStorageBufferBindingSize;
  uint32_t minUniformBufferOffsetAlignment;
  uint32_t minStorageBufferOffsetAlignment;
  uint32_t maxVertexBuffers;
  uint64_t maxBufferSize;
  uint32_t maxVertexAttributes;
  uint32_t maxVertexBufferArrayStride;
  uint32_t maxInterStageShaderVariables;
  uint32_t maxColorAttachments;
  uint32_t maxColorAttachmentBytesPerSample;
  uint32_t maxComputeWorkgroupStorageSize;
  uint32_t maxComputeInvocationsPerWorkgroup;
  uint32_t maxComputeWorkgroupSizeX;
  uint32_t maxComputeWorkgroupSizeY;
  uint32_t maxComputeWorkgroupSizeZ;
  uint32_t maxComputeWorkgroupsPerDimension;
  uint32_t maxImmediateSize;
  uint32_t maxStorageBuffersInVertexStage;
  uint32_t maxStorageTexturesInVertexStage;
  uint32_t maxStorageBuffersInFragmentStage;
  uint32_t maxStorageTexturesInFragmentStage;
} WGPULimits;

typedef struct WGPUQueueDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
} WGPUQueueDescriptor;

typedef struct WGPUDeviceLostCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUCallbackMode mode;
  WGPUDeviceLostCallback callback;
  void* userdata1;
  void* userdata2;
} WGPUDeviceLostCallbackInfo;

typedef struct WGPUUncapturedErrorCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUUncapturedErrorCallback callback;
  void* userdata1;
  void* userdata2;
} WGPUUncapturedErrorCallbackInfo;

typedef struct WGPUDeviceDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
  size_t requiredFeatureCount;
  WGPUFeatureName const* requiredFeatures;
  WGPULimits const* requiredLimits;
  WGPUQueueDescriptor defaultQueue;
  WGPUDeviceLostCallbackInfo deviceLostCallbackInfo;
  WGPUUncapturedErrorCallbackInfo uncapturedErrorCallbackInfo;
} WGPUDeviceDescriptor;

typedef struct WGPUBufferDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
  WGPUBufferUsage usage;
  uint64_t size;
  WGPUBool mappedAtCreation;
} WGPUBufferDescriptor;

typedef struct WGPUShaderSourceWGSL {
  WGPUChainedStruct chain;
  WGPUStringView code;
} WGPUShaderSourceWGSL;

typedef struct WGPUShaderSourceSPIRV {
  WGPUChainedStruct chain;
  uint32_t codeSize;
  uint32_t const* code;
} WGPUShaderSourceSPIRV;

typedef struct WGPUShaderModuleDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
} WGPUShaderModuleDescriptor;

typedef struct WGPUBufferBindingLayout {
  WGPUChainedStruct* nextInChain;
  WGPUBufferBindingType type;
  WGPUBool hasDynamicOffset;
  uint64_t minBindingSize;
} WGPUBufferBindingLayout;

typedef struct WGPUSamplerBindingLayout {
  WGPUChainedStruct* nextInChain;
  WGPUSamplerBindingType type;
} WGPUSamplerBindingLayout;

typedef struct WGPUTextureBindingLayout {
  WGPUChainedStruct* nextInChain;
  WGPUTextureSampleType sampleType;
  WGPUTextureViewDimension viewDimension;
  WGPUBool multisampled;
} WGPUTextureBindingLayout;

typedef struct WGPUStorageTextureBindingLayout {
  WGPUChainedStruct* nextInChain;
  WGPUStorageTextureAccess access;
  WGPUTextureFormat format;
  WGPUTextureViewDimension viewDimension;
} WGPUStorageTextureBindingLayout;

typedef struct WGPUBindGroupLayoutEntry {
  WGPUChainedStruct* nextInChain;
  uint32_t binding;
  WGPUShaderStage visibility;
  uint32_t bindingArraySize;
  WGPUBufferBindingLayout buffer;
  WGPUSamplerBindingLayout sampler;
  WGPUTextureBindingLayout texture;
  WGPUStorageTextureBindingLayout storageTexture;
} WGPUBindGroupLayoutEntry;

typedef struct WGPUBindGroupLayoutDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
  size_t entryCount;
  WGPUBindGroupLayoutEntry const* entries;
} WGPUBindGroupLayoutDescriptor;

typedef struct WGPUBindGroupEntry {
  WGPUChainedStruct* nextInChain;
  uint32_t binding;
  WGPUBuffer buffer;
  uint64_t offset;
  uint64_t size;
  WGPUSampler sampler;
  WGPUTextureView textureView;
} WGPUBindGroupEntry;

typedef struct WGPUBindGroupDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
  WGPUBindGroupLayout layout;
  size_t entryCount;
  WGPUBindGroupEntry const* entries;
} WGPUBindGroupDescriptor;

typedef struct WGPUPipelineLayoutDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
  size_t bindGroupLayoutCount;
  WGPUBindGroupLayout const* bindGroupLayouts;
  uint32_t immediateSize;
} WGPUPipelineLayoutDescriptor;

typedef struct WGPUConstantEntry {
  WGPUChainedStruct* nextInChain;
  WGPUStringView key;
  double value;
} WGPUConstantEntry;

typedef struct WGPUComputeState {
  WGPUChainedStruct* nextInChain;
  WGPUShaderModule module;
  WGPUStringView entryPoint;
  size_t constantCount;
  WGPUConstantEntry const* constants;
} WGPUComputeState;

typedef struct WGPUComputePipelineDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
  WGPUPipelineLayout layout;
  WGPUComputeState compute;
} WGPUComputePipelineDescriptor;

typedef struct WGPUCommandEncoderDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
} WGPUCommandEncoderDescriptor;

typedef struct WGPUPassTimestampWrites {
  WGPUChainedStruct* nextInChain;
  WGPUQuerySet querySet;
  uint32_t beginningOfPassWriteIndex;
  uint32_t endOfPassWriteIndex;
} WGPUPassTimestampWrites;

typedef struct WGPUComputePassDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
  WGPUPassTimestampWrites const* timestampWrites;
} WGPUComputePassDescriptor;

typedef struct WGPUCommandBufferDescriptor {
  WGPUChainedStruct* nextInChain;
  WGPUStringView label;
} WGPUCommandBufferDescriptor;

typedef struct WGPUBufferMapCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUCallbackMode mode;
  WGPUBufferMapCallback callback;
  void* userdata1;
  void* userdata2;
} WGPUBufferMapCallbackInfo;

typedef struct WGPUQueueWorkDoneCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUCallbackMode mode;
  WGPUQueueWorkDoneCallback callback;
  void* userdata1;
  void* userdata2;
} WGPUQueueWorkDoneCallbackInfo;

typedef struct WGPUPopErrorScopeCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUCallbackMode mode;
  WGPUPopErrorScopeCallback callback;
  void* userdata1;
  void* userdata2;
} WGPUPopErrorScopeCallbackInfo;

typedef struct WGPUCompilationMessage {
  WGPUChainedStruct* nextInChain;
  WGPUStringView message;
  WGPUCompilationMessageType type;
  uint64_t lineNum;
  uint64_t linePos;
  uint64_t offset;
  uint64_t length;
} WGPUCompilationMessage;

typedef struct WGPUCompilationInfo {
  WGPUChainedStruct* nextInChain;
  size_t messageCount;
  WGPUCompilationMessage const* messages;
} WGPUCompilationInfo;

typedef struct WGPUCompilationInfoCallbackInfo {
  WGPUChainedStruct* nextInChain;
  WGPUCallbackMode mode;
  WGPUCompilationInfoCallback callback;
  void* userdata1;
  void* userdata2;
} WGPUCompilationInfoCallbackInfo;

/* Functions. */
WGPUInstance wgpuCreateInstance(WGPUInstanceDescriptor const* descriptor);
WGPUFuture wgpuInstanceRequestAdapter(WGPUInstance instance, WGPURequestAdapterOptions const* options,
                                      WGPURequestAdapterCallbackInfo callbackInfo);
WGPUWaitStatus wgpuInstanceWaitAny(WGPUInstance instance, size_t futureCount, WGPUFutureWaitInfo* futures,
                                   uint64_t timeoutNS);
void wgpuInstanceProcessEvents(WGPUInstance instance);
void wgpuInstanceAddRef(WGPUInstance instance);
void wgpuInstanceRelease(WGPUInstance instance);

WGPUStatus wgpuAdapterGetInfo(WGPUAdapter adapter, WGPUAdapterInfo* info);
void wgpuAdapterInfoFreeMembers(WGPUAdapterInfo adapterInfo);
void wgpuAdapterGetFeatures(WGPUAdapter adapter, WGPUSupportedFeatures* features);
WGPUBool wgpuAdapterHasFeature(WGPUAdapter adapter, WGPUFeatureName feature);
WGPUStatus wgpuAdapterGetLimits(WGPUAdapter adapter, WGPULimits* limits);
WGPUFuture wgpuAdapterRequestDevice(WGPUAdapter adapter, WGPUDeviceDescriptor const* descriptor,
                                    WGPURequestDeviceCallbackInfo callbackInfo);
void wgpuAdapterAddRef(WGPUAdapter adapter);
void wgpuAdapterRelease(WGPUAdapter adapter);
void wgpuSupportedFeaturesFreeMembers(WGPUSupportedFeatures supportedFeatures);

WGPUStatus wgpuDeviceGetLimits(WGPUDevice device, WGPULimits* limits);
WGPUBool wgpuDeviceHasFeature(WGPUDevice device, WGPUFeatureName feature);
void wgpuDeviceGetFeatures(WGPUDevice device, WGPUSupportedFeatures* features);
WGPUQueue wgpuDeviceGetQueue(WGPUDevice device);
WGPUBuffer wgpuDeviceCreateBuffer(WGPUDevice device, WGPUBufferDescriptor const* descriptor);
WGPUShaderModule wgpuDeviceCreateShaderModule(WGPUDevice device, WGPUShaderModuleDescriptor const* descriptor);
WGPUBindGroupLayout wgpuDeviceCreateBindGroupLayout(WGPUDevice device,
                                                    WGPUBindGroupLayoutDescriptor const* descriptor);
WGPUBindGroup wgpuDeviceCreateBindGroup(WGPUDevice device, WGPUBindGroupDescriptor const* descriptor);
WGPUPipelineLayout wgpuDeviceCreatePipelineLayout(WGPUDevice device,
                                                  WGPUPipelineLayoutDescriptor const* descriptor);
WGPUComputePipeline wgpuDeviceCreateComputePipeline(WGPUDevice device,
                                                    WGPUComputePipelineDescriptor const* descriptor);
WGPUCommandEncoder wgpuDeviceCreateCommandEncoder(WGPUDevice device,
                                                  WGPUCommandEncoderDescriptor const* descriptor);
void wgpuDevicePushErrorScope(WGPUDevice device, WGPUErrorFilter filter);
WGPUFuture wgpuDevicePopErrorScope(WGPUDevice device, WGPUPopErrorScopeCallbackInfo callbackInfo);
void wgpuDeviceDestroy(WGPUDevice device);
/* Implementation extension: report the device lost as if the driver had lost it. */
void wgpuDeviceForceLoss(WGPUDevice device, WGPUDeviceLostReason type, WGPUStringView message);
void wgpuDeviceAddRef(WGPUDevice device);
void wgpuDeviceRelease(WGPUDevice device);

void wgpuQueueSubmit(WGPUQueue queue, size_t commandCount, WGPUCommandBuffer const* commands);
void wgpuQueueWriteBuffer(WGPUQueue queue, WGPUBuffer buffer, uint64_t bufferOffset, void const* data,
                          size_t size);
WGPUFuture wgpuQueueOnSubmittedWorkDone(WGPUQueue queue, WGPUQueueWorkDoneCallbackInfo callbackInfo);
void wgpuQueueAddRef(WGPUQueue queue);
void wgpuQueueRelease(WGPUQueue queue);

WGPUFuture wgpuBufferMapAsync(WGPUBuffer buffer, WGPUMapMode mode, size_t offset, size_t size,
                              WGPUBufferMapCallbackInfo callbackInfo);
void const* wgpuBufferGetConstMappedRange(WGPUBuffer buffer, size_t offset, size_t size);
void* wgpuBufferGetMappedRange(WGPUBuffer buffer, size_t offset, size_t size);
void wgpuBufferUnmap(WGPUBuffer buffer);
void wgpuBufferDestroy(WGPUBuffer buffer);
uint64_t wgpuBufferGetSize(WGPUBuffer buffer);
void wgpuBufferAddRef(WGPUBuffer buffer);
void wgpuBufferRelease(WGPUBuffer buffer);

WGPUComputePassEncoder wgpuCommandEncoderBeginComputePass(WGPUCommandEncoder commandEncoder,
                                                          WGPUComputePassDescriptor const* descriptor);
void wgpuCommandEncoderCopyBufferToBuffer(WGPUCommandEncoder commandEncoder, WGPUBuffer source,
                                          uint64_t sourceOffset, WGPUBuffer destination,
                                          uint64_t destinationOffset, uint64_t size);
WGPUCommandBuffer wgpuCommandEncoderFinish(WGPUCommandEncoder commandEncoder,
                                           WGPUCommandBufferDescriptor const* descriptor);
void wgpuCommandEncoderAddRef(WGPUCommandEncoder commandEncoder);
void wgpuCommandEncoderRelease(WGPUCommandEncoder commandEncoder);

void wgpuComputePassEncoderSetPipeline(WGPUComputePassEncoder computePassEncoder, WGPUComputePipeline pipeline);
void wgpuComputePassEncoderSetBindGroup(WGPUComputePassEncoder computePassEncoder, uint32_t groupIndex,
                                        WGPUBindGroup group, size_t dynamicOffsetCount,
                                        uint32_t const* dynamicOffsets);
void wgpuComputePassEncoderDispatchWorkgroups(WGPUComputePassEncoder computePassEncoder, uint32_t workgroupCountX,
                                              uint32_t workgroupCountY, uint32_t workgroupCountZ);
void wgpuComputePassEncoderEnd(WGPUComputePassEncoder computePassEncoder);
void wgpuComputePassEncoderAddRef(WGPUComputePassEncoder computePassEncoder);
void wgpuComputePassEncoderRelease(WGPUComputePassEncoder computePassEncoder);

WGPUFuture wgpuShaderModuleGetCompilationInfo(WGPUShaderModule shaderModule,
                                              WGPUCompilationInfoCallbackInfo callbackInfo);
void wgpuShaderModuleAddRef(WGPUShaderModule shaderModule);
void wgpuShaderModuleRelease(WGPUShaderModule shaderModule);
void wgpuBindGroupLayoutAddRef(WGPUBindGroupLayout bindGroupLayout);
void wgpuBindGroupLayoutRelease(WGPUBindGroupLayout bindGroupLayout);
void wgpuBindGroupAddRef(WGPUBindGroup bindGroup);
void wgpuBindGroupRelease(WGPUBindGroup bindGroup);
void wgpuPipelineLayoutAddRef(WGPUPipelineLayout pipelineLayout);
void wgpuPipelineLayoutRelease(WGPUPipelineLayout pipelineLayout);
void wgpuComputePipelineAddRef(WGPUComputePipeline computePipeline);
void wgpuComputePipelineRelease(WGPUComputePipeline computePipeline);
void wgpuCommandBufferAddRef(WGPUCommandBuffer commandBuffer);
void wgpuCommandBufferRelease(WGPUCommandBuffer commandBuffer);

#ifdef __cplusplus
}
#endif

#endif

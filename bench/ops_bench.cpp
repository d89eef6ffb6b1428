// Matrix multiply and element-wise add: through the library, through the bare WebGPU API with the
// same kernels, and on the host (OpenBLAS sgemm; a plain loop for add).
//
//   bench_ops --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>
#include <cblas.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "device/tensor_context/tensor_context.hpp"
#include "ops/add/add.hpp"
#include "ops/matmul/matmul.hpp"
#include "platform/strings.hpp"
#include "runtime/runtime.hpp"
#include "shaders/precision/downgrade.hpp"
#include "tensor/tensor.hpp"

namespace {

using namespace trelliken;

std::shared_ptr<GpuDevice> bench_device() {
  static Runtime* runtime = new Runtime(1);
  static std::shared_ptr<GpuDevice> device = [] {
    auto d = runtime->block_on(GpuDevice::create());
    if (!d) {
      std::fprintf(stderr, "no device: %s\n", d.error().message().c_str());
      std::exit(1);
    }
    return *d;
  }();
  return device;
}

std::vector<float> random_values(std::size_t n) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (auto& x : v) x = dist(rng);
  return v;
}

void wait_idle(const GpuDevice& device) {
  if (auto r = device.poll_safe(); !r) std::fprintf(stderr, "%s\n", r.error().message().c_str());
}

// --- Through the library -------------------------------------------------------------------

void BM_MatmulLibrary(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto device = bench_device();
  auto a = Tensor::from_data(random_values(n * n), {n, n}, device).value();
  auto b = Tensor::from_data(random_values(n * n), {n, n}, device).value();
  for (auto _ : state) {
    auto c = a.matmul(b);
    wait_idle(*device);
    benchmark::DoNotOptimize(c);
  }
  state.counters["GFLOP/s"] = benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate,
                                                 benchmark::Counter::kIs1000);
}

void BM_AddLibrary(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto device = bench_device();
  auto a = Tensor::from_data(random_values(n), {n}, device).value();
  auto b = Tensor::from_data(random_values(n), {n}, device).value();
  for (auto _ : state) {
    auto c = a.add(b);
    wait_idle(*device);
    benchmark::DoNotOptimize(c);
  }
  state.counters["GB/s"] = benchmark::Counter(12.0 * n, benchmark::Counter::kIsIterationInvariantRate,
                                              benchmark::Counter::kIs1000);
}

// --- The same kernels through the bare WebGPU API ----------------------------------------------

struct BareKernel {
  platform::ComputePipeline pipeline;
  platform::BindGroup group;
  std::vector<platform::Buffer> buffers;
};

platform::Buffer bare_buffer(WGPUDevice device, std::uint64_t size, WGPUBufferUsage usage, const void* data) {
  WGPUBufferDescriptor d{};
  d.usage = usage;
  d.size = size;
  d.mappedAtCreation = data != nullptr;
  auto buffer = platform::Buffer::acquire(wgpuDeviceCreateBuffer(device, &d));
  if (data != nullptr) {
    std::memcpy(wgpuBufferGetMappedRange(buffer.get(), 0, size), data, size);
    wgpuBufferUnmap(buffer.get());
  }
  return buffer;
}

BareKernel bare_kernel(const GpuDevice& gpu, std::string_view source, std::vector<platform::Buffer> buffers,
                       std::uint32_t read_only, std::uint32_t uniform) {
  platform::GlCallScope scope;
  const WGPUDevice device = gpu.device().get();
  const std::string text = mentions_f64_types(source) ? downgrade_f64_to_f32(source) : std::string(source);
  WGPUShaderSourceWGSL wgsl{};
  wgsl.chain.sType = WGPUSType_ShaderSourceWGSL;
  wgsl.code = platform::to_view(text);
  WGPUShaderModuleDescriptor md{};
  md.nextInChain = &wgsl.chain;
  auto module = platform::ShaderModule::acquire(wgpuDeviceCreateShaderModule(device, &md));

  std::vector<WGPUBindGroupLayoutEntry> entries(buffers.size());
  std::vector<WGPUBindGroupEntry> group_entries(buffers.size());
  for (std::uint32_t i = 0; i < buffers.size(); ++i) {
    entries[i] = WGPUBindGroupLayoutEntry{};
    entries[i].binding = i;
    entries[i].visibility = WGPUShaderStage_Compute;
    entries[i].buffer.type = i < read_only                               ? WGPUBufferBindingType_ReadOnlyStorage
                             : i + uniform < buffers.size() ? WGPUBufferBindingType_Storage
                                                                         : WGPUBufferBindingType_Uniform;
    group_entries[i] = WGPUBindGroupEntry{};
    group_entries[i].binding = i;
    group_entries[i].buffer = buffers[i].get();
    group_entries[i].size = WGPU_WHOLE_SIZE;
  }
  WGPUBindGroupLayoutDescriptor ld{};
  ld.entryCount = entries.size();
  ld.entries = entries.data();
  auto layout = platform::BindGroupLayout::acquire(wgpuDeviceCreateBindGroupLayout(device, &ld));
  WGPUBindGroupLayout layouts[] = {layout.get()};
  WGPUPipelineLayoutDescriptor pd{};
  pd.bindGroupLayoutCount = 1;
  pd.bindGroupLayouts = layouts;
  auto pipeline_layout = platform::PipelineLayout::acquire(wgpuDeviceCreatePipelineLayout(device, &pd));
  WGPUComputePipelineDescriptor cd{};
  cd.layout = pipeline_layout.get();
  cd.compute.module = module.get();
  cd.compute.entryPoint = platform::to_view("main");
  BareKernel k;
  k.pipeline = platform::ComputePipeline::acquire(wgpuDeviceCreateComputePipeline(device, &cd));
  WGPUBindGroupDescriptor gd{};
  gd.layout = layout.get();
  gd.entryCount = group_entries.size();
  gd.entries = group_entries.data();
  k.group = platform::BindGroup::acquire(wgpuDeviceCreateBindGroup(device, &gd));
  k.buffers = std::move(buffers);
  return k;
}

// One launch and a wait for it, with nothing of the library in between.
void bare_run(const GpuDevice& gpu, const BareKernel& k, std::uint32_t x, std::uint32_t y) {
  platform::GlCallScope scope;
  auto encoder = platform::CommandEncoder::acquire(wgpuDeviceCreateCommandEncoder(gpu.device().get(), nullptr));
  auto pass = platform::ComputePassEncoder::acquire(wgpuCommandEncoderBeginComputePass(encoder.get(), nullptr));
  wgpuComputePassEncoderSetPipeline(pass.get(), k.pipeline.get());
  wgpuComputePassEncoderSetBindGroup(pass.get(), 0, k.group.get(), 0, nullptr);
  wgpuComputePassEncoderDispatchWorkgroups(pass.get(), x, y, 1);
  wgpuComputePassEncoderEnd(pass.get());
  auto commands = platform::CommandBuffer::acquire(wgpuCommandEncoderFinish(encoder.get(), nullptr));
  WGPUCommandBuffer raw = commands.get();
  wgpuQueueSubmit(gpu.queue().get(), 1, &raw);
  WGPUQueueWorkDoneCallbackInfo cb{};
  cb.mode = WGPUCallbackMode_WaitAnyOnly;
  cb.callback = [](WGPUQueueWorkDoneStatus, WGPUStringView, void*, void*) {};
  WGPUFutureWaitInfo wait{wgpuQueueOnSubmittedWorkDone(gpu.queue().get(), cb), 0};
  wgpuInstanceWaitAny(gpu.instance().get(), 1, &wait, UINT64_MAX);
}

constexpr WGPUBufferUsage kStorage = WGPUBufferUsage_Storage | WGPUBufferUsage_CopySrc | WGPUBufferUsage_CopyDst;

void BM_MatmulBareApi(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto device = bench_device();
  const WGPUDevice dev = device->device().get();
  const auto a = random_values(std::size_t{n} * n);
  const auto b = random_values(std::size_t{n} * n);
  const std::array<std::uint32_t, 4> params = {n, n, n, 0};
  const MatmulVariant variant = choose_matmul_variant(device->adapter().device_type, n, n);
  BareKernel k;
  {
    platform::GlCallScope scope;
    std::vector<platform::Buffer> buffers = {bare_buffer(dev, a.size() * 4, kStorage, a.data()),
                                             bare_buffer(dev, b.size() * 4, kStorage, b.data()),
                                             bare_buffer(dev, a.size() * 4, kStorage, nullptr),
                                             bare_buffer(dev, 16, WGPUBufferUsage_Uniform, params.data())};
    k = bare_kernel(*device, matmul_source(variant), std::move(buffers), 2, 1);
  }
  const std::uint32_t tile = variant == MatmulVariant::Tiled16 ? 16 : 32;
  for (auto _ : state) bare_run(*device, k, (n + tile - 1) / tile, (n + tile - 1) / tile);
  state.counters["GFLOP/s"] = benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate,
                                                 benchmark::Counter::kIs1000);
}

void BM_AddBareApi(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto device = bench_device();
  const WGPUDevice dev = device->device().get();
  const auto a = random_values(n);
  const auto b = random_values(n);
  BareKernel k;
  {
    platform::GlCallScope scope;
    std::vector<platform::Buffer> buffers = {bare_buffer(dev, n * 4ull, kStorage, a.data()),
                                             bare_buffer(dev, n * 4ull, kStorage, b.data()),
                                             bare_buffer(dev, n * 4ull, kStorage, nullptr)};
    k = bare_kernel(*device, add_source(AddVariant::Generic256), std::move(buffers), 2, 0);
  }
  const std::uint32_t groups = (n + 255) / 256;
  const std::uint32_t x = std::min<std::uint32_t>(groups, 65535);
  for (auto _ : state) bare_run(*device, k, x, (groups + x - 1) / x);
  state.counters["GB/s"] = benchmark::Counter(12.0 * n, benchmark::Counter::kIsIterationInvariantRate,
                                              benchmark::Counter::kIs1000);
}

// --- Host references ---------------------------------------------------------------------------

void BM_MatmulHostBlas(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  const auto a = random_values(std::size_t(n) * n);
  const auto b = random_values(std::size_t(n) * n);
  std::vector<float> c(std::size_t(n) * n);
  for (auto _ : state) {
    cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0f, a.data(), n, b.data(), n, 0.0f, c.data(), n);
    benchmark::DoNotOptimize(c.data());
  }
  state.counters["GFLOP/s"] = benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate,
                                                 benchmark::Counter::kIs1000);
}

void BM_AddHost(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto a = random_values(n);
  const auto b = random_values(n);
  std::vector<float> c(n);
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) c[i] = a[i] + b[i];
    benchmark::DoNotOptimize(c.data());
  }
  state.counters["GB/s"] = benchmark::Counter(12.0 * n, benchmark::Counter::kIsIterationInvariantRate,
                                              benchmark::Counter::kIs1000);
}

BENCHMARK(BM_MatmulLibrary)->Arg(64)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MatmulBareApi)->Arg(64)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MatmulHostBlas)->Arg(64)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddLibrary)->Arg(1 << 20)->Arg(1 << 24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddBareApi)->Arg(1 << 20)->Arg(1 << 24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddHost)->Arg(1 << 20)->Arg(1 << 24)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

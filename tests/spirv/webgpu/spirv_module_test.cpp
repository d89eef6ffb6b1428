// The writer's SPIR-V handed to the WebGPU implementation (WGPUShaderSourceSPIRV) on the library's software
// device. The implementation checks SPIR-V input against Vulkan 1.1 rules, which stop at SPIR-V 1.3, so it
// rejects the writer's 1.5 modules; that refusal is recorded here. The same words with the version word set to
// 1.3 and the entry point interface cut back to inputs (the only 1.4 rule the writer relies on for these
// kernels) are accepted and must compute what the host computes.

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <filesystem>
#include <string>
#include <unordered_set>

#include "platform/gl_scope.hpp"
#include "platform/strings.hpp"
#include "platform/wait.hpp"
#include "support/compile.hpp"
#include "support/buffers.hpp"
#include "support/gpu.hpp"
#include "support/tools.hpp"

namespace trelliken::spirv_tests {
namespace {

struct ScopeReply {
    bool done = false;
    WGPUErrorType type = WGPUErrorType_NoError;
    std::string message;
};

/// Creates a shader module from `words` and a compute pipeline for `entry`, and returns the first validation
/// error either raised (empty: both were accepted).
std::string create_from_spirv(const GpuDevice& device, const std::vector<uint32_t>& words, const char* entry) {
    const WGPUDevice dev = device.device().get();
    ScopeReply reply;
    WGPUFuture future{};
    {
        platform::GlCallScope scope;
        wgpuDevicePushErrorScope(dev, WGPUErrorFilter_Validation);
        WGPUShaderSourceSPIRV spirv{};
        spirv.chain.sType = WGPUSType_ShaderSourceSPIRV;
        spirv.codeSize = static_cast<uint32_t>(words.size());
        spirv.code = words.data();
        WGPUShaderModuleDescriptor desc{};
        desc.nextInChain = &spirv.chain;
        desc.label = platform::to_view("SPIR-V route");
        auto module = platform::ShaderModule::acquire(wgpuDeviceCreateShaderModule(dev, &desc));
        WGPUComputePipelineDescriptor cd{};
        cd.label = platform::to_view("SPIR-V route");
        cd.layout = nullptr;  // derived from the module
        cd.compute.module = module.get();
        cd.compute.entryPoint = platform::to_view(entry);
        auto pipeline = platform::ComputePipeline::acquire(wgpuDeviceCreateComputePipeline(dev, &cd));
        WGPUPopErrorScopeCallbackInfo info{};
        info.mode = WGPUCallbackMode_WaitAnyOnly;
        info.callback = [](WGPUPopErrorScopeStatus, WGPUErrorType type, WGPUStringView message, void* u1, void*) {
            auto* r = static_cast<ScopeReply*>(u1);
            r->done = true;
            r->type = type;
            r->message = platform::to_string(message);
        };
        info.userdata1 = &reply;
        future = wgpuDevicePopErrorScope(dev, info);
    }
    const auto outcome = platform::wait_for(device.instance(), future, std::chrono::seconds(30));
    if (outcome != platform::WaitOutcome::Completed || !reply.done) return "the error scope did not complete";
    if (reply.type == WGPUErrorType_NoError) return {};
    return reply.message.empty() ? "rejected without a message" : reply.message;
}

std::vector<uint32_t> compile_kernel(const char* rel) {
    auto text = read_text(std::filesystem::path(TRELLIKEN_SOURCE_DIR) / rel);
    EXPECT_TRUE(text) << text.error();
    if (!text) return {};
    auto words = compile_wgsl(*text);
    EXPECT_TRUE(words) << words.error();
    return words ? *words : std::vector<uint32_t>{};
}

/// The module as SPIR-V 1.3 reads it: version word 1.3, and only Input/Output variables in OpEntryPoint.
std::vector<uint32_t> as_spirv_1_3(std::vector<uint32_t> words) {
    constexpr uint32_t kOpVariable = 59, kOpEntryPoint = 15, kInput = 1, kOutput = 3;
    words[1] = 0x00010300;
    std::unordered_set<uint32_t> interface_ok;
    for (size_t i = 5; i < words.size(); i += words[i] >> 16)
        if ((words[i] & 0xFFFF) == kOpVariable && (words[i + 3] == kInput || words[i + 3] == kOutput))
            interface_ok.insert(words[i + 2]);
    std::vector<uint32_t> out(words.begin(), words.begin() + 5);
    for (size_t i = 5; i < words.size(); i += words[i] >> 16) {
        const uint32_t count = words[i] >> 16;
        if ((words[i] & 0xFFFF) != kOpEntryPoint) {
            out.insert(out.end(), words.begin() + i, words.begin() + i + count);
            continue;
        }
        // Operands: execution model, function id, a nul-terminated name, then interface ids.
        size_t j = i + 3;
        while (j < i + count && (words[j] >> 24) != 0) ++j;
        ++j;
        std::vector<uint32_t> kept(words.begin() + i + 1, words.begin() + j);
        for (; j < i + count; ++j)
            if (interface_ok.contains(words[j])) kept.push_back(words[j]);
        out.push_back(static_cast<uint32_t>((kept.size() + 1) << 16) | kOpEntryPoint);
        out.insert(out.end(), kept.begin(), kept.end());
    }
    return out;
}

TEST(SpirvWebGpu, RejectsSpirv15AsNewerThanVulkan11) {
    TRELLIKEN_REQUIRE_DEVICE(device);
    const auto words = compile_kernel("src/ops/add/add_64.wgsl");
    ASSERT_FALSE(words.empty());
    ASSERT_TRUE(spirv_val(words));
    const std::string error = create_from_spirv(*device, words, "main");
    // Should the implementation start taking 1.5 modules, this test fails and the execution test below
    // should run the words unchanged.
    EXPECT_NE(error.find("invalid SPIRV"), std::string::npos) << (error.empty() ? "accepted" : error);
}

TEST(SpirvWebGpu, AddKernelRunsAsSpirv13) {
    TRELLIKEN_REQUIRE_DEVICE(device);
    const auto words = as_spirv_1_3(compile_kernel("src/ops/add/add_64.wgsl"));
    ASSERT_GT(words.size(), 5u);
    ASSERT_EQ(create_from_spirv(*device, words, "main"), "");

    constexpr uint32_t n = 300;
    std::vector<uint32_t> a(n), b(n), zero(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        a[i] = std::bit_cast<uint32_t>(0.25f * static_cast<float>(i) - 11.0f);
        b[i] = std::bit_cast<uint32_t>(1.0f / static_cast<float>(i + 1));
    }
    platform::Buffer buffers[] = {testing::buffer_with_words(*device, a), testing::buffer_with_words(*device, b),
                                  testing::buffer_with_words(*device, zero)};
    const WGPUDevice dev = device->device().get();
    platform::CommandBuffer commands;
    {
        GuardedEncoder encoder = device->create_encoder("SPIR-V route");
        {
            platform::GlCallScope scope;
            WGPUBindGroupLayoutEntry entries[3]{};
            WGPUBindGroupEntry group_entries[3]{};
            for (uint32_t i = 0; i < 3; ++i) {
                entries[i].binding = i;
                entries[i].visibility = WGPUShaderStage_Compute;
                entries[i].buffer.type = i < 2 ? WGPUBufferBindingType_ReadOnlyStorage : WGPUBufferBindingType_Storage;
                group_entries[i].binding = i;
                group_entries[i].buffer = buffers[i].get();
                group_entries[i].size = WGPU_WHOLE_SIZE;
            }
            WGPUBindGroupLayoutDescriptor ld{};
            ld.entryCount = 3;
            ld.entries = entries;
            auto layout = platform::BindGroupLayout::acquire(wgpuDeviceCreateBindGroupLayout(dev, &ld));
            WGPUBindGroupDescriptor gd{};
            gd.layout = layout.get();
            gd.entryCount = 3;
            gd.entries = group_entries;
            auto group = platform::BindGroup::acquire(wgpuDeviceCreateBindGroup(dev, &gd));
            WGPUShaderSourceSPIRV spirv{};
            spirv.chain.sType = WGPUSType_ShaderSourceSPIRV;
            spirv.codeSize = static_cast<uint32_t>(words.size());
            spirv.code = words.data();
            WGPUShaderModuleDescriptor md{};
            md.nextInChain = &spirv.chain;
            auto module = platform::ShaderModule::acquire(wgpuDeviceCreateShaderModule(dev, &md));
            WGPUBindGroupLayout layouts[] = {layout.get()};
            WGPUPipelineLayoutDescriptor pd{};
            pd.bindGroupLayoutCount = 1;
            pd.bindGroupLayouts = layouts;
            auto pipeline_layout = platform::PipelineLayout::acquire(wgpuDeviceCreatePipelineLayout(dev, &pd));
            WGPUComputePipelineDescriptor cd{};
            cd.layout = pipeline_layout.get();
            cd.compute.module = module.get();
            cd.compute.entryPoint = platform::to_view("main");
            auto pipeline = platform::ComputePipeline::acquire(wgpuDeviceCreateComputePipeline(dev, &cd));
            WGPUComputePassDescriptor pass_desc{};
            auto pass = platform::ComputePassEncoder::acquire(wgpuCommandEncoderBeginComputePass(encoder.get(), &pass_desc));
            wgpuComputePassEncoderSetPipeline(pass.get(), pipeline.get());
            wgpuComputePassEncoderSetBindGroup(pass.get(), 0, group.get(), 0, nullptr);
            wgpuComputePassEncoderDispatchWorkgroups(pass.get(), (n + 63) / 64, 1, 1);
            wgpuComputePassEncoderEnd(pass.get());
        }
        commands = std::move(encoder).finish();
    }
    device->submit_and_poll(std::move(commands));
    auto got = device->read_buffer(buffers[2], n);
    ASSERT_TRUE(got.has_value());
    for (uint32_t i = 0; i < n; ++i) {
        const float want = std::bit_cast<float>(a[i]) + std::bit_cast<float>(b[i]);
        EXPECT_EQ(std::bit_cast<float>((*got)[i]), want) << i;
    }
}

}  // namespace
}  // namespace trelliken::spirv_tests

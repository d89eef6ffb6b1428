#include "runner/vulkan_runner.hpp"

#include <vulkan/vulkan.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <utility>

namespace trelliken::spirv_runner {
namespace {

std::string failure(const char* call, VkResult result) {
    return std::string(call) + " failed with VkResult " + std::to_string(static_cast<int>(result));
}

/// Destroys what a dispatch created, newest first, on every exit path.
class Cleanup {
public:
    ~Cleanup() {
        for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) (*it)();
    }
    void add(std::function<void()> step) { steps_.push_back(std::move(step)); }

private:
    std::vector<std::function<void()>> steps_;
};

bool is_lavapipe(VkPhysicalDevice device) {
    VkPhysicalDeviceDriverProperties driver{};
    driver.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DRIVER_PROPERTIES;
    VkPhysicalDeviceProperties2 props{};
    props.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2;
    props.pNext = &driver;
    vkGetPhysicalDeviceProperties2(device, &props);
    return driver.driverID == VK_DRIVER_ID_MESA_LLVMPIPE ||
           props.properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU;
}

}  // namespace

struct VulkanRunner::State {
    VkInstance instance = VK_NULL_HANDLE;
    VkPhysicalDevice physical = VK_NULL_HANDLE;
    VkDevice device = VK_NULL_HANDLE;
    VkQueue queue = VK_NULL_HANDLE;
    uint32_t queue_family = 0;
    uint32_t memory_type = 0;
    DeviceFeatures features;
    std::string name;
    std::mutex mutex;  // one dispatch at a time: the queue is not externally synchronised otherwise

    ~State() {
        if (device != VK_NULL_HANDLE) vkDestroyDevice(device, nullptr);
        if (instance != VK_NULL_HANDLE) vkDestroyInstance(instance, nullptr);
    }
};

VulkanRunner::VulkanRunner(std::unique_ptr<State> state) : state_(std::move(state)) {}
VulkanRunner::~VulkanRunner() = default;

const DeviceFeatures& VulkanRunner::features() const { return state_->features; }
const std::string& VulkanRunner::device_name() const { return state_->name; }

std::expected<std::unique_ptr<VulkanRunner>, std::string> VulkanRunner::create() {
    auto state = std::make_unique<State>();

    VkApplicationInfo app{};
    app.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    app.pApplicationName = "trelliken-spirv-tests";
    app.apiVersion = VK_API_VERSION_1_2;
    VkInstanceCreateInfo instance_info{};
    instance_info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    instance_info.pApplicationInfo = &app;
    if (VkResult r = vkCreateInstance(&instance_info, nullptr, &state->instance); r != VK_SUCCESS) {
        state->instance = VK_NULL_HANDLE;
        return std::unexpected(failure("vkCreateInstance", r));
    }

    uint32_t count = 0;
    vkEnumeratePhysicalDevices(state->instance, &count, nullptr);
    std::vector<VkPhysicalDevice> devices(count);
    vkEnumeratePhysicalDevices(state->instance, &count, devices.data());
    auto found = std::find_if(devices.begin(), devices.end(), is_lavapipe);
    if (found == devices.end()) return std::unexpected(std::string("no lavapipe (Mesa CPU) Vulkan device found"));
    state->physical = *found;

    VkPhysicalDeviceProperties props{};
    vkGetPhysicalDeviceProperties(state->physical, &props);
    state->name = props.deviceName;
    if (props.apiVersion < VK_API_VERSION_1_2)
        return std::unexpected("device " + state->name + " does not support Vulkan 1.2");

    uint32_t family_count = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(state->physical, &family_count, nullptr);
    std::vector<VkQueueFamilyProperties> families(family_count);
    vkGetPhysicalDeviceQueueFamilyProperties(state->physical, &family_count, families.data());
    bool have_family = false;
    for (uint32_t i = 0; i < family_count; ++i) {
        if (families[i].queueFlags & VK_QUEUE_COMPUTE_BIT) {
            state->queue_family = i;
            have_family = true;
            break;
        }
    }
    if (!have_family) return std::unexpected(std::string("no compute queue on ") + state->name);

    VkPhysicalDeviceMemoryProperties memory{};
    vkGetPhysicalDeviceMemoryProperties(state->physical, &memory);
    constexpr VkMemoryPropertyFlags wanted =
        VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
    bool have_memory = false;
    for (uint32_t i = 0; i < memory.memoryTypeCount; ++i) {
        if ((memory.memoryTypes[i].propertyFlags & wanted) == wanted) {
            state->memory_type = i;
            have_memory = true;
            break;
        }
    }
    if (!have_memory) return std::unexpected(std::string("no host-visible coherent memory on ") + state->name);

    // Query what the driver offers, then enable exactly the shader features the tests use.
    VkPhysicalDeviceVulkan12Features offered12{};
    offered12.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_FEATURES;
    VkPhysicalDeviceVulkan11Features offered11{};
    offered11.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_1_FEATURES;
    offered11.pNext = &offered12;
    VkPhysicalDeviceFeatures2 offered{};
    offered.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_FEATURES_2;
    offered.pNext = &offered11;
    vkGetPhysicalDeviceFeatures2(state->physical, &offered);

    VkPhysicalDeviceVulkan12Features enable12{};
    enable12.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_FEATURES;
    enable12.shaderFloat16 = offered12.shaderFloat16;
    VkPhysicalDeviceVulkan11Features enable11{};
    enable11.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_1_FEATURES;
    enable11.pNext = &enable12;
    enable11.storageBuffer16BitAccess = offered11.storageBuffer16BitAccess;
    enable11.uniformAndStorageBuffer16BitAccess = offered11.uniformAndStorageBuffer16BitAccess;
    // The writer passes pointers into storage buffers to functions as variable pointers.
    enable11.variablePointersStorageBuffer = offered11.variablePointersStorageBuffer;
    VkPhysicalDeviceFeatures2 enable{};
    enable.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_FEATURES_2;
    enable.pNext = &enable11;
    enable.features.shaderFloat64 = offered.features.shaderFloat64;
    enable.features.shaderInt64 = offered.features.shaderInt64;
    enable.features.shaderInt16 = offered.features.shaderInt16;
    state->features.float64 = offered.features.shaderFloat64 == VK_TRUE;
    state->features.int64 = offered.features.shaderInt64 == VK_TRUE;
    state->features.float16 = offered12.shaderFloat16 == VK_TRUE;
    state->features.storage16 = offered11.storageBuffer16BitAccess == VK_TRUE;
    state->features.variable_pointers_storage_buffer = offered11.variablePointersStorageBuffer == VK_TRUE;

    float priority = 1.0f;
    VkDeviceQueueCreateInfo queue_info{};
    queue_info.sType = VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO;
    queue_info.queueFamilyIndex = state->queue_family;
    queue_info.queueCount = 1;
    queue_info.pQueuePriorities = &priority;
    VkDeviceCreateInfo device_info{};
    device_info.sType = VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO;
    device_info.pNext = &enable;
    device_info.queueCreateInfoCount = 1;
    device_info.pQueueCreateInfos = &queue_info;
    if (VkResult r = vkCreateDevice(state->physical, &device_info, nullptr, &state->device); r != VK_SUCCESS) {
        state->device = VK_NULL_HANDLE;
        return std::unexpected(failure("vkCreateDevice", r));
    }
    vkGetDeviceQueue(state->device, state->queue_family, 0, &state->queue);
    return std::unique_ptr<VulkanRunner>(new VulkanRunner(std::move(state)));
}

namespace {
struct SharedRunner {
    std::unique_ptr<VulkanRunner> runner;
    std::string error;
};

SharedRunner& shared_runner() {
    static SharedRunner instance = [] {
        SharedRunner s;
        auto created = VulkanRunner::create();
        if (created) s.runner = std::move(*created);
        else s.error = created.error();
        return s;
    }();
    return instance;
}
}  // namespace

VulkanRunner* VulkanRunner::shared() { return shared_runner().runner.get(); }
const std::string& VulkanRunner::shared_error() { return shared_runner().error; }

std::expected<std::vector<std::vector<std::byte>>, std::string> VulkanRunner::run(const Dispatch& dispatch) {
    std::lock_guard lock(state_->mutex);
    VkDevice device = state_->device;
    Cleanup cleanup;

    if (dispatch.words.empty()) return std::unexpected(std::string("empty SPIR-V module"));
    VkShaderModuleCreateInfo module_info{};
    module_info.sType = VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO;
    module_info.codeSize = dispatch.words.size_bytes();
    module_info.pCode = dispatch.words.data();
    VkShaderModule module = VK_NULL_HANDLE;
    if (VkResult r = vkCreateShaderModule(device, &module_info, nullptr, &module); r != VK_SUCCESS)
        return std::unexpected(failure("vkCreateShaderModule", r));
    cleanup.add([=] { vkDestroyShaderModule(device, module, nullptr); });

    std::vector<VkDescriptorSetLayoutBinding> layout_bindings;
    uint32_t storage_count = 0, uniform_count = 0;
    for (const BufferBinding& b : dispatch.buffers) {
        VkDescriptorSetLayoutBinding lb{};
        lb.binding = b.binding;
        lb.descriptorType = b.kind == BufferKind::storage ? VK_DESCRIPTOR_TYPE_STORAGE_BUFFER
                                                          : VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER;
        lb.descriptorCount = 1;
        lb.stageFlags = VK_SHADER_STAGE_COMPUTE_BIT;
        layout_bindings.push_back(lb);
        (b.kind == BufferKind::storage ? storage_count : uniform_count) += 1;
    }
    VkDescriptorSetLayoutCreateInfo set_layout_info{};
    set_layout_info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
    set_layout_info.bindingCount = static_cast<uint32_t>(layout_bindings.size());
    set_layout_info.pBindings = layout_bindings.data();
    VkDescriptorSetLayout set_layout = VK_NULL_HANDLE;
    if (VkResult r = vkCreateDescriptorSetLayout(device, &set_layout_info, nullptr, &set_layout); r != VK_SUCCESS)
        return std::unexpected(failure("vkCreateDescriptorSetLayout", r));
    cleanup.add([=] { vkDestroyDescriptorSetLayout(device, set_layout, nullptr); });

    VkPipelineLayoutCreateInfo pipeline_layout_info{};
    pipeline_layout_info.sType = VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO;
    pipeline_layout_info.setLayoutCount = 1;
    pipeline_layout_info.pSetLayouts = &set_layout;
    VkPipelineLayout pipeline_layout = VK_NULL_HANDLE;
    if (VkResult r = vkCreatePipelineLayout(device, &pipeline_layout_info, nullptr, &pipeline_layout);
        r != VK_SUCCESS)
        return std::unexpected(failure("vkCreatePipelineLayout", r));
    cleanup.add([=] { vkDestroyPipelineLayout(device, pipeline_layout, nullptr); });

    VkComputePipelineCreateInfo pipeline_info{};
    pipeline_info.sType = VK_STRUCTURE_TYPE_COMPUTE_PIPELINE_CREATE_INFO;
    pipeline_info.stage.sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
    pipeline_info.stage.stage = VK_SHADER_STAGE_COMPUTE_BIT;
    pipeline_info.stage.module = module;
    pipeline_info.stage.pName = dispatch.entry_point.c_str();
    pipeline_info.layout = pipeline_layout;
    VkPipeline pipeline = VK_NULL_HANDLE;
    if (VkResult r = vkCreateComputePipelines(device, VK_NULL_HANDLE, 1, &pipeline_info, nullptr, &pipeline);
        r != VK_SUCCESS)
        return std::unexpected(failure("vkCreateComputePipelines", r));
    cleanup.add([=] { vkDestroyPipeline(device, pipeline, nullptr); });

    // One buffer and one allocation per binding keeps the read-back trivial.
    struct Allocated {
        VkBuffer buffer = VK_NULL_HANDLE;
        VkDeviceMemory memory = VK_NULL_HANDLE;
        VkDeviceSize size = 0;
        void* mapped = nullptr;
    };
    std::vector<Allocated> allocated;
    for (const BufferBinding& b : dispatch.buffers) {
        Allocated a;
        a.size = std::max<VkDeviceSize>(16, (b.data.size() + 3) / 4 * 4);
        VkBufferCreateInfo buffer_info{};
        buffer_info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
        buffer_info.size = a.size;
        buffer_info.usage = b.kind == BufferKind::storage ? VK_BUFFER_USAGE_STORAGE_BUFFER_BIT
                                                          : VK_BUFFER_USAGE_UNIFORM_BUFFER_BIT;
        buffer_info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
        if (VkResult r = vkCreateBuffer(device, &buffer_info, nullptr, &a.buffer); r != VK_SUCCESS)
            return std::unexpected(failure("vkCreateBuffer", r));
        VkBuffer buffer = a.buffer;
        cleanup.add([=] { vkDestroyBuffer(device, buffer, nullptr); });
        VkMemoryRequirements requirements{};
        vkGetBufferMemoryRequirements(device, a.buffer, &requirements);
        if (!(requirements.memoryTypeBits & (1u << state_->memory_type)))
            return std::unexpected(std::string("buffer cannot live in host-visible memory"));
        VkMemoryAllocateInfo alloc_info{};
        alloc_info.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
        alloc_info.allocationSize = requirements.size;
        alloc_info.memoryTypeIndex = state_->memory_type;
        if (VkResult r = vkAllocateMemory(device, &alloc_info, nullptr, &a.memory); r != VK_SUCCESS)
            return std::unexpected(failure("vkAllocateMemory", r));
        VkDeviceMemory memory = a.memory;
        cleanup.add([=] { vkFreeMemory(device, memory, nullptr); });
        if (VkResult r = vkBindBufferMemory(device, a.buffer, a.memory, 0); r != VK_SUCCESS)
            return std::unexpected(failure("vkBindBufferMemory", r));
        if (VkResult r = vkMapMemory(device, a.memory, 0, VK_WHOLE_SIZE, 0, &a.mapped); r != VK_SUCCESS)
            return std::unexpected(failure("vkMapMemory", r));
        std::memset(a.mapped, 0, a.size);
        if (!b.data.empty()) std::memcpy(a.mapped, b.data.data(), b.data.size());
        allocated.push_back(a);
    }

    std::vector<VkDescriptorPoolSize> pool_sizes;
    if (storage_count) pool_sizes.push_back({VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, storage_count});
    if (uniform_count) pool_sizes.push_back({VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER, uniform_count});
    if (pool_sizes.empty()) pool_sizes.push_back({VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1});
    VkDescriptorPoolCreateInfo pool_info{};
    pool_info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO;
    pool_info.maxSets = 1;
    pool_info.poolSizeCount = static_cast<uint32_t>(pool_sizes.size());
    pool_info.pPoolSizes = pool_sizes.data();
    VkDescriptorPool pool = VK_NULL_HANDLE;
    if (VkResult r = vkCreateDescriptorPool(device, &pool_info, nullptr, &pool); r != VK_SUCCESS)
        return std::unexpected(failure("vkCreateDescriptorPool", r));
    cleanup.add([=] { vkDestroyDescriptorPool(device, pool, nullptr); });

    VkDescriptorSetAllocateInfo set_info{};
    set_info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO;
    set_info.descriptorPool = pool;
    set_info.descriptorSetCount = 1;
    set_info.pSetLayouts = &set_layout;
    VkDescriptorSet set = VK_NULL_HANDLE;
    if (VkResult r = vkAllocateDescriptorSets(device, &set_info, &set); r != VK_SUCCESS)
        return std::unexpected(failure("vkAllocateDescriptorSets", r));

    std::vector<VkDescriptorBufferInfo> buffer_infos(dispatch.buffers.size());
    std::vector<VkWriteDescriptorSet> writes(dispatch.buffers.size());
    for (size_t i = 0; i < dispatch.buffers.size(); ++i) {
        buffer_infos[i] = {allocated[i].buffer, 0, VK_WHOLE_SIZE};
        VkWriteDescriptorSet& w = writes[i];
        w.sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
        w.dstSet = set;
        w.dstBinding = dispatch.buffers[i].binding;
        w.descriptorCount = 1;
        w.descriptorType = layout_bindings[i].descriptorType;
        w.pBufferInfo = &buffer_infos[i];
    }
    if (!writes.empty())
        vkUpdateDescriptorSets(device, static_cast<uint32_t>(writes.size()), writes.data(), 0, nullptr);

    VkCommandPoolCreateInfo command_pool_info{};
    command_pool_info.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO;
    command_pool_info.queueFamilyIndex = state_->queue_family;
    VkCommandPool command_pool = VK_NULL_HANDLE;
    if (VkResult r = vkCreateCommandPool(device, &command_pool_info, nullptr, &command_pool); r != VK_SUCCESS)
        return std::unexpected(failure("vkCreateCommandPool", r));
    cleanup.add([=] { vkDestroyCommandPool(device, command_pool, nullptr); });

    VkCommandBufferAllocateInfo command_info{};
    command_info.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO;
    command_info.commandPool = command_pool;
    command_info.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    command_info.commandBufferCount = 1;
    VkCommandBuffer commands = VK_NULL_HANDLE;
    if (VkResult r = vkAllocateCommandBuffers(device, &command_info, &commands); r != VK_SUCCESS)
        return std::unexpected(failure("vkAllocateCommandBuffers", r));

    VkCommandBufferBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    vkBeginCommandBuffer(commands, &begin);
    vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipeline);
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipeline_layout, 0, 1, &set, 0, nullptr);
    vkCmdDispatch(commands, dispatch.groups[0], dispatch.groups[1], dispatch.groups[2]);
    // Make the shader's writes visible to the host mapping before the fence signals.
    VkMemoryBarrier barrier{};
    barrier.sType = VK_STRUCTURE_TYPE_MEMORY_BARRIER;
    barrier.srcAccessMask = VK_ACCESS_SHADER_WRITE_BIT;
    barrier.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, VK_PIPELINE_STAGE_HOST_BIT, 0, 1, &barrier,
                         0, nullptr, 0, nullptr);
    if (VkResult r = vkEndCommandBuffer(commands); r != VK_SUCCESS)
        return std::unexpected(failure("vkEndCommandBuffer", r));

    VkFenceCreateInfo fence_info{};
    fence_info.sType = VK_STRUCTURE_TYPE_FENCE_CREATE_INFO;
    VkFence fence = VK_NULL_HANDLE;
    if (VkResult r = vkCreateFence(device, &fence_info, nullptr, &fence); r != VK_SUCCESS)
        return std::unexpected(failure("vkCreateFence", r));
    cleanup.add([=] { vkDestroyFence(device, fence, nullptr); });

    VkSubmitInfo submit{};
    submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &commands;
    if (VkResult r = vkQueueSubmit(state_->queue, 1, &submit, fence); r != VK_SUCCESS)
        return std::unexpected(failure("vkQueueSubmit", r));
    constexpr uint64_t timeout_ns = 120ull * 1000 * 1000 * 1000;
    if (VkResult r = vkWaitForFences(device, 1, &fence, VK_TRUE, timeout_ns); r != VK_SUCCESS) {
        // The resources may still be in use: wait without limit so their destruction is legal.
        vkQueueWaitIdle(state_->queue);
        return std::unexpected(failure("vkWaitForFences", r));
    }

    std::vector<std::vector<std::byte>> results;
    for (size_t i = 0; i < dispatch.buffers.size(); ++i) {
        std::vector<std::byte> bytes(dispatch.buffers[i].data.size());
        if (!bytes.empty()) std::memcpy(bytes.data(), allocated[i].mapped, bytes.size());
        results.push_back(std::move(bytes));
    }
    return results;
}

}  // namespace trelliken::spirv_runner

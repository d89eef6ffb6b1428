#pragma once
// A test-only compute runner: executes a SPIR-V module on Mesa's lavapipe through the
// Vulkan loader. It is a tool for checking the SPIR-V writer, not part of the library.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace trelliken::spirv_runner {

/// How a buffer is bound at descriptor set 0.
enum class BufferKind { storage, uniform };

/// One buffer of a dispatch: its binding number in set 0, its kind and its initial bytes.
/// The buffer's size is the size of `data` (rounded up to 4 bytes, at least 16).
struct BufferBinding {
    uint32_t binding = 0;
    BufferKind kind = BufferKind::storage;
    std::vector<std::byte> data;
};

/// Everything one dispatch needs.
struct Dispatch {
    std::span<const uint32_t> words;
    std::string entry_point = "main";
    std::vector<BufferBinding> buffers;
    std::array<uint32_t, 3> groups{1, 1, 1};
};

/// The device features the runner turned on, so tests can skip what the driver lacks.
struct DeviceFeatures {
    bool float64 = false;
    bool int64 = false;
    bool float16 = false;
    bool storage16 = false;
    bool variable_pointers_storage_buffer = false;
};

/// One Vulkan 1.2 instance and device on lavapipe. Creating it is slow (tens of
/// milliseconds), so tests share one through `shared()`.
class VulkanRunner {
public:
    /// Opens lavapipe; the error names the step that failed (no loader, no lavapipe, ...).
    [[nodiscard]] static std::expected<std::unique_ptr<VulkanRunner>, std::string> create();

    /// A process-wide runner, created on first use; null when creation failed
    /// (`shared_error()` then says why).
    static VulkanRunner* shared();
    static const std::string& shared_error();

    ~VulkanRunner();
    VulkanRunner(const VulkanRunner&) = delete;
    VulkanRunner& operator=(const VulkanRunner&) = delete;

    const DeviceFeatures& features() const;
    const std::string& device_name() const;

    /// Creates the pipeline, binds the buffers, dispatches, waits (bounded) and returns the
    /// final bytes of every buffer in the order of `dispatch.buffers`.
    [[nodiscard]] std::expected<std::vector<std::vector<std::byte>>, std::string> run(const Dispatch& dispatch);

private:
    struct State;
    explicit VulkanRunner(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

/// Copies a span of trivially copyable values into bytes.
template <typename T>
std::vector<std::byte> to_bytes(std::span<const T> values) {
    std::vector<std::byte> out(values.size_bytes());
    if (!out.empty()) std::memcpy(out.data(), values.data(), out.size());
    return out;
}

template <typename T>
std::vector<std::byte> to_bytes(const std::vector<T>& values) {
    return to_bytes(std::span<const T>(values));
}

/// Reads bytes back as values of T (trailing bytes that do not fill a T are dropped).
template <typename T>
std::vector<T> from_bytes(const std::vector<std::byte>& bytes) {
    std::vector<T> out(bytes.size() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
    return out;
}

}  // namespace trelliken::spirv_runner

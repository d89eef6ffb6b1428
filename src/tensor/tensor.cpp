#include "tensor/tensor.hpp"

#include <fmt/format.h>

#include <chrono>
#include <cstring>
#include <limits>
#include <optional>

#include "device/tensor_context/quota.hpp"
#include "platform/strings.hpp"

namespace trelliken {

struct Tensor::Storage {
  platform::Buffer owned;
  std::optional<PooledBuffer> pooled;
  std::unique_ptr<QuotaAdmission> admission;  // released after the buffer

  ~Storage() {
    pooled.reset();
    owned.reset();
  }
  [[nodiscard]] const platform::Buffer& buffer() const { return pooled ? pooled->buffer() : owned; }
};

namespace {

constexpr WGPUBufferUsage kTensorUsage = WGPUBufferUsage_Storage | WGPUBufferUsage_CopySrc | WGPUBufferUsage_CopyDst;

// The product, or nullopt when it does not fit a machine word.
std::optional<std::size_t> checked_product(const Shape& shape) {
  std::size_t n = 1;
  for (std::size_t s : shape) {
    if (s != 0 && n > std::numeric_limits<std::size_t>::max() / s) return std::nullopt;
    n *= s;
  }
  return n;
}

}  // namespace

std::vector<std::uint32_t> u64_to_words(std::span<const std::uint64_t> values) {
  std::vector<std::uint32_t> words;
  words.reserve(values.size() * 2);
  for (std::uint64_t v : values) {
    words.push_back(static_cast<std::uint32_t>(v));
    words.push_back(static_cast<std::uint32_t>(v >> 32));
  }
  return words;
}

std::size_t shape_elements(const Shape& shape) noexcept {
  std::size_t n = 1;
  for (std::size_t s : shape) n *= s;
  return n;
}

Tensor::Tensor(std::shared_ptr<Storage> storage, Shape shape, std::shared_ptr<GpuDevice> device)
    : storage_(std::move(storage)), shape_(std::move(shape)), device_(std::move(device)) {}

std::size_t Tensor::len() const noexcept { return shape_elements(shape_); }

const platform::Buffer& Tensor::buffer() const noexcept { return storage_->buffer(); }

Result<Tensor> Tensor::from_data(std::span<const float> values, Shape shape, std::shared_ptr<GpuDevice> device) {
  const auto product = checked_product(shape);
  if (!product || *product != values.size()) {
    // An overflowing product can never equal a real length; report it saturated.
    return fail(ComputeError::shape_mismatch({product.value_or(std::numeric_limits<std::size_t>::max())},
                                             {values.size()}));
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(values.size()) * 4;
  auto storage = std::make_shared<Storage>();
  if (const auto& quota = device->buffer_quota()) {
    if (auto admitted = quota->admit(bytes); !admitted) return fail(admitted.error());
    storage->admission = std::make_unique<QuotaAdmission>(quota, bytes);
  }
  auto buffer = device->create_buffer({"Trelliken Buffer", bytes, kTensorUsage, false});
  if (!buffer) return fail(buffer.error());
  if (!values.empty()) {
    platform::GlCallScope scope;
    wgpuQueueWriteBuffer(device->queue().get(), buffer->get(), 0, values.data(), static_cast<std::size_t>(bytes));
  }
  storage->owned = std::move(*buffer);
  return Tensor(std::move(storage), std::move(shape), std::move(device));
}

Result<Tensor> Tensor::from_u64(std::span<const std::uint64_t> values, std::shared_ptr<GpuDevice> device) {
  const std::vector<std::uint32_t> words = u64_to_words(values);
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
  const std::string label = fmt::format("Tensor Data {}", ns < 0 ? 0 : ns);
  auto buffer = device->create_buffer_with_words(label, kTensorUsage, words);
  if (!buffer) return fail(buffer.error());
  auto storage = std::make_shared<Storage>();
  storage->owned = std::move(*buffer);
  return Tensor(std::move(storage), Shape{words.size()}, std::move(device));
}

Tensor Tensor::from_buffer(platform::Buffer buffer, Shape shape, std::shared_ptr<GpuDevice> device) {
  auto storage = std::make_shared<Storage>();
  storage->owned = std::move(buffer);
  return Tensor(std::move(storage), std::move(shape), std::move(device));
}

Tensor Tensor::from_pooled(PooledBuffer buffer, Shape shape, std::shared_ptr<GpuDevice> device) {
  auto storage = std::make_shared<Storage>();
  storage->pooled.emplace(std::move(buffer));
  return Tensor(std::move(storage), std::move(shape), std::move(device));
}

Result<std::vector<float>> Tensor::to_vec() const {
  const std::size_t n = len();
  if (n == 0) return std::vector<float>{};
  auto words = device_->read_buffer(buffer(), n);
  if (!words) return fail(words.error());
  std::vector<float> out(n);
  std::memcpy(out.data(), words->data(), n * 4);
  return out;
}

Result<std::vector<std::uint64_t>> Tensor::to_vec_u64() const {
  const std::size_t n = len();
  if (n == 0) return std::vector<std::uint64_t>{};
  auto words = device_->read_buffer(buffer(), n);
  if (!words) return fail(words.error());
  std::vector<std::uint64_t> out(n / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<std::uint64_t>((*words)[2 * i]) | (static_cast<std::uint64_t>((*words)[2 * i + 1]) << 32);
  }
  return out;
}

}  // namespace trelliken

#pragma once
// Numbers in one GPU storage buffer, with a shape and the device they live on.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "device/gpu_device/gpu_device.hpp"
#include "device/tensor_context/pool.hpp"
#include "error/compute_error.hpp"

namespace trelliken {

/// A tensor: shared storage (its own buffer or a pooled one), a shape and a device. Copies share
/// the storage; the storage goes (an owned buffer is released, a pooled one returns to its pool)
/// with the last copy. f32 tensors hold 4-byte floats; u64 tensors hold each value as two 32-bit
/// words, low word first, and their shape counts words.
class Tensor {
 public:
  /// An f32 tensor of `shape` from host values; admitted by the device's quota when it has one.
  [[nodiscard]] static Result<Tensor> from_data(std::span<const float> values, Shape shape,
                                                std::shared_ptr<GpuDevice> device);
  /// A u64 tensor of shape [2 × values] holding the values as (low, high) word pairs.
  [[nodiscard]] static Result<Tensor> from_u64(std::span<const std::uint64_t> values,
                                               std::shared_ptr<GpuDevice> device);
  /// Wraps an operation's output buffer.
  [[nodiscard]] static Tensor from_buffer(platform::Buffer buffer, Shape shape, std::shared_ptr<GpuDevice> device);
  /// Wraps a pooled output buffer; it returns to its pool with the last copy of the tensor.
  [[nodiscard]] static Tensor from_pooled(PooledBuffer buffer, Shape shape, std::shared_ptr<GpuDevice> device);

  [[nodiscard]] const Shape& shape() const noexcept { return shape_; }
  /// The element count: the product of the shape (1 for an empty shape).
  [[nodiscard]] std::size_t len() const noexcept;
  [[nodiscard]] const platform::Buffer& buffer() const noexcept;
  [[nodiscard]] const std::shared_ptr<GpuDevice>& device() const noexcept { return device_; }

  /// C = this × other for f32 matrices (row-major; sizes beyond the second are ignored). The
  /// result lives in a pooled buffer; the launch is submitted without waiting.
  [[nodiscard]] Result<Tensor> matmul(const Tensor& other) const;
  /// Element-wise sum of two f32 tensors of the same shape.
  [[nodiscard]] Result<Tensor> add(const Tensor& other) const;

  /// Reads the tensor back as f32 values.
  [[nodiscard]] Result<std::vector<float>> to_vec() const;
  /// Reads the tensor back as u64 values (pairs of words, low first).
  [[nodiscard]] Result<std::vector<std::uint64_t>> to_vec_u64() const;

 private:
  struct Storage;
  Tensor(std::shared_ptr<Storage> storage, Shape shape, std::shared_ptr<GpuDevice> device);

  std::shared_ptr<Storage> storage_;
  Shape shape_;
  std::shared_ptr<GpuDevice> device_;
};

/// 64-bit values as (low, high) 32-bit word pairs, the layout of u64 tensors.
[[nodiscard]] std::vector<std::uint32_t> u64_to_words(std::span<const std::uint64_t> values);

/// The product of a shape's sizes (1 for an empty shape).
[[nodiscard]] std::size_t shape_elements(const Shape& shape) noexcept;

}  // namespace trelliken

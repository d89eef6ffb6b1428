#pragma once
// The 64-bit hashes that key the process-wide caches.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace trelliken {

/// SipHash-1-3 with both keys zero, fed incrementally.
class SipHasher13 {
 public:
  void write(const void* data, std::size_t size) noexcept;
  void write_u8(std::uint8_t v) noexcept { write(&v, 1); }
  void write_u32(std::uint32_t v) noexcept;
  void write_u64(std::uint64_t v) noexcept;
  [[nodiscard]] std::uint64_t finish() const noexcept;

 private:
  void compress(std::uint64_t m) noexcept;
  std::uint64_t v0_ = 0x736f6d6570736575ull;
  std::uint64_t v1_ = 0x646f72616e646f6dull;
  std::uint64_t v2_ = 0x6c7967656e657261ull;
  std::uint64_t v3_ = 0x7465646279746573ull;
  std::uint64_t tail_ = 0;
  std::size_t ntail_ = 0;
  std::uint64_t length_ = 0;
};

/// The hash of a text: its bytes followed by the byte 0xFF. Texts are never compared, only hashed.
[[nodiscard]] std::uint64_t text_hash(std::string_view text) noexcept;

/// The hash of one 64-bit identifier (its 8 little-endian bytes).
[[nodiscard]] std::uint64_t id_hash(std::uint64_t id) noexcept;

}  // namespace trelliken

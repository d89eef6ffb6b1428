#include "tensor/text_hash.hpp"

#include <bit>
#include <cstring>

namespace trelliken {

namespace {

inline void sip_round(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) noexcept {
  v0 += v1;
  v1 = std::rotl(v1, 13);
  v1 ^= v0;
  v0 = std::rotl(v0, 32);
  v2 += v3;
  v3 = std::rotl(v3, 16);
  v3 ^= v2;
  v0 += v3;
  v3 = std::rotl(v3, 21);
  v3 ^= v0;
  v2 += v1;
  v1 = std::rotl(v1, 17);
  v1 ^= v2;
  v2 = std::rotl(v2, 32);
}

}  // namespace

void SipHasher13::compress(std::uint64_t m) noexcept {
  v3_ ^= m;
  sip_round(v0_, v1_, v2_, v3_);
  v0_ ^= m;
}

void SipHasher13::write(const void* data, std::size_t size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  length_ += size;
  std::size_t i = 0;
  while (ntail_ != 0 && i < size) {
    tail_ |= static_cast<std::uint64_t>(bytes[i++]) << (8 * ntail_);
    if (++ntail_ == 8) {
      compress(tail_);
      tail_ = 0;
      ntail_ = 0;
    }
  }
  for (; i + 8 <= size; i += 8) {
    std::uint64_t m;
    std::memcpy(&m, bytes + i, 8);
    if constexpr (std::endian::native == std::endian::big) m = std::byteswap(m);
    compress(m);
  }
  for (; i < size; ++i) tail_ |= static_cast<std::uint64_t>(bytes[i]) << (8 * ntail_++);
}

void SipHasher13::write_u32(std::uint32_t v) noexcept {
  unsigned char b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
  write(b, 4);
}

void SipHasher13::write_u64(std::uint64_t v) noexcept {
  unsigned char b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
  write(b, 8);
}

std::uint64_t SipHasher13::finish() const noexcept {
  std::uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
  const std::uint64_t b = ((length_ & 0xff) << 56) | tail_;
  v3 ^= b;
  sip_round(v0, v1, v2, v3);
  v0 ^= b;
  v2 ^= 0xff;
  sip_round(v0, v1, v2, v3);
  sip_round(v0, v1, v2, v3);
  sip_round(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

std::uint64_t text_hash(std::string_view text) noexcept {
  SipHasher13 h;
  h.write(text.data(), text.size());
  h.write_u8(0xFF);
  return h.finish();
}

std::uint64_t id_hash(std::uint64_t id) noexcept {
  SipHasher13 h;
  h.write_u64(id);
  return h.finish();
}

}  // namespace trelliken

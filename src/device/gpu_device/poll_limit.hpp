#pragma once
// The time limit of every wait for the GPU.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace trelliken {

/// A limit in whole seconds, or none (`seconds` is 0 then).
struct PollLimit {
  std::uint64_t seconds = 120;
  bool unlimited = false;

  [[nodiscard]] std::optional<std::chrono::nanoseconds> duration() const;
};

/// Parses TRELLIKEN_POLL_TIMEOUT_SECS: an optional '+', then digits only, within 64 bits. 0 means
/// no limit; anything invalid means 120 seconds.
[[nodiscard]] PollLimit parse_poll_limit(std::optional<std::string_view> text) noexcept;

/// The process's limit, read from the environment on first use and then fixed.
[[nodiscard]] const PollLimit& poll_limit();

}  // namespace trelliken

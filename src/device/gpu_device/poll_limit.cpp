#include "device/gpu_device/poll_limit.hpp"

#include <cstdlib>
#include <limits>

namespace trelliken {

std::optional<std::chrono::nanoseconds> PollLimit::duration() const {
  if (unlimited) return std::nullopt;
  // Beyond ~292 years the nanosecond count would overflow; that is "as long as it takes" anyway.
  constexpr std::uint64_t kMaxSeconds = std::numeric_limits<std::int64_t>::max() / 1'000'000'000;
  if (seconds > kMaxSeconds) return std::nullopt;
  return std::chrono::seconds(static_cast<std::int64_t>(seconds));
}

PollLimit parse_poll_limit(std::optional<std::string_view> text) noexcept {
  const PollLimit fallback{120, false};
  if (!text) return fallback;
  std::string_view t = *text;
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  if (t.empty()) return fallback;
  std::uint64_t value = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return fallback;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return fallback;
    value = value * 10 + digit;
  }
  if (value == 0) return PollLimit{0, true};
  return PollLimit{value, false};
}

const PollLimit& poll_limit() {
  static const PollLimit limit = [] {
    const char* text = std::getenv("TRELLIKEN_POLL_TIMEOUT_SECS");
    return parse_poll_limit(text ? std::optional<std::string_view>(text) : std::nullopt);
  }();
  return limit;
}

}  // namespace trelliken

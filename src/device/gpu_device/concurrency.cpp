#include "device/gpu_device/concurrency.hpp"

#include <cstdlib>
#include <limits>

namespace trelliken {

std::size_t default_concurrency_budget(AdapterType type) noexcept {
  switch (type) {
    case AdapterType::DiscreteGpu: return 8;
    case AdapterType::Cpu: return 2;
    case AdapterType::Other:
    case AdapterType::IntegratedGpu:
    case AdapterType::VirtualGpu: return 4;
  }
  return 4;
}

std::optional<std::size_t> parse_concurrency_budget(std::string_view text) noexcept {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::size_t value = 0;
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::size_t digit = static_cast<std::size_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (value == 0) return std::nullopt;
  return value;
}

std::size_t concurrency_budget_from_env(AdapterType type) {
  if (const char* text = std::getenv("TRELLIKEN_CONCURRENCY_BUDGET")) {
    if (auto budget = parse_concurrency_budget(text)) return *budget;
  }
  return default_concurrency_budget(type);
}

}  // namespace trelliken
